#pragma once

#include <QImage>
#include <QRect>

namespace platform {

// The screen's pixels inside `rect` (root window coordinates, clipped to the screen), as a
// screen-compatible bitmap (QImage::Format_RGB32). A null image when nothing could be read.
QImage GrabScreenArea(const QRect& rect);

// The whole screen.
QImage GrabWholeScreen();

// The screen size in pixels.
QRect ScreenRect();

// A window's rectangle on the screen (its frame, for a managed top-level window), or an empty
// rectangle when the window does not exist.
QRect WindowScreenRect(unsigned long window);

}  // namespace platform
