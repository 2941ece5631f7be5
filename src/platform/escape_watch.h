#pragma once

#include <memory>

namespace platform {

// Watches for the Escape key while a long task runs inside the program's own event handling, where
// input is held back: the keyboard is taken on a connection of its own for the watch's lifetime,
// so a press reaches the watch wherever the focus is and no other window sees the keys meanwhile.
// When the keyboard cannot be taken (another program holds it), a held-down Escape still counts.
class EscapeWatch {
  public:
    EscapeWatch();
    ~EscapeWatch();
    EscapeWatch(const EscapeWatch&) = delete;
    EscapeWatch& operator=(const EscapeWatch&) = delete;

    // Whether Escape has been pressed since the watch began; stays true once it has.
    bool Pressed();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
