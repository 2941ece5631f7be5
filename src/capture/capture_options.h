#pragma once

// The options every capture takes: a delay before it, and whether the pointer is in it. Kept in
// the user's profile; a command from the command line may give its own for one capture.
struct CaptureOptions {
    static constexpr int kMaxDelaySeconds = 10;

    int delaySeconds = 0;  // 0: none
    bool pointer = false;

    // From the profile: a delay outside 0 to 10 seconds counts as none.
    static CaptureOptions Load();
    void Save() const;
};
