#pragma once

namespace platform {

// Blocks for the given time while the program's windows keep repainting and X requests
// are flushed, so a window hidden just before really vanishes from the screen.
// User input is held back until the wait is over.
void FixedWait(int milliseconds);

// Marks a wait that holds user input back (processing events without input) for its lifetime.
// When the last one ends, the input that came meanwhile is handed on from the event loop: Qt
// would otherwise leave it queued until more input arrives.
class InputHold {
  public:
    InputHold();
    ~InputHold();
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;
};

}  // namespace platform
