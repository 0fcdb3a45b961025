#include "TK/tk_publ.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "TK/tk_excep.h"
#include "TK/tk_flock.h"
#include "tk_test_util.h"

namespace {

std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void write(tk::file_target& f, const std::string& text, bool commit = true) {
    auto next = f.rewrite();
    next->out().write(text.data(), text.size());
    if (commit)
        next->commit();
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

}  // namespace

TEST(tk_publ, FilesAppearOnlyWhenPublishedAndKeepTheModeOfTheFilesTheyReplace) {
    tk_test::temp_dir dir;
    tk_test::spit(dir / "a.xls", "old a");
    ::chmod((dir / "a.xls").c_str(), 0600);
    {
        tk::publication pub(dir.path());
        tk::file_target& a = pub.file(dir / "a.xls");
        tk::file_target& b = pub.file(dir / "b.xls");
        EXPECT_EQ(&pub.file(dir / "a.xls"), &a);
        EXPECT_TRUE(a.content_path().empty());
        write(a, "first");
        write(a, "second");  // each content replaces the one before
        write(a, "dropped", false);
        EXPECT_EQ(tk_test::slurp(a.content_path()), "second");
        write(b, "new b");
        EXPECT_EQ(pub.written().size(), 2u);
        // Nothing of it is visible under any name yet.
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"a.xls"});
        EXPECT_EQ(tk_test::slurp(dir / "a.xls"), "old a");
        pub.publish();
        EXPECT_TRUE(pub.written().empty());
    }
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"a.xls", "b.xls"}));
    EXPECT_EQ(tk_test::slurp(dir / "a.xls"), "second");
    EXPECT_EQ(mode_of(dir / "a.xls"), 0600u);
    mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(mode_of(dir / "b.xls"), 0666u & ~mask);
}

TEST(tk_publ, AnUnpublishedSetLeavesTheFolderAsItWasWithEitherKindOfTemporaries) {
    using kind = tk::publication::temporaries;
    for (kind k : {kind::anonymous, kind::named}) {
        tk_test::temp_dir dir;
        tk_test::spit(dir / "a.xls", "old a");
        {
            tk::publication pub(dir.path(), k);
            write(pub.file(dir / "a.xls"), "new a");
            write(pub.file(dir / "a(1).xls"), "new a1");
            write(pub.file(dir / "a(1).xls"), "newer a1");
            // Named temporaries are hidden files of the final names, one per
            // file (the content each replaced is gone).
            auto names = listing(dir.path());
            EXPECT_EQ(names.size(), k == kind::named ? 3u : 1u);
            if (k == kind::named) {
                EXPECT_EQ(names[0].rfind(".a(1).xls.tsl-", 0), 0u) << names[0];
                EXPECT_EQ(names[1].rfind(".a.xls.tsl-", 0), 0u) << names[1];
            }
        }
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"a.xls"});
        EXPECT_EQ(tk_test::slurp(dir / "a.xls"), "old a");
    }
}

TEST(tk_publ, NamedTemporariesArePublishedLikeAnonymousOnes) {
    tk_test::temp_dir dir;
    tk::publication pub(dir.path(), tk::publication::temporaries::named);
    write(pub.file(dir / "a.xls"), "first");
    write(pub.file(dir / "a.xls"), "second");
    pub.publish();
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"a.xls"});
    EXPECT_EQ(tk_test::slurp(dir / "a.xls"), "second");
}

TEST(tk_publ, ALibraryWritesTheNewContentThroughTheRewritesPath) {
    // A writer that opens files by name (the .xlsx library) gets a path;
    // what it writes there is the content once committed, and nothing
    // before that, with every kind of target.
    auto write_by_name = [](tk::file_target& f, const std::string& text, bool commit) {
        auto next = f.rewrite();
        FILE* out = std::fopen(next->path().c_str(), "wb");
        ASSERT_NE(out, nullptr) << next->path();
        std::fputs(text.c_str(), out);
        ASSERT_EQ(std::fclose(out), 0);
        if (commit)
            next->commit();
    };
    using kind = tk::publication::temporaries;
    for (kind k : {kind::anonymous, kind::named}) {
        tk_test::temp_dir dir;
        tk_test::spit(dir / "a.xlsx", "old a");
        {
            tk::publication pub(dir.path(), k);
            tk::file_target& a = pub.file(dir / "a.xlsx");
            write_by_name(a, "discarded", false);
            EXPECT_TRUE(pub.written().empty());
            write_by_name(a, "by name", true);
            EXPECT_EQ(tk_test::slurp(a.content_path()), "by name");
            pub.publish();
        }
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"a.xlsx"});
        EXPECT_EQ(tk_test::slurp(dir / "a.xlsx"), "by name");
    }
    tk_test::temp_dir dir;
    tk::path_target plain(dir / "b.xlsx");
    write_by_name(plain, "plain", true);
    EXPECT_EQ(tk_test::slurp(dir / "b.xlsx"), "plain");
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"b.xlsx"});
}

