#include "platform/folders.h"

#include <cerrno>
#include <sys/stat.h>

namespace platform {

bool MakeFolder(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0777);
    }
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace platform
