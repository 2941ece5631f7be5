#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

// Questions about the windows on the X display, asked of any program's windows. Every answer
// copes with a window that vanished meanwhile (0 or an empty rectangle). Points and rectangles
// are in device pixels of the root window.
namespace platform {

// The pointer's position on the screen.
QPoint PointerPosition();

// One click of the wheel upwards at the pointer, as the user's mouse would give it.
void WheelClickUp();

// The innermost window at a point, descending from the root (input shapes are honoured, so
// input-transparent windows such as the pick outline are passed through; InputOnly windows are
// skipped). A point on the window manager's decorations belongs to the managed window inside
// them. 0 when only the root is there.
unsigned long WindowAtPoint(QPoint point);

// The top-level window a window belongs to: the managed client window (the one carrying
// WM_STATE), or the root's child for unmanaged windows. 0 for the root or a vanished window.
unsigned long TopLevelWindow(unsigned long window);

// The end of the owner chain: the top-level window, then WM_TRANSIENT_FOR followed to its end.
unsigned long RootOwnerWindow(unsigned long window);

// The managed windows owned by a top-level window, directly or through other owned windows,
// bottom first (as the window manager stacks them).
std::vector<unsigned long> OwnedWindows(unsigned long topLevel);

// The frame window the window manager put around a top-level window (the root's child holding
// it), or the window itself when it has none.
unsigned long FrameWindow(unsigned long topLevel);

// The window's parent, 0 at the root.
unsigned long ParentWindow(unsigned long window);

// Whether `window` is `ancestor` or lies inside it.
bool IsWithin(unsigned long window, unsigned long ancestor);

// The window's rectangle on the screen; with `withFrame`, a managed top-level window's
// decorations are included (_NET_FRAME_EXTENTS). Empty when the window does not exist.
QRect WindowRect(unsigned long window, bool withFrame);

// The class part of the window's WM_CLASS, empty when it has none.
QString WindowClassName(unsigned long window);

// The above band of the window manager (_NET_WM_STATE_ABOVE) for a top-level window; unmanaged
// windows are only raised.
bool HasAboveState(unsigned long topLevel);
void SetAboveState(unsigned long topLevel, bool above);
void RaiseWindow(unsigned long topLevel);
// Whether the top-level window's frame is the topmost of the root's mapped children, not
// counting the listed windows of our own (outline frames and the like).
bool IsTopOfStack(unsigned long topLevel, unsigned long ignored = 0);

}  // namespace platform
