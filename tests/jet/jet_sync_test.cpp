// Durability of close: the new workbook is synced to the disk before it
// takes the destination's name (a crash never leaves a half-written file
// under that name), and no other file is synced. fsync and rename are
// counted by defining them in this program (the libraries' calls bind to
// these definitions) and still done through the system calls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "jet/jet_db.h"
#include "jet_testutil.h"

namespace {

bool g_recording = false;
std::vector<std::string> g_events;

std::string path_of(int fd) {
    char buf[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "?";
}

}  // namespace

extern "C" int fsync(int fd) {
    if (g_recording)
        g_events.push_back("fsync " + path_of(fd));
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) {
    if (g_recording)
        g_events.push_back(std::string("rename ") + from + " " + to);
    return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace {

void add_sheet(jet_database& db, const std::u16string& name) {
    std::vector<jet_column> cols(2);
    cols[0].name = u"id";
    cols[0].type = jet_long;
    cols[1].name = u"text";
    cols[1].type = jet_memo;
    jet_table& t = db.create_table(name, cols);
    for (int r = 1; r <= 500; ++r) {
        jet_value v[2] = {jet_value::of_number(r), jet_value::of_text(u"row text")};
        t.append(v, 2);
    }
}

// The events of one close: exactly one fsync, of the file that is then
// renamed onto `path`, and that rename.
void expect_synced_then_renamed(const std::string& path) {
    ASSERT_EQ(g_events.size(), 2u) << (g_events.empty() ? "" : g_events.front());
    const std::string prefix = "fsync ";
    ASSERT_EQ(g_events[0].rfind(prefix, 0), 0u) << g_events[0];
    const std::string temp = g_events[0].substr(prefix.size());
    EXPECT_EQ(temp.rfind(path, 0), 0u) << temp;  // beside the destination
    EXPECT_NE(temp, path);
    EXPECT_EQ(g_events[1], "rename " + temp + " " + path);
}

}  // namespace

TEST(jet_sync, close_syncs_the_new_file_once_before_renaming_it) {
    jet_test::temp_dir dir;
    const std::string path = dir.file("book.xls");
    for (const char16_t* connect : {u"Excel 5.0;", u"Excel 8.0;"}) {
        ::unlink(path.c_str());
        // A new workbook.
        {
            auto db = jet_database::open(path, connect, false, false);
            add_sheet(*db, u"First");
            g_events.clear();
            g_recording = true;
            db->close();
            g_recording = false;
            expect_synced_then_renamed(path);
        }
        // An existing one, opened for writing (and locked): the file it
        // replaces is not written, so it is not synced either, also when
        // the database object goes away.
        {
            auto db = jet_database::open(path, connect, true, false);
            add_sheet(*db, u"Second");
            g_events.clear();
            g_recording = true;
            db->close();
            db.reset();
            g_recording = false;
            expect_synced_then_renamed(path);
        }
        const auto back = jet_read_book(path);
        EXPECT_TRUE(back.problems.empty());
        ASSERT_EQ(back.sheets.size(), 2u);
        const auto xlrd = jet_test::from_xlrd(path);
        ASSERT_EQ(xlrd.size(), 2u);
        EXPECT_EQ(xlrd[1].name, u"Second");
        EXPECT_EQ(xlrd[1].cells.size(), 2u * 501u);
    }
}
