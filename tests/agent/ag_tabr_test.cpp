#include "agent/ag_tabr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TK/tk_utf.h"

namespace {

std::vector<std::u16string> read(const std::string& bytes, size_t piece = 0,
                                 std::vector<std::string>* notes = nullptr) {
    tab_names_reader r;
    if (piece == 0)
        piece = bytes.size() + 1;
    for (size_t i = 0; i < bytes.size(); i += piece)
        r.feed(bytes.data() + i, std::min(piece, bytes.size() - i));
    r.finish();
    if (notes)
        *notes = r.notes();
    return r.names();
}

TEST(tab_names_reader, OneNamePerLineSkippingEmptyLinesKeepingBlanks) {
    EXPECT_EQ(read("EMP\r\n\r\nDEPT\n\n my tab \nLAST"),
              (std::vector<std::u16string>{u"EMP", u"DEPT", u" my tab ", u"LAST"}));
    EXPECT_EQ(read("A\r\nB\r"), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_TRUE(read("").empty());
    EXPECT_TRUE(read("\n\r\n\n").empty());
    // Pieces may split lines and line ends anywhere.
    EXPECT_EQ(read("EMP\r\nDEPT\r\n", 1), (std::vector<std::u16string>{u"EMP", u"DEPT"}));
}

TEST(tab_names_reader, ByteOrderMarkMeansUtf8AndIsDropped) {
    EXPECT_EQ(read("\xEF\xBB\xBF"
                   "B\xC3\x9CRO\r\nK\xC3\x96LN\r\n"),
              (std::vector<std::u16string>{u"B\u00dcRO", u"K\u00d6LN"}));
    EXPECT_EQ(read("\n\xEF\xBB\xBF\nEMP\n"), (std::vector<std::u16string>{u"EMP"}));
}

TEST(tab_names_reader, WithoutMarkValidUtf8IsUtf8AndOtherBytesAreInTheCodePage) {
    EXPECT_EQ(read("B\xC3\x9CRO\nB\xDCRO\n\x80uro\n"),
              (std::vector<std::u16string>{u"B\u00dcRO", u"B\u00dcRO", u"\u20acuro"}));
    // The code page of Excel 5.0 texts: a list saved on a Cyrillic system.
    ::setenv("TSL_CODEPAGE", "1251", 1);
    EXPECT_EQ(read("\xCE\xF2\xF7\xE5\xF2\n"),
              std::vector<std::u16string>{u"\u041e\u0442\u0447\u0435\u0442"});
    ::setenv("TSL_CODEPAGE", "1252", 1);
}

TEST(tab_names_reader, LongLinesAreCutOnACharacterBoundaryWithANote) {
    std::vector<std::string> notes;
    std::string exact(254, 'a');
    EXPECT_EQ(read(exact + "\r\nB\n", 7, &notes),
              (std::vector<std::u16string>{std::u16string(254, u'a'), u"B"}));
    EXPECT_TRUE(notes.empty());

    std::string ascii(100000, 'x');
    auto names = read(ascii + "\nNEXT\n", 4096, &notes);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], std::u16string(254, u'x'));
    EXPECT_EQ(names[1], u"NEXT");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].substr(0, 79),
              "Table names file, line 1: the line is longer than 254 bytes; the table name was");

    // 253 ASCII bytes and a two-byte letter: the letter would be split.
    std::string split = std::string(253, 'a') + "\xC3\x9C" + "tail";
    names = read(split + "\n", 0, &notes);
    EXPECT_EQ(names[0], std::u16string(253, u'a'));
    // The same after a byte order mark (the mark does not count).
    names = read("\xEF\xBB\xBF" + split + "\n");
    EXPECT_EQ(names[0], std::u16string(253, u'a'));
    // Windows-1252 text is cut at 254 bytes exactly.
    names = read(std::string(300, '\xE9') + "\n");
    EXPECT_EQ(names[0], std::u16string(254, u'\u00e9'));
}

}  // namespace
