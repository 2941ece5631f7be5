#include "capture/capture_options.h"

#include "app/profile.h"

namespace {
constexpr const char* kDelayKey = "CaptureDelay";
constexpr const char* kPointerKey = "CapturePointer";
}  // namespace

CaptureOptions CaptureOptions::Load() {
    CaptureOptions options;
    bool number = false;
    const int delay = profile::ReadString(kDelayKey, "0").toInt(&number);
    if (number && delay >= 0 && delay <= kMaxDelaySeconds) options.delaySeconds = delay;
    options.pointer = profile::ReadString(kPointerKey, "0") == "1";
    return options;
}

void CaptureOptions::Save() const {
    profile::WriteString(kDelayKey, QString::number(delaySeconds));
    profile::WriteString(kPointerKey, pointer ? "1" : "0");
}
