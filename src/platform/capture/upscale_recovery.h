#pragma once

#include "platform/capture/capture_backend.h"

namespace platform::capture {

// A picture of the whole layout at the largest output scale shows a lower-scale output smoothed
// up. On wlroots' portal the factor-2 smoothing is bilinear with pixel centres aligned: every
// picture pixel inside the output's area (its outermost ring aside, which blends with what lies
// beyond the output) holds floor((9a + 3b + 3c + d) / 16) of the output's four nearest device
// pixels, the nearest weighted 9. That keeps enough to bring the device pixels back exactly.
//
// Recovers the `width` x `height` device pixels an output shows in `shot`'s area at `left`,
// `top` (2 * width x 2 * height pixels): an estimate by the filter's inverse, refined pixel by
// pixel until smoothing it up again gives every inner pixel of the area exactly. True with
// `output` filled only when that succeeds; false (another filter, nearest-neighbour blocks, an
// area too small or outside the shot) leaves the caller to its plain sampling.
bool RecoverFromDoubled(const Picture& shot, int left, int top, int width, int height,
                        Picture& output);

}  // namespace platform::capture
