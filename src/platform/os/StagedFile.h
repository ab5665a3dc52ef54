// StagedFile: a new file written under a temporary name beside its final
// name, and given that name only once it is complete and on disk. The file is
// created exclusively and never through a file or link already standing at
// the temporary name, and commit() never replaces anything: a backup that is
// being written can never clobber another file, and a half-written one never
// carries a name that looks finished. Only commitReplacing(), for a file the
// user asked to have replaced, takes the name of an existing file. While a
// staged file is open it holds an advisory lock (flock), which tells a file
// being written by a running program from one left by a program that died (a
// power cut): only the latter may be removed.
#pragma once

#include "platform/Result.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarvex {

class StagedFile {
public:
    // How commit() ended. status fails with a text naming the file and the
    // reason; nameTaken says the failure was only that the destination now
    // exists, so a caller may try another name.
    struct [[nodiscard]] Committed {
        Status status = Status::success();
        bool nameTaken = false;
    };

    // Creates an empty file for destination at destination + ".part" (or
    // ".part2", ".part3", ... when that name is taken by anything, a link
    // included), locked for as long as it is open, with exactly the
    // permission bits mode (the umask does not apply). commit() gives it owner and group (-1 leaves either as it is)
    // where the process may. Fails with a text naming the folder and the
    // reason.
    static Result<StagedFile> create(const std::string& destination, mode_t mode, uid_t owner = uid_t(-1),
                                     gid_t group = gid_t(-1));

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    // Removes the file when it was not committed.
    ~StagedFile();

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Writes all of text at the file's current end, trying again after an
    // interrupted or partial write. Fails with a text naming the destination
    // ("cannot be written") and the system's reason.
    Status write(std::string_view text);

    // Gives the file the owner and group asked for at its creation, as far
    // as the process may: only root may give a file away, so for anyone else
    // the owner silently stays the process's own, and the group is given
    // alone when the process belongs to it. Then flushes the file and its
    // folder to disk and renames it to destination, never replacing an
    // existing entry. On failure the staged file is still there (the
    // destructor removes it).
    Committed commit(const std::string& destination);

    // As commit(), but replaces a file already at destination, in one step:
    // a reader finds the old file or the new one, never neither nor a part.
    // Once the name is given, a folder that cannot be flushed is not a
    // failure. For a file the user asked to have replaced (a tool's --force),
    // never for backups.
    Status commitReplacing(const std::string& destination);

    // Removes the file now.
    void discard();

    // The destination a staged file's name is for (fileName without its
    // ".part" or ".part<n>"), or nothing when fileName is no such name.
    static std::optional<std::string> destinationOf(const std::string& fileName);

    // Removes the staged file at path, and the database engine's companion
    // files beside it (-journal, -wal, -shm), when it was left behind: an
    // ordinary file, not a link, that no process holds locked. Returns
    // whether it was removed. A file being written by a running program, in
    // this process or another, is never touched.
    static bool removeIfAbandoned(const std::string& path);

private:
    StagedFile(int fd, std::string path, uid_t owner, gid_t group);
    // Gives the file its owner, and flushes it to disk, ready to be named.
    Status finishWriting();

    int m_fd = -1;
    std::string m_path;
    uid_t m_owner;
    gid_t m_group;
    bool m_done = false;
};

// Renames from to to, failing with EEXIST instead of replacing to. Returns 0
// or the errno value.
int renameNoReplace(const std::string& from, const std::string& to);

// Whether path names, without following a link, the file open at fd.
bool sameFile(int fd, const std::string& path);

} // namespace tarvex
