// When a compound file opened for writing goes to the disk: after writes
// made through it, once, and not at all when nothing was written. fsync is
// counted by defining it in this program (the library's calls bind to this
// definition), and still done through the system call.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "stg/stg_file.h"
#include "stg_test_util.h"

namespace {
std::atomic<int> g_fsyncs{0};
}  // namespace

extern "C" int fsync(int fd) {
    ++g_fsyncs;
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

using stg_test::build;
using stg_test::pattern;
using stg_test::temp_file;

TEST(stg_sync, OnlyWritesMadeThroughTheFileAreSynced) {
    temp_file tf("sync");
    tf.write(build({{u"Workbook", pattern(9000, 3)}}));
    const uint8_t bytes[3] = {1, 2, 3};

    // Opened for writing (for its exclusive lock) and never written: the
    // file on disk is as it was, nothing to sync.
    g_fsyncs = 0;
    {
        auto file = stg_file::open(tf.path(), true);
        file->release();
    }
    EXPECT_EQ(g_fsyncs, 0);

    // Written, released, destroyed: one sync, by the release.
    g_fsyncs = 0;
    {
        auto file = stg_file::open(tf.path(), true);
        file->open_stream(u"Workbook")->write_at(100, bytes, 3);
        file->release();
        EXPECT_EQ(g_fsyncs, 1);
        file->release();  // nothing new
        EXPECT_EQ(g_fsyncs, 1);
        // A later write is synced by the next release.
        file->open_stream(u"Workbook")->write_at(200, bytes, 3);
        file->release();
        EXPECT_EQ(g_fsyncs, 2);
    }
    EXPECT_EQ(g_fsyncs, 2);

    // Written and destroyed without a release: the destructor syncs.
    g_fsyncs = 0;
    {
        auto file = stg_file::open(tf.path(), true);
        file->open_stream(u"Workbook")->write_at(300, bytes, 3);
    }
    EXPECT_EQ(g_fsyncs, 1);

    // Read-only: never.
    g_fsyncs = 0;
    {
        auto file = stg_file::open(tf.path(), false);
        file->release();
    }
    EXPECT_EQ(g_fsyncs, 0);

    // The writes are in the file.
    auto file = stg_file::open(tf.path(), false);
    auto s = file->open_stream(u"Workbook");
    for (uint64_t at : {100u, 200u, 300u}) {
        uint8_t got[3] = {};
        ASSERT_EQ(s->read_at(at, got, 3), 3u);
        EXPECT_EQ(got[0], 1);
        EXPECT_EQ(got[2], 3);
    }
}
