#pragma once

#include <cstdint>
#include <string>

#include "cli/command_registry.h"

namespace cli {

// quillet-tool's own extension map: the capture workspace's, plus "wbmp" (8) and "wmf"/"emf" (9),
// so that scripts reach every format of the image library. -1 for anything else.
int ToolTypeFromName(const std::string& name);
int ToolTypeFromPath(const std::string& path);

// The type of `path`: its extension, or else the `--type NAME` given (`typeName`, may be empty).
// Prints why on stderr and returns false when neither says.
bool FileType(const std::string& path, const std::string& typeName, uint32_t& type);

// Removes "--type NAME" from args; false (with a message) for a name no format has.
bool TakeTypeOption(Arguments& args, std::string& typeName);

}  // namespace cli
