#pragma once

#include "platform/capture/capture_backend.h"

namespace platform::capture {

// A picture of the whole layout at the largest output scale shows a lower-scale output smoothed
// up. On wlroots' portal the factor-2 smoothing is bilinear with pixel centres aligned: every
// picture pixel inside the output's area holds floor((9a + 3b + 3c + d) / 16) of the output's
// four nearest device pixels, the nearest weighted 9; the outermost ring blends them with nothing
// beyond the output and is stored divided by that coverage. That keeps enough to bring back
// exactly what screens mostly show: flat areas, ramps, sharp edges.

// How well the recovered pixels smoothed up again give the picture: not at all (nothing
// recovered), every inner picture pixel within one level with a few not exactly, or exactly.
enum class Recovery { kNone, kWithinOneLevel, kExact };

// Recovers the `width` x `height` device pixels an output shows in `shot`'s area at `left`,
// `top` (2 * width x 2 * height pixels): an estimate by the filter's inverse, refined pixel by
// pixel, and by pairs of pixels, until smoothing it up again gives every inner picture pixel of
// the area. Truncation hides a little: a lone pixel one level above a flat surround smooths up
// to the same picture as the flat surround, so of such look-alikes the one lying lowest within
// the truncated ranges (flat areas and ramps as they are) is taken. `output` is filled unless the
// result is kNone: another filter, nearest-neighbour blocks, content as busy as noise, an area
// too small or outside the shot. The caller then samples the picture.
Recovery RecoverFromDoubled(const Picture& shot, int left, int top, int width, int height,
                            Picture& output);

}  // namespace platform::capture
