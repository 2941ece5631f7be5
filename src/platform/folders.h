#pragma once

#include <string>

namespace platform {

// Creates a folder and any missing parents; a folder that exists already is fine.
bool MakeFolder(const std::string& path);

}  // namespace platform
