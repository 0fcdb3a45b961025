#include "TK/tk_errco.h"

#include <gtest/gtest.h>

#include "TK/tk_excep.h"
#include "tk_test_util.h"

namespace {
const tk_error_entry kMap[] = {
    {0x100000 + 12545, "Cannot connect: host unknown"},
    {0x10000 + 3349, "Date out of range"},
    {0x100000 + 12545, "second text for the same code"},
    {7, nullptr},
};
}  // namespace

TEST(tk_errco, FirstEntryOfACodeWinsAndMissingCodesGiveEmptyText) {
    tk_error_converter conv(4, kMap);
    EXPECT_EQ(conv.size(), 3u);
    EXPECT_EQ(conv.convert(0x100000 + 12545), "Cannot connect: host unknown");
    EXPECT_EQ(conv.convert(0x10000 + 3349), "Date out of range");
    EXPECT_EQ(conv.convert(7), "");
    EXPECT_EQ(conv.convert(12545), "");  // the bare Oracle number is another code
    EXPECT_EQ(conv.convert(0), "");
}

TEST(tk_errco, LaterMapsAddWithoutReplacing) {
    tk_error_converter conv(2, kMap);
    const tk_error_entry more[] = {{0x10000 + 3349, "replacement"}, {42, "answer"}};
    conv.load_map(2, more);
    EXPECT_EQ(conv.convert(0x10000 + 3349), "Date out of range");
    EXPECT_EQ(conv.convert(42), "answer");
    conv.load_map(0, more);  // a count of 0 loads nothing
    EXPECT_EQ(conv.size(), 3u);
}

TEST(tk_errco, NullArrayIsAnInternalError) {
    try {
        tk_error_converter conv(0, nullptr);
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_STREQ(e.what(), "Internal error: \ncode=746b5f657272636f5c3433");  // tk_errco\43
        EXPECT_EQ(e.code(), 2);
    }
}

TEST(tk_errco, ConvertTracesItsFindings) {
    tk_test::trace_capture cap;
    tk_error_converter conv(2, kMap);
    conv.convert(0x10000 + 3349);
    conv.convert(99);
    EXPECT_TRUE(cap.has_line("tk_error_converter::ctor (map size=2)"));
    EXPECT_TRUE(cap.has_line("tk_error_converter::load_map (map size=2)"));
    EXPECT_TRUE(cap.has_line("tk_error_converter::convert(68885)"));
    EXPECT_TRUE(cap.has_line("Error message has been found: Date out of range"));
    EXPECT_TRUE(cap.has_line("tk_error_converter::convert(99)"));
    EXPECT_TRUE(cap.has_line("Error message not found!"));
}
