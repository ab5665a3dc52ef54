// StagedFile: a new file written under a temporary name beside its final
// name, and given that name only once it is complete and on disk. The file is
// created exclusively and never through a file or link already standing at
// the temporary name, and commit() never replaces anything: a backup that is
// being written can never clobber another file, and a half-written one never
// carries a name that looks finished. Only commitReplacing(), for a file the
// user asked to have replaced, takes the name of an existing file.
#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>

namespace tarvex {

class StagedFile {
public:
    // Creates an empty file for destination at destination + ".part" (or
    // ".part2", ".part3", ... when that name is taken by anything, a link
    // included), with exactly the permission bits mode (the umask does not
    // apply). Fails with a text naming the folder and the reason.
    static Result<StagedFile> create(const std::string& destination, mode_t mode);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    // Removes the file when it was not committed.
    ~StagedFile();

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Flushes the file and its folder to disk and renames it to destination,
    // never replacing an existing entry. On failure the staged file is still
    // there (the destructor removes it); nameTaken tells whether the failure
    // was only that destination now exists, so a caller may try another name.
    Status commit(const std::string& destination, bool& nameTaken);

    // As commit(), but replaces a file already at destination, in one step:
    // a reader finds the old file or the new one, never neither nor a part.
    // Once the name is given, a folder that cannot be flushed is not a
    // failure. For a file the user asked to have replaced (a tool's --force),
    // never for backups.
    Status commitReplacing(const std::string& destination);

    // Removes the file now.
    void discard();

private:
    StagedFile(int fd, std::string path);
    // Flushes the file to disk and closes it, ready to be named.
    Status finishWriting();

    int m_fd = -1;
    std::string m_path;
    bool m_done = false;
};

// Renames from to to, failing with EEXIST instead of replacing to. Returns 0
// or the errno value.
int renameNoReplace(const std::string& from, const std::string& to);

// The folder part of a path ("." for a bare name), for flushing and messages.
std::string folderOf(const std::string& path);

} // namespace tarvex
