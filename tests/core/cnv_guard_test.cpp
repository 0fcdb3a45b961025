#include "core/cnv_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "TK/tk_utf.h"

namespace {

class guard : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tsl_guard_XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    void touch(const std::string& name, const std::string& text) {
        std::ofstream(at(name), std::ios::binary) << text;
    }
    std::string refusal(const std::string& dest, const std::string& source = {}) {
        return destination_refusal(tk::utf8_to_utf16(at(dest)), source, 1);
    }
    std::string dir;
};

}  // namespace

TEST_F(guard, DestinationsNoRunMayWriteAreRefusedEachWithItsMessage) {
    EXPECT_EQ(refusal("book.xls"), "");
    // A name whose temporaries and continuation names would not fit.
    const std::string longest(255 - 19 - 4, 'n');
    EXPECT_EQ(refusal(longest + ".xls"), "");
    EXPECT_NE(refusal(longest + "n.xls").find("is too long"), std::string::npos);
    // The source database as the destination's lock file, or the lock
    // file's name held by a file that is no lock file.
    touch(".book.xls.tsl-lock", "SQLite format 3");
    EXPECT_NE(refusal("book.xls", at(".book.xls.tsl-lock"))
                  .find("The lock file " + at(".book.xls.tsl-lock") + " of the destination"),
              std::string::npos);
    EXPECT_NE(refusal("book.xls").find("is not a lock file of this program"), std::string::npos);
    touch(".book.xls.tsl-lock", "");  // left by a killed run: taken over
    EXPECT_EQ(refusal("book.xls"), "");
    EXPECT_NE(refusal("none/book.xls").find("folder of the MS Excel spreadsheet does not exist"),
              std::string::npos);
    EXPECT_NE(refusal(".book.xls.tsl-lock").find("has the name of a lock file"), std::string::npos);
}

TEST_F(guard, AnExistingFileThatIsNoWorkbookIsForeign) {
    const std::u16string dest = tk::utf8_to_utf16(at("book.xls"));
    EXPECT_EQ(foreign_destination(dest, 1), "");
    touch("book.xls", "my notes");
    EXPECT_EQ(foreign_destination(dest, 1),
              "The file " + at("book.xls") +
                  " is not a workbook and is not replaced. Choose another destination, or move "
                  "the file away.");
    touch("book.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 and the rest");
    EXPECT_EQ(foreign_destination(dest, 1), "");
}
