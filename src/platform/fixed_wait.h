#pragma once

namespace platform {

// Blocks for the given time while the program's windows keep repainting and X requests
// are flushed, so a window hidden just before really vanishes from the screen.
// User input is held back until the wait is over.
void FixedWait(int milliseconds);

}  // namespace platform
