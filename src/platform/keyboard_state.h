#pragma once

namespace platform {

struct KeyboardIndicators {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
};

// The keyboard's lock indicators as the X server reports them.
KeyboardIndicators ReadKeyboardIndicators();

}  // namespace platform
