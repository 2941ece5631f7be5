// Metafiles for quillet-tool: the player lives in a module beside the executable (installed: in
// the library folder), loaded on the first WMF or EMF read.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "image/codecs.h"

namespace {

constexpr const char* kModuleName = "quillet-tool-metafile.so";

std::string ModulePath() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return kModuleName;
    std::string path(self, static_cast<size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/') + 1);
#ifdef QUILLET_MODULE_DIR_FROM_BIN
    // Installed, the module sits in the library folder rather than beside the tool.
    if (access((folder + kModuleName).c_str(), F_OK) != 0)
        return folder + QUILLET_MODULE_DIR_FROM_BIN + kModuleName;
#endif
    return folder + kModuleName;
}

DecodeFunction LoadPlayer() {
    void* module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return nullptr;
    using Entry = DecodeFunction (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(module, "QuilletToolMetafileDecoder"));
    return entry ? entry() : nullptr;
}

bool DecodeThroughModule(CRaster& image, CByteStream& stream) {
    static const DecodeFunction player = LoadPlayer();
    if (!player) {
        image.SetLastError("WMF codec not available");
        return false;
    }
    return player(image, stream);
}

const bool installed = (SetMetafileDecoder(DecodeThroughModule), true);

}  // namespace
