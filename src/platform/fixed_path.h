#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace platform {

// Length of the program's path buffers; a formatted path is cut to one less than this.
inline constexpr int kMaxPath = 260;

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
