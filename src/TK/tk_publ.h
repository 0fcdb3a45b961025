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
// the publication removes on every way out it sees, and
// `publication::remove_stale` removes after a process that was killed.
//
// Errors are tk_exception_ex (errno and the system's text).
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

    // `folder`: where every file of the set goes (it must exist).
    explicit publication(std::string folder, temporaries kind = temporaries::anonymous);
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
    // renamed, so a failure before the renames publishes nothing and leaves
    // nothing behind. Afterwards the publication is empty.
    void publish();

    // Removes the temporary files a killed process left in `folder` for the
    // final names that `ours` (given a file name without folder) accepts.
    static void remove_stale(const std::string& folder,
                             const std::function<bool(const std::string&)>& ours);

  private:
    class staged;
    std::string folder_;
    temporaries kind_;
    std::vector<std::unique_ptr<staged>> files_;
};

}  // namespace tk
