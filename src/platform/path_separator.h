#pragma once

namespace platform {

// The folder separator used when paths are built with their formats ('\' on the original desktop).
inline constexpr char kPathSeparator = '/';

}  // namespace platform
