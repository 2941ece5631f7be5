#include "cli/tool_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace cli {

namespace {

std::string ModulePath(const char* name) {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return name;
    std::string path(self, static_cast<size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/') + 1);
#ifdef QUILLET_MODULE_DIR_FROM_BIN
    // Installed, the modules sit in the library folder rather than beside the tool.
    if (access((folder + name).c_str(), F_OK) != 0)
        return folder + QUILLET_MODULE_DIR_FROM_BIN + name;
#endif
    return folder + name;
}

}  // namespace

void* ModuleEntry(const char* name, const char* symbol) {
    void* module = dlopen(ModulePath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    return module ? dlsym(module, symbol) : nullptr;
}

}  // namespace cli
