#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QScreen;

namespace platform {

namespace capture {
class RepaintWatch;
}

// The screen's pixels inside `rect` (root window coordinates, clipped to the screen), as a
// screen-compatible bitmap (QImage::Format_RGB32). A null image when nothing could be read.
QImage GrabScreenArea(const QRect& rect);

// Where the compositor draws the pointer into the screen's copies (Wayland's screencopy), whether
// the next grabs include it. Elsewhere the pointer is laid over a grab by its caller.
void SetGrabOverlaysPointer(bool overlay);

// Starts the capture backend's watch for the frames the named outputs draw after windows on
// them are hidden; null where the backend learns nothing of the compositor's frames.
std::unique_ptr<capture::RepaintWatch> WatchOutputsRepaint(const std::vector<std::string>& outputs);

// Whether the program runs in a Wayland session: the screen comes through the compositor's
// screencopy or the desktop portal, and no X11 facility is used.
bool RunsOnWayland();

// Why picking another program's window (and the hook, the inspector and the Print keys) cannot
// work in a Wayland session, for disabled menu items and refused commands.
constexpr const char* kWaylandNoPickReason =
    "Not available on Wayland: Wayland lets no program see or pick another program's windows.";

// A monitor: its output's name, its pixels in the desktop's device pixels, its place in the
// session's logical layout and its scale (the logical place is the device one on X11).
struct Monitor {
    QString name;
    QRect device;
    QRect logical;
    double scale = 1.0;
};

// The monitors as the capture backend knows them; empty when it knows none.
std::vector<Monitor> Monitors();

// The message for a grab that read nothing: on Wayland with the backend's reason.
std::string GrabFailureText();

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
