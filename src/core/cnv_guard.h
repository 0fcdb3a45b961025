// What a run may do to the files beside its destination: the names of the
// destination's set (the destination, its continuation files, its lock
// file) and the refusals of a destination, said before anything is read.
//
// Both fronts ask before they connect (the agent) or leave the destination
// page (the wizard), and the run asks again before it writes: the files may
// have changed in between. Each refusal is one message, ready to show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tk {
class file_lock;
}

// The files of a destination "<folder>/<name><ext>" in its folder: the
// destination, its continuation files "<name>(<n>)<ext>" and its lock file
// ".<name><ext>.tsl-lock". Narrow (UTF-8) names, the folder without its
// final '/'.
struct destination_set {
    std::string folder;
    std::string name;
    std::string ext;

    explicit destination_set(const std::u16string& dest);
    bool is_destination(const std::string& file) const { return file == name + ext; }
    bool is_continuation(const std::string& file) const;
    std::string path(const std::string& file) const {
        return (folder == "/" ? folder : folder + "/") + file;
    }
    std::string lock_path() const { return path("." + name + ext + ".tsl-lock"); }
};

// The message that refuses `dest` for every run, or "" when a run may write
// it. `source`: the file of the source database when it is one on this
// machine, else "". Refused, each with its own message: no name; a folder;
// a folder that does not exist, or in which no file can be written; a name
// so long that the files a run writes beside it would not fit the file
// system's limits; the name of a lock file; the source database as the
// destination, as one of its continuation files or as its lock file; an
// existing read-only file; a file at the lock file's name that is not a lock
// file.
std::string destination_refusal(const std::u16string& dest, const std::string& source,
                                int32_t format_version);

// Takes the lock a run holds on `dest`'s set; null, with the message in
// `refusal`, when another run holds it or no file can be made in its folder.
// The wizard takes and drops it to say before the run what the run would.
std::unique_ptr<tk::file_lock> lock_destination(const std::u16string& dest, std::string& refusal);

// The message for an existing destination that is not a workbook of
// `format_version` (a text file, a document, an empty file), or "" when
// nothing is there or it is a workbook. The agent refuses to replace such a
// file; the wizard asks the user.
std::string foreign_destination(const std::u16string& dest, int32_t format_version);

// The message that refuses `log`, the trace log's file, for a run on `dest`
// from `source` (as for destination_refusal): the log may be none of the
// files the run reads or writes, the source database, the destination, a
// continuation file or the lock file. "" when it may be.
std::string trace_log_refusal(const std::string& log, const std::u16string& dest,
                              const std::string& source);

// True for a regular file that begins with the signature of a workbook of
// `format_version`: a compound file for Excel 5.0 and 2000 (0, 1), a zip
// archive for the Open XML workbook (2).
bool is_workbook_file(const std::string& path, int32_t format_version);
