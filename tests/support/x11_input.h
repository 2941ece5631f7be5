#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

// Real input and window queries on the test display, as a user's mouse and keyboard would give.
namespace testx11 {

void MoveMouse(QPoint screenPosition);
// Presses and releases a button (1 left, 2 middle, 3 right) at a screen position.
void Click(QPoint screenPosition, int button = 1);
void ButtonDown(int button = 1);
void ButtonUp(int button = 1);
// Presses and releases a key given by its X keysym name ("Return", "Escape", "Down").
void TapKey(const char* keysymName);
// Presses the keys in order and releases them the other way round ({"Alt_L", "Print"}).
void TapKeys(const QStringList& keysymNames);

// The window's rectangle on the screen (origin through the X server, so embedded windows too).
QRect WindowScreenRect(unsigned long window);
// Viewable top-level windows (children of the root, or their clients) whose WM_CLASS name or class
// contains `className`; only those of process `pid` when it is given.
std::vector<unsigned long> FindViewableWindows(const QString& className, long pid = 0);

bool IsMapped(unsigned long window);
// Whether the window bypasses the window manager (pop-up menus, tooltips, overlays).
bool IsOverrideRedirect(unsigned long window);
// The window's _NET_WM_STATE and _NET_WM_WINDOW_TYPE atoms by name, and whether its WM_HINTS ask
// for attention.
QStringList NetWmState(unsigned long window);
QStringList NetWmWindowType(unsigned long window);
bool HasUrgencyHint(unsigned long window);

// The screen's pixels, straight from the X server.
QImage GrabScreen(const QRect& rect = QRect());

// Processes Qt events for the given time (the test's own windows keep working meanwhile).
void Pump(int milliseconds);
// Pumps until `condition` holds or the time runs out; returns the condition's last value.
template <typename Condition>
bool PumpUntil(Condition condition, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (condition()) return true;
        Pump(20);
    }
    return condition();
}

}  // namespace testx11
