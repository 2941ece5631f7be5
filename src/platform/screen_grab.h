#pragma once

#include <QImage>
#include <QRect>

#include <vector>

namespace platform {

// The screen's pixels inside `rect` (root window coordinates, clipped to the screen), as a
// screen-compatible bitmap (QImage::Format_RGB32). A null image when nothing could be read.
QImage GrabScreenArea(const QRect& rect);

// The monitors' rectangles in device pixels of the desktop (the whole screen when RandR knows none).
std::vector<QRect> MonitorRects();

// Paints black what no monitor shows of a picture of the whole desktop.
void BlackenOutsideMonitors(QImage& desktop);

// The whole screen.
QImage GrabWholeScreen();

// The screen size in pixels.
QRect ScreenRect();

// A window's rectangle on the screen (its frame, for a managed top-level window), or an empty
// rectangle when the window does not exist.
QRect WindowScreenRect(unsigned long window);

}  // namespace platform
