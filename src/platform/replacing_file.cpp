#include "platform/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace platform {

namespace {

constexpr const char* kPartMarker = ".part-";

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process id of a leftover named "<name>.part-<pid>-<n>", or 0 when `entry` is not one.
pid_t LeftoverOwner(const std::string& entry, const std::string& name) {
    const std::string head = name + kPartMarker;
    if (entry.compare(0, head.size(), head) != 0) return 0;
    const char* digits = entry.c_str() + head.size();
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || pid <= 0) return 0;
    const char* counter = end + 1;
    std::strtoul(counter, &end, 10);
    if (end == counter || *end != '\0') return 0;
    return static_cast<pid_t>(pid);
}

// A save that crashed leaves its temporary file; the next save of the same name takes it away.
// Files of running processes (this one included) may still be written and stay.
void RemoveLeftovers(const std::string& destination) {
    const std::string folder = FolderOf(destination);
    const std::string name = NameOf(destination);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const pid_t owner = LeftoverOwner(entry->d_name, name);
        if (owner == 0 || owner == getpid()) continue;
        if (kill(owner, 0) == 0 || errno != ESRCH) continue;
        unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

mode_t FileModeMask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

}  // namespace

CReplacingFile::~CReplacingFile() {
    Abandon();
}

bool CReplacingFile::Open(const std::string& destination) {
    Abandon();
    static std::atomic<unsigned> counter{0};
    destination_ = destination;
    RemoveLeftovers(destination);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            destination + kPartMarker + std::to_string(getpid()) + "-" + std::to_string(counter++);
        const int fd =
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file_ = fdopen(fd, "wb");
        if (!file_) {
            const int error = errno;
            close(fd);
            unlink(candidate.c_str());
            errno = error;
            return false;
        }
        temporary_ = std::move(candidate);
        return true;
    }
    errno = EEXIST;
    return false;
}

bool CReplacingFile::Commit(mode_t permissions, bool sync) {
    if (!file_) return false;
    bool done = std::fflush(file_) == 0 && !std::ferror(file_);
    done = done && (!sync || fsync(fileno(file_)) == 0);
    done = done && fchmod(fileno(file_), permissions & 07777) == 0;
    done = std::fclose(file_) == 0 && done;
    file_ = nullptr;
    done = done && std::rename(temporary_.c_str(), destination_.c_str()) == 0;
    if (!done) {
        const int error = errno;
        unlink(temporary_.c_str());
        errno = error;
    }
    temporary_.clear();
    return done;
}

void CReplacingFile::Abandon() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

mode_t ReplacementPermissions(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return info.st_mode & 0777;
    return 0666 & ~FileModeMask();
}

bool ExistsButIsNotWritable(const std::string& path) {
    return ReplaceRefusal(path) != 0;
}

int ReplaceRefusal(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno != 0 ? errno : EACCES;
    close(fd);
    return 0;
}

}  // namespace platform
