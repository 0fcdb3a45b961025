#include "xlsx/xlsx_txt.h"

#include <gtest/gtest.h>

TEST(xlsx_txt, TextsBecomeUtf8WithWhatXmlCannotCarryEscaped) {
    std::string out;
    EXPECT_EQ(xlsx_text(u"Plain \u00e9\u4e2d \U0001F600", out), 10u);
    EXPECT_EQ(out, "Plain \xc3\xa9\xe4\xb8\xad \xf0\x9f\x98\x80");
    // TAB and LF stay; NUL, the other controls, CR and the two non-characters
    // are written as the format's escape, seven characters each.
    EXPECT_EQ(xlsx_text(std::u16string(u"a\tb\nc\0d\x01\r\x1f", 10) + u"\uFFFE\uFFFF", out),
              6u + 4 * 7 + 2 * 7);
    EXPECT_EQ(out, "a\tb\nc_x0000_d_x0001__x000D__x001F__xFFFE__xFFFF_");
    // A text that looks like an escape keeps its own underscore.
    xlsx_text(u"_x0041_ and _X00e9_ stay; _x004_ and _x0041 and x_ need nothing", out);
    EXPECT_EQ(out, "_x005F_x0041_ and _x005F_X00e9_ stay; _x004_ and _x0041 and x_ need nothing");
    // An unpaired surrogate becomes U+FFFD; the buffer is replaced, not appended to.
    EXPECT_EQ(xlsx_text(u"\xD800x\xDC00", out), 3u);
    EXPECT_EQ(out, "\xef\xbf\xbdx\xef\xbf\xbd");
    EXPECT_EQ(xlsx_text(u"", out), 0u);
    EXPECT_EQ(out, "");
}
