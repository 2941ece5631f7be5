#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// Queries on any window of the display, ours or another program's. Such a window can vanish
// between two requests: every query here goes through requests whose errors come back with
// their replies (never to the program's error handler), and answers "nothing" for a window
// that is gone. Coordinates are the screen's device pixels.
namespace platform {

using XWindow = unsigned long;

XWindow RootWindowId();

// The window at a screen point: the innermost viewable InputOutput window whose input area
// holds the point (InputOnly windows and windows with an empty input shape, such as the
// picking outline, are looked through). A point on the window manager's decorations belongs
// to the managed client window they frame. The root when nothing else is there; 0 without X.
XWindow WindowAtPoint(QPoint point);

// The managed client window (the one carrying WM_STATE) that is the window or holds it;
// 0 when there is none (the root, override-redirect windows and their children).
XWindow ManagedClientOf(XWindow window);
// The managed client holding the window, else the child of the root holding it;
// 0 for the root itself or a vanished window.
XWindow TopLevelOf(XWindow window);
// The client window inside a window manager's frame (or the window itself when it is one).
XWindow ClientInFrame(XWindow frame);

struct XWindowState {
    XWindow parent = 0;  // the X parent
    bool viewable = false;
    bool overrideRedirect = false;
    bool inputOnly = false;
    QRect area;  // the window's own area (inside its border) on the screen
    int borderWidth = 0;
};
std::optional<XWindowState> WindowStateOf(XWindow window);

// The class part of WM_CLASS, or nothing without one.
std::optional<QString> WmClass(XWindow window);
// _NET_WM_NAME, else WM_NAME; empty without either.
QString WindowText(XWindow window);
// WM_TRANSIENT_FOR, 0 without one.
XWindow TransientOwner(XWindow window);
bool HasProperty(XWindow window, const char* name);
// The names of the atoms in an ATOM list property (_NET_WM_STATE, _NET_WM_WINDOW_TYPE).
std::vector<QString> AtomListProperty(XWindow window, const char* name);

struct FrameExtents {
    int left = 0, right = 0, top = 0, bottom = 0;
};
// _NET_FRAME_EXTENTS, as the window manager set it on a client.
std::optional<FrameExtents> FrameExtentsOf(XWindow window);

struct XPropertyEntry {
    QString name;
    std::uint32_t value = 0;  // first 32-bit item, or the length in bytes of 8-bit data
};
// Every property of the window, in the server's order; nothing when the window is gone.
std::optional<std::vector<XPropertyEntry>> WindowProperties(XWindow window);

}  // namespace platform
