#pragma once

#include <stdexcept>
#include <string>

namespace filecrypt {

// Every failure of the file encryption engine; what() is the text the user sees.
class CCryptError : public std::runtime_error {
  public:
    explicit CCryptError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace filecrypt
