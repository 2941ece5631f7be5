#include "platform/keyboard_state.h"

#include "platform/x11_display.h"

#include <X11/XKBlib.h>

namespace platform {

KeyboardIndicators ReadKeyboardIndicators() {
    KeyboardIndicators indicators;
    Display* display = X11Display();
    if (!display) return indicators;
    unsigned int state = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &state) != Success) return indicators;
    indicators.capsLock = state & 0x1;
    indicators.numLock = state & 0x2;
    indicators.scrollLock = state & 0x4;
    return indicators;
}

}  // namespace platform
