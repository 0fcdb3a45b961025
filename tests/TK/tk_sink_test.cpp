#include "TK/tk_sink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "TK/tk_excep.h"
#include "support/fail_sink.h"

namespace {
std::string temp_dir() {
    char tmpl[] = "/tmp/tsl_sink_XXXXXX";
    return mkdtemp(tmpl);
}
std::string slurp(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
}  // namespace

TEST(tk_sink, FileSinkPatchesBothBufferedAndFlushedBytes) {
    std::string dir = temp_dir();
    std::string path = dir + "/a.bin";
    {
        tk::file_sink s(path);
        std::string big(3 << 20, 'x');  // forces flushes past the 1 MiB buffer
        s.write("HEAD", 4);
        s.write(big.data(), big.size());
        s.write("TAIL", 4);
        s.write_at(0, "head", 4);             // long since in the file
        s.write_at(s.size() - 4, "tail", 4);  // still in the buffer
        EXPECT_EQ(s.size(), big.size() + 8);
        s.close();
    }
    std::string got = slurp(path);
    EXPECT_EQ(got.substr(0, 4), "head");
    EXPECT_EQ(got.substr(got.size() - 4), "tail");
    EXPECT_EQ(got.size(), (3u << 20) + 8);
}

TEST(tk_sink, AtomicFileAppearsOnlyOnCommit) {
    std::string dir = temp_dir();
    std::string path = dir + "/book.xls";
    {
        std::ofstream(path) << "old";
        tk::atomic_file f(path);
        f.out().write("new", 3);
        EXPECT_EQ(slurp(path), "old");  // not visible before commit
    }
    EXPECT_EQ(slurp(path), "old");  // abandoned: old content kept, temp gone
    {
        tk::atomic_file f(path, /*private_file=*/true);
        f.out().write("new", 3);
        f.commit();
    }
    EXPECT_EQ(slurp(path), "new");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left behind in the folder.
    std::string cmd = "ls -A " + dir + " | wc -l";
    FILE* p = popen(cmd.c_str(), "r");
    int n = 0;
    ASSERT_EQ(fscanf(p, "%d", &n), 1);
    pclose(p);
    EXPECT_EQ(n, 1);
}

TEST(tk_sink, FileSinkReportsErrnoText) {
    tk::file_sink s;
    try {
        s.open("/nonexistent-dir/x.bin");
        FAIL() << "open should fail";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.system_error(), static_cast<uint32_t>(ENOENT));
        EXPECT_STREQ(e.what(), "No such file or directory");
        EXPECT_EQ(e.code(), 1);
    }
}

TEST(tk_sink, FailSinkStopsAtBudget) {
    tsl_test::fail_sink s(5);
    s.write("abc", 3);
    EXPECT_THROW(s.write("def", 3), tk_exception);
    EXPECT_EQ(s.size(), 3u);
}
