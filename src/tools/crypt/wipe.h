#pragma once

#include <cstring>
#include <string>

namespace filecrypt {

// Clears a password or key material so that it does not outlive its use in memory; unlike a
// plain memset the stores cannot be left out by the compiler.
inline void Wipe(void* data, std::size_t size) {
    explicit_bzero(data, size);
}

inline void Wipe(std::string& text) {
    explicit_bzero(text.data(), text.size());
    text.clear();
}

}  // namespace filecrypt
