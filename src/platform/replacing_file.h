#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace platform {

// A file written under a temporary name beside its destination, which takes the destination's
// place only when Commit succeeds. Until then whatever is at the destination stays untouched; a
// failed or abandoned write leaves nothing behind. Plain POSIX, usable by every library.
class CReplacingFile {
  public:
    CReplacingFile() = default;
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // Creates the temporary file "<destination>.part-<process>-<n>" exclusively (a link of that
    // name is never followed), readable and writable by its owner only while it is written.
    // Leftovers of the same destination from processes that no longer run are removed first.
    // False with errno set when no file could be created.
    bool Open(const std::string& destination);
    std::FILE* file() const { return file_; }
    const std::string& temporaryPath() const { return temporary_; }

    // Flushes the data (to the disk as well when `sync`), gives the file `permissions` and
    // renames it over the destination. On failure the temporary file is removed.
    bool Commit(mode_t permissions, bool sync = true);
    // Removes the temporary file; the destination stays as it was.
    void Abandon();

  private:
    std::string destination_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
};

// Permission bits for a file that replaces `path`: those of the file there, or, when there is
// none, those a newly created file gets under the process's file mode mask.
mode_t ReplacementPermissions(const std::string& path);

// Whether `path` names an existing file that this process could not open for writing in place
// (read-only, another user's, a folder). Such a file must not be replaced by a renamed one.
bool ExistsButIsNotWritable(const std::string& path);
// Why such a file must not be replaced: the error number of opening it for writing in place
// (EACCES for a read-only file), or 0 when there is no file or it could be written.
int ReplaceRefusal(const std::string& path);

}  // namespace platform