TEST(tk_publ, OnlyTheTemporariesAKilledRunRecordedAreRemoved) {
    tk_test::temp_dir dir;
    const std::string lock_path = dir / ".a.xls.tsl-lock";
    // A run that is killed with named temporaries of a.xls and a(1).xls.
    pid_t child = ::fork();
    if (child == 0) {
        auto lock = tk::file_lock::try_lock(lock_path);
        tk::publication pub(dir.path(), tk::publication::temporaries::named,
                            [&](const std::string& p) { lock->record(p); });
        write(pub.file(dir / "a.xls"), "new a");
        write(pub.file(dir / "a(1).xls"), "new a1");
        ::_exit(0);  // no destructor runs
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(listing(dir.path()).size(), 3u);
    // Files of the user that look like temporaries of the same names.
    for (const char* n : {".a.xls.tsl-Ab12Cd", ".a(1).xls.tsl-zzzzzz", "a.xls"})
        tk_test::spit(dir / n, "user's");
    auto lock = tk::file_lock::try_lock(lock_path);
    ASSERT_TRUE(lock);
    ASSERT_EQ(lock->recorded().size(), 2u);
    tk::publication::remove_stale(dir.path(), lock->recorded(), [](const std::string& name) {
        return name == "a.xls" || name == "a(1).xls";
    });
    lock->clear_recorded();
    EXPECT_EQ(listing(dir.path()),
              (std::vector<std::string>{".a(1).xls.tsl-zzzzzz", ".a.xls.tsl-Ab12Cd",
                                        ".a.xls.tsl-lock", "a.xls"}));
    lock.reset();
    EXPECT_EQ(tk::file_lock::try_lock(lock_path)->recorded().size(), 0u);
}

TEST(tk_publ, ASetThatCannotBePutInPlaceLeavesEveryOldFileAsItWas) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root (a mount point, another user)";
    // The second name cannot be replaced: a mount point (the rename of the
    // first one is taken back), or another user's file in a folder with the
    // sticky bit (refused before any rename).
    for (bool sticky : {false, true}) {
        tk_test::temp_dir dir;
        ::chmod(dir.path().c_str(), 01777);
        tk_test::spit(dir / "a.xls", "old a");
        tk_test::spit(dir / "a(1).xls", "old a1");
        tk_test::spit(dir / "other", "x");
        if (!sticky) {
            ASSERT_EQ(std::system(("mount --bind " + (dir / "other") + " '" + (dir / "a(1).xls") +
                                   "' 2>/dev/null")
                                      .c_str()),
                      0);
        } else {
            ASSERT_EQ(::chown((dir / "a.xls").c_str(), 65534, 65534), 0);
        }
        pid_t child = ::fork();
        if (child == 0) {
            if (sticky && ::setuid(65534) != 0)
                ::_exit(3);
            int failed = 2;
            {
                tk::publication pub(dir.path());
                write(pub.file(dir / "a.xls"), "new a");
                write(pub.file(dir / "a(1).xls"), "new a1");
                try {
                    pub.publish();
                } catch (const tk_exception&) {
                    failed = 0;
                }
            }
            ::_exit(failed);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (!sticky)
            std::system(("umount '" + (dir / "a(1).xls") + "'").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sticky;
        EXPECT_EQ(tk_test::slurp(dir / "a.xls"), "old a") << sticky;
        EXPECT_EQ(tk_test::slurp(dir / "a(1).xls"), "old a1") << sticky;
        EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"a(1).xls", "a.xls", "other"}));
    }
}

TEST(tk_flock, OneHolderAtATimeAndALeftLockFileIsTakenOver) {
    tk_test::temp_dir dir;
    const std::string path = dir / ".a.lock";
    {
        auto held = tk::file_lock::try_lock(path);
        ASSERT_TRUE(held);
        EXPECT_FALSE(tk::file_lock::try_lock(path));
    }
    EXPECT_TRUE(listing(dir.path()).empty());
    tk_test::spit(path, "");  // left by a holder that was killed
    auto again = tk::file_lock::try_lock(path);
    EXPECT_TRUE(again);
    again.reset();
    // A file of that name that is no lock file is neither locked nor removed.
    tk_test::spit(path, "SQLite format 3");
    EXPECT_FALSE(tk::file_lock::may_lock(path));
    EXPECT_THROW(tk::file_lock::try_lock(path), tk_exception);
    EXPECT_EQ(tk_test::slurp(path), "SQLite format 3");
}
