#pragma once

// The parts of quillet-tool that need big libraries (Qt for metafiles, X11 for the grab, libtiff)
// live in modules beside the executable (installed: in the library folder), loaded on first use,
// so that every other command starts without them. The modules take the image library's symbols
// from the tool itself.

namespace cli {

// The entry `symbol` of module `name` (a file name such as "quillet-tool-tiff.so"); null when
// the module cannot be loaded or lacks the entry.
void* ModuleEntry(const char* name, const char* symbol);

}  // namespace cli
