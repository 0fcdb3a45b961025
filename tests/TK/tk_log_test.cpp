#include "TK/tk_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/de_locale.h"
#include "tk_test_util.h"

namespace {

int g_evaluated = 0;
int counted(int v) {
    ++g_evaluated;
    return v;
}

// True when `s` starts with a "%02d:%02d:%02d " time stamp; removes it.
bool take_stamp(std::string& s) {
    auto digit = [&](size_t i) { return s[i] >= '0' && s[i] <= '9'; };
    if (s.size() < 9 || !digit(0) || !digit(1) || s[2] != ':' || !digit(3) || !digit(4) ||
        s[5] != ':' || !digit(6) || !digit(7) || s[8] != ' ')
        return false;
    if (std::stoi(s.substr(0, 2)) > 23 || std::stoi(s.substr(3, 2)) > 59)
        return false;
    s.erase(0, 9);
    return true;
}

// True when `text` starts with a stamped `line`; removes both.
bool take_line(std::string& text, const std::string& line) {
    if (!take_stamp(text) || text.compare(0, line.size(), line) != 0)
        return false;
    text.erase(0, line.size());
    return true;
}

}  // namespace

TEST(tk_log, WithoutLogNothingIsEvaluatedOrAllocated) {
    ASSERT_FALSE(tk_log::exists());
    g_evaluated = 0;
    long before = tk_test::allocations();
    for (int i = 0; i < 100; ++i) {
        tk_trace(3, "Converting database %s (%d tables)", "X", counted(i));
        tk_wtrace(1, u"udb_schema::find_field(%s)", std::u16string(u"NAME").c_str());
    }
    EXPECT_EQ(g_evaluated, 0);
    EXPECT_EQ(tk_test::allocations(), before);  // not even the u16string argument

    // A log that exists but is not enabled costs the same.
    tk_test::temp_dir dir;
    tk_log log;
    log.set_path((dir / "t.log").c_str());
    tk_trace(1, "%d", counted(1));
    EXPECT_EQ(g_evaluated, 0);
    EXPECT_TRUE(tk_test::slurp(dir / "t.log").empty());
}

TEST(tk_log, SingletonAccessorsNameTheirPositions) {
    ASSERT_FALSE(tk_log::exists());
    try {
        tk_log::instance();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "Internal error: \ncode=" + tk_mail_assertion::encode_position("..\\TK/tk_singl", 59));
    }
    try {
        tk_log::trace_instance();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(
            std::string(e.what()),
            "Internal error: \ncode=" + tk_mail_assertion::encode_position("..\\TK/tk_singl", 66));
    }
    tk_log log;
    EXPECT_EQ(&tk_log::instance(), &log);
    try {
        log.set_path(nullptr);
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(std::string(e.what()).substr(22),
                  tk_mail_assertion::encode_position("..\\TK/tk_log", 82));
    }
}

TEST(tk_log, FirstCallEmptiesTheFileOnceEvenBelowThreshold) {
    tk_test::temp_dir dir;
    std::string path = dir / "trace.log";
    tk_test::spit(path, std::string(tk_log::kHeader) + "\r\nlines of an earlier run\r\n");
    tk_log log;
    log.set_path(path.c_str());
    log.set_threshold(2);
    log.set_timestamps(false);
    log.set_line_end(true);
    log.set_enabled(true);

    tk_trace(1, "detail %d", 1);
    EXPECT_EQ(tk_test::slurp(path), std::string(tk_log::kHeader) + "\r\n");  // emptied
    EXPECT_EQ(tk_test::log_lines(path), "");  // and the level-1 line dropped
    tk_trace(2, "normal %d", 2);
    tk_wtrace(3, u"milestone %s", u"\u00c4");
    tk_trace(1, "detail again");
    // Later calls append: the file is emptied only once.
    EXPECT_EQ(tk_test::log_lines(path), "normal 2\r\nmilestone \xC3\x84\r\n");
}

TEST(tk_log, AFileThatIsNoLogOfOursIsNeverWritten) {
    tk_test::temp_dir dir;
    const std::string kept = dir / "book.xls", link = dir / "link.log";
    tk_test::spit(kept, "the user's workbook");
    ASSERT_EQ(::symlink(kept.c_str(), link.c_str()), 0);
    for (const std::string& path : {kept, link}) {
        tk_log log;
        log.set_path(path.c_str());
        log.set_enabled(true);
        tk_trace(2, "line");
        EXPECT_FALSE(log.enabled());
        EXPECT_NE(log.refusal().find("The trace log file " + path), std::string::npos);
        EXPECT_NE(log.refusal().find(path == link ? "symbolic link" : "not a trace log"),
                  std::string::npos);
        EXPECT_EQ(tk_test::slurp(kept), "the user's workbook");
    }
    // A file the log made itself goes when it is withdrawn.
    tk_log log;
    log.set_path((dir / "new.log").c_str());
    log.set_enabled(true);
    tk_trace(2, "line");
    EXPECT_EQ(tk_test::log_lines(dir / "new.log").substr(9), "line\r\n");
    log.withdraw();
    tk_trace(2, "line");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.log"));
}

TEST(tk_log, ControlCharactersAreWrittenEscaped) {
    tk_test::trace_capture cap;
    tk_wtrace(2, u"Converting table %s", u"A\x1b[2JB\rC\u009bD\tE");
    tk_trace(2, "%s", "x\x07y\nz");
    EXPECT_EQ(cap.text(), "Converting table A\\x1b[2JB\\x0dC\\u009bD\tE\r\nx\\x07y\nz\r\n");
}

