// The standard 16- and 256-colour palettes.

#include <array>

#include "image/raster.h"

namespace {

struct Rgb {
    uint8_t red, green, blue;
};

constexpr Rgb kStd16[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// Entries 0-9 and 246-255 of the 256-colour palette.
constexpr Rgb kStd256Head[10] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                 {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                 {192, 220, 192}, {166, 202, 240}};
constexpr Rgb kStd256Tail[10] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                 {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                 {0, 255, 255},   {255, 255, 255}};

// The hue of each of the eighteen ramps (its seventh entry).
constexpr Rgb kRampHues[18] = {
    {255, 170, 0}, {255, 85, 0}, {254, 0, 0}, {255, 0, 85}, {255, 0, 170}, {254, 0, 254},
    {170, 0, 255}, {85, 0, 255}, {0, 0, 254}, {0, 85, 255}, {0, 170, 255}, {0, 254, 254},
    {0, 255, 170}, {0, 255, 85}, {0, 254, 0}, {85, 255, 0}, {170, 255, 0}, {254, 254, 0}};

// Channel values by role for the six tints (entries 1-6) and six shades (entries 7-12).
constexpr uint8_t kTintLow[6] = {212, 177, 142, 107, 72, 37};
constexpr uint8_t kTintMid170[6] = {240, 226, 212, 198, 184, 170};
constexpr uint8_t kTintMid85[6] = {227, 199, 171, 143, 115, 87};
constexpr uint8_t kShadeHigh[6] = {255, 220, 185, 150, 115, 80};
constexpr uint8_t kShadeMid170[6] = {170, 146, 122, 98, 74, 50};
constexpr uint8_t kShadeMid85[6] = {85, 73, 61, 49, 37, 25};

// One channel of ramp entry `entry` (0-11) whose hue has `hue` in that channel.
uint8_t RampChannel(uint8_t hue, bool pureHue, uint32_t entry) {
    const bool tint = entry < 6;
    const uint32_t t = tint ? entry : entry - 6;
    if (hue >= 254) {
        if (tint) return 255;
        return pureHue && t == 0 ? 254 : kShadeHigh[t];
    }
    if (hue == 170) return tint ? kTintMid170[t] : kShadeMid170[t];
    if (hue == 85) return tint ? kTintMid85[t] : kShadeMid85[t];
    return tint ? kTintLow[t] : 0;
}

std::array<RGBQUAD, 256> MakeStd256() {
    std::array<RGBQUAD, 256> palette{};
    auto set = [&](uint32_t i, Rgb c) {
        palette[i].rgbRed = c.red;
        palette[i].rgbGreen = c.green;
        palette[i].rgbBlue = c.blue;
    };
    for (uint32_t i = 0; i < 10; ++i) set(i, kStd256Head[i]);
    for (uint32_t k = 0; k < 18; ++k) {
        const Rgb hue = kRampHues[k];
        const bool pure = [&] {
            for (uint8_t v : {hue.red, hue.green, hue.blue})
                if (v == 85 || v == 170) return false;
            return true;
        }();
        for (uint32_t e = 0; e < 12; ++e)
            set(10 + 12 * k + e, {RampChannel(hue.red, pure, e), RampChannel(hue.green, pure, e),
                                  RampChannel(hue.blue, pure, e)});
    }
    for (uint32_t g = 0; g < 20; ++g) {
        const auto v = static_cast<uint8_t>(242 - 12 * g);
        set(226 + g, {v, v, v});
    }
    for (uint32_t i = 0; i < 10; ++i) set(246 + i, kStd256Tail[i]);
    return palette;
}

}  // namespace

bool CRaster::SetStdPalette() {
    if (!IsValid()) return false;
    if (GetBpp() == 4) {
        for (uint32_t i = 0; i < 16; ++i)
            SetPaletteIndex(i, kStd16[i].red, kStd16[i].green, kStd16[i].blue, 0);
        return true;
    }
    if (GetBpp() == 8) {
        static const std::array<RGBQUAD, 256> kStd256 = MakeStd256();
        SetPalette(kStd256.data(), 256);
        return true;
    }
    return false;
}
