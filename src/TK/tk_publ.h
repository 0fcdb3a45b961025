// Files that appear only when complete.
//
// A writer that rewrites its file as a whole (the workbook driver rewrites
// the workbook on every close) reads the present content through a
// `file_target` and writes the next one through `file_target::rewrite`,
// either into its sink or, for a library that opens files by name, through
// the path the rewrite names.
// Two targets exist:
//
//   path_target   a plain path: the content is the file on disk, and a
//                 rewrite replaces it atomically (tk::atomic_file).
//   publication   a set of files in one folder that stay under temporary
//                 identities for the whole of a run and take their final
//                 names together in `publish`. Until then the files of
//                 those names stay exactly as they were.
//
// Temporary identities: where the file system allows it, an anonymous file
// (O_TMPFILE) that the system discards by itself when the process ends in
// any way, even killed; it gets a name (linkat) only while being published.
// Elsewhere a hidden file ".<name>.tsl-XXXXXX" beside the final name, which
// the publication removes on every way out it sees. Every such name is
// handed to the publication's recorder before a file gets it, so that after
// a process that was killed `publication::remove_stale` removes exactly the
// files that process made, never another file that happens to look alike.
//
// Errors are tk_exception_ex (errno and the system's text); a failure to
// make or write a temporary is a tk_write_failure.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_sink.h"

namespace tk {

// One new content of a file: write it to out(), then commit(). Destroyed
// without commit, it is discarded.
class file_rewrite {
  public:
    virtual ~file_rewrite() = default;
    virtual sink& out() = 0;
    // A path that opens the new content for writing (a library that takes a
    // file name writes there instead of into out(); use one or the other).
    // Valid until commit or destruction; for an anonymous file it is
    // /proc/self/fd/N, which this process only can open.
    virtual std::string path() const = 0;
    // Makes what was written the file's content.
    virtual void commit() = 0;
};

class file_target {
  public:
    virtual ~file_target() = default;
    // The final path, for messages.
    virtual const std::string& name() const = 0;
    // A path through which the present content can be opened (to read it,
    // or to change it in place); empty when the file has no content yet.
    virtual std::string content_path() const = 0;
    virtual std::unique_ptr<file_rewrite> rewrite() = 0;
};

class path_target : public file_target {
  public:
    explicit path_target(std::string path) : path_(std::move(path)) {}
    const std::string& name() const override { return path_; }
    // The path when something exists there.
    std::string content_path() const override;
    std::unique_ptr<file_rewrite> rewrite() override;

  private:
    std::string path_;
};

class publication {
  public:
    // Which temporary identities the files get.
    enum class temporaries {
        anonymous,  // anonymous files where the file system allows, else named
        named,      // always hidden named files (what other file systems get)
    };

    // Called with the path of each named temporary before a file is made
    // under it; a failure it throws fails that step.
    using temp_recorder = std::function<void(const std::string& path)>;

    // `folder`: where every file of the set goes (it must exist).
    explicit publication(std::string folder, temporaries kind = temporaries::anonymous,
                         temp_recorder record = {});
    // Discards every content that was not published.
    ~publication();
    publication(const publication&) = delete;
    publication& operator=(const publication&) = delete;

    // The file of the set that takes `final_path` (in the folder), made
    // empty on first use. The reference lives as long as the publication.
    file_target& file(const std::string& final_path);
    // The files that have content, in the order they were first asked for.
    std::vector<file_target*> written() const;

    // Gives every file with content its final name. Each is put on disk and
    // gets the permission bits of the file it replaces (a new one those of
    // a newly created file). All of them get names first, then all are
    // renamed; a failure leaves every old file as it was: a file that this
    // process may not replace (a folder, another user's file in a folder
    // with the sticky bit) fails the set before any rename, and a rename
    // that fails puts the ones before it back (where the file system swaps
    // names; elsewhere a rename replaces for good). Nothing is left behind.
    // Afterwards the publication is empty.
    void publish();

    // Removes the temporaries a killed process recorded (`paths`, as its
    // recorder was given them): those in `folder` that are regular files
    // with the name of a temporary for a final name `ours` accepts (given a
    // file name without folder).
    static void remove_stale(const std::string& folder, const std::vector<std::string>& paths,
                             const std::function<bool(const std::string&)>& ours);

  private:
    class staged;
    std::string folder_;
    temporaries kind_;
    temp_recorder record_;
    std::vector<std::unique_ptr<staged>> files_;
};

}  // namespace tk
