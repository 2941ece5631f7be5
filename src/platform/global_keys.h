#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Keys that act while the program runs, whichever window has the focus: each is grabbed on the
// root window under every combination of Caps, Num and Scroll Lock. A key another program holds
// already is left to it.
class GlobalKeys {
  public:
    enum Modifier { kNone = 0, kShift = 1, kAlt = 8 };  // X's ShiftMask and Mod1Mask
    struct Key {
        std::string name;  // as the user reads it, e.g. "Shift+Print"
        unsigned long keysym;
        unsigned modifiers;
        std::function<void()> action;
    };

    GlobalKeys();
    ~GlobalKeys();
    GlobalKeys(const GlobalKeys&) = delete;
    GlobalKeys& operator=(const GlobalKeys&) = delete;

    // Grabs the keys on the program's X connection; returns the names of those it could not
    // take. An action runs from the event loop, never inside another key's action.
    std::vector<std::string> Grab(std::vector<Key> keys);
    // Gives every grabbed key back.
    void Release();

  private:
    class Filter;
    std::unique_ptr<Filter> filter_;
};

}  // namespace platform