TEST(tk_log, NumbersAreTracedWithAPointUnderAnyProcessLocale) {
    de_locale german(LC_NUMERIC);
    if (!german.ok())
        GTEST_SKIP() << "no de_DE locale";
    tk_test::trace_capture cap;
    tk_trace(2, "%.1f", 1.5);
    tk_wtrace(2, u"%s %.2f", u"x", 2.25);
    EXPECT_EQ(cap.text(), "1.5\r\nx 2.25\r\n");
}

TEST(tk_log, FileIsReadableByItsOwnerOnly) {
    tk_test::temp_dir dir;
    auto mode = [](const std::string& p) {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 0777;
    };
    const mode_t old_mask = ::umask(022);
    std::string fresh = dir / "fresh.log", earlier = dir / "earlier.log";
    tk_test::spit(earlier, std::string(tk_log::kHeader) + "\r\nan earlier run\r\n");
    ::chmod(earlier.c_str(), 0644);
    for (const std::string& path : {fresh, earlier}) {
        tk_log log;
        log.set_path(path.c_str());
        log.set_enabled(true);
        tk_trace(2, "line");
        EXPECT_EQ(mode(path), 0600u) << path;
    }
    ::umask(old_mask);
}

TEST(tk_log, LineIsTimeStampTextAndCrLf) {
    tk_test::temp_dir dir;
    std::string path = dir / "trace.log";
    tk_log log;
    log.set_path(path.c_str());
    log.set_threshold(1);
    log.set_timestamps(true);
    log.set_line_end(true);
    log.set_enabled(true);
    tk_trace(1, "ora_table::init_schema");
    tk_trace(2, "Error while creating index for FK:\n%s\n", "IDX");
    log.set_line_end(false);
    tk_trace(2, "no end");
    std::string text = tk_test::log_lines(path);
    std::string all = text;
    EXPECT_TRUE(take_line(text, "ora_table::init_schema\r\n")) << all;
    EXPECT_TRUE(take_line(text, "Error while creating index for FK:\nIDX\n\r\n")) << all;
    EXPECT_TRUE(take_line(text, "no end")) << all;
    EXPECT_EQ(text, "");
}

TEST(tk_log, NarrowLinesHaveNoLengthLimit) {
    tk_test::trace_capture cap;
    std::string big(30000, 'n');
    tk_trace(1, "%s|", big.c_str());
    EXPECT_EQ(cap.text(), big + "|\r\n");
}

TEST(tk_log, WideMessageIsCutToItsBuffer) {
    tk_test::trace_capture cap;
    std::u16string big(tk_log::kWideBuffer + 500, u'w');
    tk_wtrace(1, u"%s", big.c_str());
    // The buffer holds kWideBuffer units including the terminator.
    EXPECT_EQ(cap.text(), std::string(tk_log::kWideBuffer - 1, 'w') + "\r\n");
}

TEST(tk_log, WideMessageTooLongAsUtf8LeavesOnlyStampAndLineEnd) {
    tk_test::temp_dir dir;
    std::string path = dir / "trace.log";
    tk_log log;
    log.set_path(path.c_str());
    log.set_threshold(1);
    log.set_timestamps(true);
    log.set_line_end(true);
    log.set_enabled(true);
    // 5120 two-byte letters: 10240 bytes, no room for the terminator.
    std::u16string over(5120, u'\u00e4');
    tk_wtrace(1, u"%s", over.c_str());
    // 5119 of them and one ASCII letter: 10239 bytes fit.
    std::u16string fits = std::u16string(5119, u'\u00e4') + u"z";
    tk_wtrace(1, u"%s", fits.c_str());
    std::string text = tk_test::log_lines(path);
    std::string fits_utf8;
    for (int i = 0; i < 5119; ++i) fits_utf8 += "\xC3\xA4";
    ASSERT_TRUE(take_line(text, "\r\n"));
    ASSERT_TRUE(take_line(text, fits_utf8 + "z\r\n"));
    EXPECT_EQ(text, "");
}

TEST(tk_log, UnwritableFileLosesLinesSilently) {
    tk_log log;
    log.set_path("/nonexistent-folder/trace.log");
    log.set_enabled(true);
    EXPECT_NO_THROW(tk_trace(2, "lost %d", 1));
    EXPECT_NO_THROW(tk_wtrace(2, u"lost %s", u"too"));
}

TEST(tk_log, WideFormatConversions) {
    EXPECT_EQ(tk_wformat(u"%s=%d, %u %x %c %%", u"n", -5, 7u, 255u, u'\u03a3'),
              u"n=-5, 7 ff \u03a3 %");
    EXPECT_EQ(tk_wformat(u"[%-4s|%4s|%.2s]", u"ab", u"cd", u"xyz"), u"[ab  |  cd|xy]");
    EXPECT_EQ(tk_wformat(u"%S and %hs", "\xC3\xA4", "b"), u"\u00e4 and b");
    EXPECT_EQ(tk_wformat(u"%I64d %lld %05.1f", 1LL << 40, -3LL, 2.25), u"1099511627776 -3 002.2");
    EXPECT_EQ(tk_wformat(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
    EXPECT_EQ(tk_wformat(u"tail %"), u"tail %");
}
