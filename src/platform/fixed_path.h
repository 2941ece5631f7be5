#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace platform {

// Length of the program's path buffers; a formatted path is cut to one less than this.
inline constexpr int kMaxPath = 260;

// The longest name the program builds beneath the base folder: the thumbnail of an automatically
// named document, "bin/session<N>/thumbnails/T-<prefix><number>.jpg", with session number and
// document number of 11 characters each ("-2147483648") and a prefix of 31.
inline constexpr int kLongestNameInBase = 4 + 7 + 11 + 1 + 11 + 2 + 31 + 11 + 4;
// The longest working folder whose paths all fit the buffers uncut (it is followed by a
// separator, the name and the terminator).
inline constexpr int kMaxBaseFolderLength = kMaxPath - 1 - kLongestNameInBase - 1;

// printf-style formatting into a fixed buffer of `Size` bytes, cut as such a buffer cuts.
template <int Size = kMaxPath>
std::string FormatFixed(const char* format, ...) __attribute__((format(printf, 1, 2)));

template <int Size>
std::string FormatFixed(const char* format, ...) {
    char buffer[Size];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

}  // namespace platform
