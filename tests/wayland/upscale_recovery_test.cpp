// Bringing a scale-1 output's own pixels back from a picture of the layout at scale 2.
#include "platform/capture/portal_backend.h"
#include "platform/capture/upscale_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using platform::capture::Output;
using platform::capture::Picture;

// A device picture with what desktops show: flat areas, hard edges at full contrast, a ramp,
// a thin line and coloured blocks.
Picture Device(int width, int height) {
    Picture device;
    device.Reset(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t r = x < width / 3 ? 255 : 0, g = uint32_t(x * 7 + y * 3) & 0xFF, b = 40;
            if (y == height / 2) r = g = b = 0;
            if (x > width / 2 && y > height / 3 && y < height / 3 + 5) b = 200 + x % 3;
            device.Row(y)[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    return device;
}

// The device picture as the portal's compositor smooths it up 2x into a larger shot at `left`,
// `top`: centres aligned, weights 9:3:3:1 out of 16, truncated. The outermost ring blends with
// nothing beyond the output and is stored divided by its coverage.
Picture Doubled(const Picture& device, int left, int top, int shotWidth, int shotHeight) {
    Picture shot;
    shot.Reset(shotWidth, shotHeight);
    for (uint32_t& pixel : shot.pixels) pixel = 0xFF123456u;
    for (int y = 0; y < 2 * device.height; ++y) {
        for (int x = 0; x < 2 * device.width; ++x) {
            uint32_t pixel = 0xFF000000u;
            for (int shift : {0, 8, 16}) {
                int sum = 0, cover = 0;
                for (int dy : {0, 1}) {
                    const int sy = ((y - 1) >> 1) + dy;
                    const int wy = (dy == 0) == bool(y & 1) ? 3 : 1;
                    for (int dx : {0, 1}) {
                        const int sx = ((x - 1) >> 1) + dx;
                        const int wx = (dx == 0) == bool(x & 1) ? 3 : 1;
                        if (sx < 0 || sy < 0 || sx >= device.width || sy >= device.height) continue;
                        sum += wx * wy * int(device.Row(sy)[sx] >> shift & 0xFF);
                        cover += wx * wy;
                    }
                }
                const int alpha = 255 * cover / 16;
                pixel |= uint32_t(sum / 16 * 255 / alpha) << shift;
            }
            shot.Row(top + y)[left + x] = pixel;
        }
    }
    return shot;
}

// Antialiased rings on a flat ground: edges at every level, as text and icons have.
Picture Rings(int width, int height) {
    Picture device;
    device.Reset(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Coverage of a ring of radius 12 and width 2.5, sampled 4 x 4 per pixel.
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const double dx = std::fmod(x + (sx + 0.5) / 4, 32.0) - 16;
                    const double dy = std::fmod(y + (sy + 0.5) / 4, 32.0) - 16;
                    const double d = std::sqrt(dx * dx + dy * dy);
                    inside += d > 12 && d < 14.5;
                }
            }
            const uint32_t v = uint32_t(235 - inside * 200 / 16);
            device.Row(y)[x] = 0xFF000000u | v << 16 | v << 8 | 240;
        }
    }
    return device;
}

using platform::capture::Recovery;

TEST(PortalRecovery, BringsTheDevicePixelsBackExactlyAndChecksThatItCan) {
    const Picture device = Device(61, 37);
    const Picture shot = Doubled(device, 6, 4, 140, 90);
    Picture got;
    ASSERT_EQ(platform::capture::RecoverFromDoubled(shot, 6, 4, 61, 37, got), Recovery::kExact);
    EXPECT_TRUE(got.pixels == device.pixels);

    // One picture pixel far off inside the area: smoothing the result up no longer gives the shot.
    Picture touched = shot;
    touched.Row(40)[50] ^= 0x00300000u;
    EXPECT_EQ(platform::capture::RecoverFromDoubled(touched, 6, 4, 61, 37, got), Recovery::kNone);
    // The area must lie within the shot.
    EXPECT_EQ(platform::capture::RecoverFromDoubled(shot, 20, 20, 61, 37, got), Recovery::kNone);

    // Antialiased edges: the result may differ where truncation leaves look-alikes, slightly.
    const Picture rings = Rings(96, 64);
    const Recovery recovery =
        platform::capture::RecoverFromDoubled(Doubled(rings, 0, 0, 192, 128), 0, 0, 96, 64, got);
    ASSERT_NE(recovery, Recovery::kNone);
    int worst = 0;
    for (std::size_t i = 0; i < rings.pixels.size(); ++i)
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(int(got.pixels[i] >> shift & 0xFF) -
                                             int(rings.pixels[i] >> shift & 0xFF)));
    EXPECT_LE(worst, recovery == Recovery::kExact ? 1 : 2);
}

// Another portal's picture, each device pixel shown as a 2 x 2 block: no recovery, and the plain
// sampling gives the pixels exactly.
TEST(PortalRecovery, FallsBackToSamplingForPicturesItCannotExplain) {
    const Picture device = Device(61, 37);
    Picture shot;
    shot.Reset(2 * 61 + 20, 2 * 37);
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < 2 * 61; ++x) shot.Row(y)[x] = device.Row(y / 2)[x / 2];
    Picture got;
    EXPECT_EQ(platform::capture::RecoverFromDoubled(shot, 0, 0, 61, 37, got), Recovery::kNone);

    // The layout: this output at scale 1, one at scale 2 right of it (10 x 37 logical).
    Output first, second;
    first.width = first.logicalWidth = 61;
    first.height = first.logicalHeight = 37;
    second.logicalX = 61;
    second.logicalWidth = 10, second.logicalHeight = 37;
    second.width = 20, second.height = 74, second.scale = 2;
    second.x = 61;
    std::string error;
    Picture desktop;
    ASSERT_TRUE(platform::capture::MapToOutputs(shot, {first, second}, desktop, error)) << error;
    ASSERT_EQ(desktop.width, 81);
    for (int y = 0; y < 37; ++y)
        ASSERT_TRUE(std::equal(device.Row(y), device.Row(y) + 61, desktop.Row(y))) << "row " << y;
}

}  // namespace
