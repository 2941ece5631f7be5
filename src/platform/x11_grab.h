#pragma once

// Reading the root window's pixels without Qt: the core of the screen grab, shared by the
// program (through screen_grab.h) and quillet-tool.

#include <cstdint>
#include <functional>
#include <vector>

using Display = struct _XDisplay;

namespace platform {

// Receives row `y` (0 at the top) of a grab as 0xFFRRGGBB pixels, `width` of them.
using GrabRowSink = std::function<void(int y, const uint32_t* row)>;

// The current size of the root window, false without a display.
bool RootSize(Display* display, int& width, int& height);

// A monitor's area of the root window.
struct MonitorArea {
    int x = 0, y = 0, width = 0, height = 0;
};

// The monitors as RandR tells them; empty when it tells none.
std::vector<MonitorArea> MonitorAreas(Display* display);

// Reads the area of the root window (already clipped to the screen) and hands each row to
// `sink`, top to bottom; shared memory when the server offers it. False when nothing was read.
bool ReadRootArea(Display* display, int x, int y, int width, int height, const GrabRowSink& sink);

}  // namespace platform
