#pragma once

// Xlib's types, without the macros that clash with Qt's names.
using Display = struct _XDisplay;

namespace platform {

// The X connection of the running program (Qt's own), or null without one.
Display* X11Display();

// Whether the program runs on an X11 display; Quillet needs one to see the screen and the pointer.
bool HasX11Session();

}  // namespace platform
