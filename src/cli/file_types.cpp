#include "cli/file_types.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "image/raster.h"

namespace cli {

namespace {

struct TypeName {
    const char* name;
    int type;
};

constexpr TypeName kTypeNames[] = {
    {"bmp", kTypeBmp}, {"gif", kTypeGif}, {"jpg", kTypeJpeg},  {"jpeg", kTypeJpeg},
    {"png", kTypePng}, {"ico", kTypeIco}, {"tif", kTypeTiff},  {"tiff", kTypeTiff},
    {"tga", kTypeTga}, {"pcx", kTypePcx}, {"wbmp", kTypeWbmp}, {"wmf", kTypeWmf},
    {"emf", kTypeWmf},
};

}  // namespace

int ToolTypeFromName(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const TypeName& entry : kTypeNames) {
        if (lower == entry.name) return entry.type;
    }
    return -1;
}

int ToolTypeFromPath(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return -1;
    return ToolTypeFromName(path.substr(dot + 1));
}

bool FileType(const std::string& path, const std::string& typeName, uint32_t& type) {
    int found = ToolTypeFromPath(path);
    if (found < 0 && !typeName.empty()) found = ToolTypeFromName(typeName);
    if (found < 0) {
        std::fprintf(stderr, "not an image file name: %s (name the format with --type)\n",
                     path.c_str());
        return false;
    }
    type = static_cast<uint32_t>(found);
    return true;
}

bool TakeTypeOption(Arguments& args, std::string& typeName) {
    if (!TakeStringOption(args, "--type", typeName)) return false;
    if (!typeName.empty() && ToolTypeFromName(typeName) < 0) {
        std::fprintf(stderr, "unknown image type: %s\n", typeName.c_str());
        return false;
    }
    return true;
}

}  // namespace cli
