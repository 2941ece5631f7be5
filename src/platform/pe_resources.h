#pragma once

// The icons inside an executable or library in the PE format (32- and 64-bit): its icon groups
// (RT_GROUP_ICON) and the pictures they name (RT_ICON). Plain C++; the file is treated as hostile.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// One picture of an icon group: the group entry's size and depth, and where the picture's bytes
// lie in the file (a bitmap with its AND mask, or a PNG file).
struct PeIconImage {
    int width = 0;  // from the entry's width byte, where 0 means 256
    int height = 0;
    int bitCount = 0;  // the entry's bit count (0 when the entry leaves it out)
    int colourCount = 0;
    size_t offset = 0;  // the bytes, inside the file
    size_t size = 0;
};

// One icon of the file: the pictures its group names that the file holds.
struct PeIconGroup {
    std::vector<PeIconImage> images;
};

// What one reading of a file may cost: directory entries visited, group entries read and groups
// listed. A file can make every group name the same huge group, or every name share one huge
// directory, and so claim far more than its bytes hold.
struct PeBudget {
    size_t directoryEntries = size_t{1} << 18;
    size_t groupEntries = size_t{1} << 16;
    size_t groups = size_t{1} << 13;
};

// Every icon group of the file, in directory order (named groups first, then ids ascending),
// each in its first language. A file that is not PE, is cut short or whose resource directories
// loop holds no icons: the result is empty. Groups naming no picture the file holds are left out.
// Past the budget the groups read so far are given, and `cutShort` (when given) is set.
std::vector<PeIconGroup> ReadPeIconGroups(const uint8_t* file, size_t size,
                                          bool* cutShort = nullptr, const PeBudget& budget = {});

}  // namespace platform
