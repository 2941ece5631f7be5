#pragma once

#include <QImage>
#include <QRect>

#include <vector>

class QScreen;

namespace platform {

// The screen's pixels inside `rect` (root window coordinates, clipped to the screen), as a
// screen-compatible bitmap (QImage::Format_RGB32). A null image when nothing could be read.
QImage GrabScreenArea(const QRect& rect);

// The monitors' rectangles in device pixels of the desktop (the whole screen when RandR knows
// none).
std::vector<QRect> MonitorRects();

// A screen as Qt knows it, in device pixels of the desktop.
QRect ScreenDeviceRect(const QScreen* screen);

// Paints black what no monitor shows of a picture of the desktop whose top-left pixel lies at
// `origin` (the whole desktop by default).
void BlackenOutsideMonitors(QImage& picture, QPoint origin = QPoint(0, 0));

// The whole screen.
QImage GrabWholeScreen();

// The whole desktop in device pixels, asked of the server each time.
QRect ScreenRect();

// A window's rectangle on the screen (its frame, for a managed top-level window), or an empty
// rectangle when the window does not exist.
QRect WindowScreenRect(unsigned long window);

}  // namespace platform
