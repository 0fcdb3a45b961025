#include "TK/tk_fname.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "TK/tk_excep.h"
#include "TK/tk_utf.h"
#include "tk_test_util.h"

namespace {

std::string cwd() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? buf : "";
}

// Runs a test body in `dir` and goes back to where it was.
class in_directory {
  public:
    explicit in_directory(const std::string& dir) : old_(cwd()) {
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~in_directory() { EXPECT_EQ(chdir(old_.c_str()), 0); }

  private:
    std::string old_;
};

std::string assertion_text(const char* source, int line) {
    return "Internal error: \ncode=" + tk_mail_assertion::encode_position(source, line);
}

}  // namespace

TEST(tk_fname, SplitsAnAbsoluteName) {
    tk_fname f("/var/log/app.trace.log");
    EXPECT_EQ(f.drive(), "");
    EXPECT_EQ(f.directory(), "/var/log/");
    EXPECT_EQ(f.name(), "app.trace");
    EXPECT_EQ(f.extension(), ".log");
    EXPECT_EQ(f.folder(), "/var/log/");

    tk_fname no_ext("/data/README");
    EXPECT_EQ(no_ext.name(), "README");
    EXPECT_EQ(no_ext.extension(), "");
    tk_fname dot_file("/home/u/.profile");
    EXPECT_EQ(dot_file.name(), "");
    EXPECT_EQ(dot_file.extension(), ".profile");
    tk_fname dotted_dir("/a.b/c");
    EXPECT_EQ(dotted_dir.directory(), "/a.b/");
    EXPECT_EQ(dotted_dir.name(), "c");
    EXPECT_EQ(dotted_dir.extension(), "");
    tk_fname folder("/a/b/");
    EXPECT_EQ(folder.directory(), "/a/b/");
    EXPECT_EQ(folder.name(), "");
    tk_fname root("/");
    EXPECT_EQ(root.directory(), "/");
    EXPECT_EQ(root.name(), "");
}

TEST(tk_fname, RelativeNamesResolveAgainstTheCurrentDirectory) {
    tk_test::temp_dir dir;
    in_directory here(dir.path());
    std::string base = cwd() + "/";
    tk_fname rel("logs/../run.log");
    EXPECT_EQ(rel.directory(), base);
    EXPECT_EQ(rel.name(), "run");
    EXPECT_EQ(rel.extension(), ".log");
    tk_fname dots("./a//b/./c.txt");
    EXPECT_EQ(dots.directory(), base + "a/b/");
    tk_fname up("../../../../../../../../../x.y");  // cannot climb above the root
    EXPECT_EQ(up.directory(), "/");
    EXPECT_EQ(up.name(), "x");

    // An empty name is the current directory itself.
    tk_fname empty("");
    EXPECT_EQ(empty.directory(), base);
    EXPECT_EQ(empty.name(), "");
    EXPECT_EQ(empty.extension(), "");
    tk_file_wname wempty(u"");
    EXPECT_EQ(wempty.directory(), tk::utf8_to_utf16(base));
    EXPECT_EQ(wempty.folder(), tk::utf8_to_utf16(base));
}

TEST(tk_fname, WideNamesKeepTheirLetters) {
    tk_file_wname w(u"/tmp/\u00c4rger/da\u00df.\u03a3\u03a3");
    EXPECT_EQ(w.drive(), u"");
    EXPECT_EQ(w.directory(), u"/tmp/\u00c4rger/");
    EXPECT_EQ(w.name(), u"da\u00df");
    EXPECT_EQ(w.extension(), u".\u03a3\u03a3");
    EXPECT_EQ(w.folder(), u"/tmp/\u00c4rger/");
}

TEST(tk_fname, NullNamesAndOverlongNamesAreInternalErrors) {
    try {
        tk_file_wname w(nullptr);
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text("tk_fname", 75));
    }
    try {
        tk_fname n(nullptr);
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text("tk_fname", 28));
    }
    std::string huge = "/" + std::string(PATH_MAX + 10, 'x');
    try {
        tk_fname n(huge.c_str());
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text("tk_fname", 36));
    }
    try {
        tk_file_wname w(tk::utf8_to_utf16(huge).c_str());
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.what(), assertion_text("tk_fname", 83));
    }
}

TEST(tk_fname, ReadOnlyFileExistsOnlyForReading) {
    tk_test::temp_dir dir;
    std::string file = dir / "ro.log";
    tk_test::spit(file, "x");
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    // Root may open it for writing all the same; the missing write bits
    // decide, as the read-only attribute would.
    EXPECT_FALSE(tk_is_file_exist(file.c_str(), 1));
    EXPECT_TRUE(tk_is_file_exist(file.c_str(), 0));
    EXPECT_TRUE(tk_is_file_exist(file.c_str(), 2));
    EXPECT_FALSE(tk_is_file_exist(tk::utf8_to_utf16(file).c_str(), 1));
    EXPECT_TRUE(tk_is_file_exist(tk::utf8_to_utf16(file).c_str(), 0));

    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    EXPECT_TRUE(tk_is_file_exist(file.c_str(), 1));

    EXPECT_FALSE(tk_is_file_exist((dir / "missing").c_str(), 0));
    EXPECT_FALSE(tk_is_file_exist(dir.path().c_str(), 0));  // a folder is no file
    EXPECT_FALSE(tk_is_file_exist(dir.path().c_str(), 1));
    EXPECT_FALSE(tk_is_file_exist(static_cast<const char*>(nullptr), 0));

    std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_TRUE(tk_is_file_exist(fifo.c_str(), 0));  // answers without blocking
}

TEST(tk_fname, FileTestTracesAFailure) {
    tk_test::trace_capture cap;
    EXPECT_FALSE(tk_is_file_exist("/nonexistent/file", 0));
    EXPECT_TRUE(cap.has_line("tk_is_file_exist(/nonexistent/file)"));
    EXPECT_TRUE(cap.has_line("File not exists!"));
}

TEST(tk_fname, PathTestNeverMovesTheCurrentDirectory) {
    tk_test::temp_dir dir;
    std::string sub = dir / "sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    tk_test::spit(dir / "file", "x");
    std::string before = cwd();
    EXPECT_TRUE(tk_is_path_exist(sub.c_str()));
    EXPECT_EQ(cwd(), before);
    EXPECT_FALSE(tk_is_path_exist((dir / "nope").c_str()));
    EXPECT_EQ(cwd(), before);
    EXPECT_FALSE(tk_is_path_exist((dir / "file").c_str()));
    EXPECT_TRUE(tk_is_path_exist(""));
    EXPECT_TRUE(tk_is_path_exist(u""));
    EXPECT_TRUE(tk_is_path_exist(tk::utf8_to_utf16(sub).c_str()));
    EXPECT_FALSE(tk_is_path_exist(static_cast<const char*>(nullptr)));
    EXPECT_EQ(cwd(), before);

    // The folder of a log file name, as the settings check it.
    tk_fname log((sub + "/trace.log").c_str());
    EXPECT_TRUE(tk_is_path_exist(log.folder().c_str()));
    tk_fname lost((dir / "nope/trace.log").c_str());
    EXPECT_FALSE(tk_is_path_exist(lost.folder().c_str()));
}
