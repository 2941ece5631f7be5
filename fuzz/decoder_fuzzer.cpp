// One image decoder under libFuzzer: the input is decoded as the target's format (every frame of
// interest for multi-frame files), and what decodes is written back out and read again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/raster.h"

#if defined(FUZZ_FORMAT_wmf) || defined(FUZZ_FORMAT_emf)
#include <QGuiApplication>

#include "image/qt/metafile/metafile_player.h"
#define FUZZ_METAFILE 1
#endif

namespace {

#if defined(FUZZ_FORMAT_bmp)
constexpr uint32_t kType = kTypeBmp;
#elif defined(FUZZ_FORMAT_gif)
constexpr uint32_t kType = kTypeGif;
#elif defined(FUZZ_FORMAT_jpeg)
constexpr uint32_t kType = kTypeJpeg;
#elif defined(FUZZ_FORMAT_png)
constexpr uint32_t kType = kTypePng;
#elif defined(FUZZ_FORMAT_ico)
constexpr uint32_t kType = kTypeIco;
#elif defined(FUZZ_FORMAT_tiff)
constexpr uint32_t kType = kTypeTiff;
#elif defined(FUZZ_FORMAT_tga)
constexpr uint32_t kType = kTypeTga;
#elif defined(FUZZ_FORMAT_pcx)
constexpr uint32_t kType = kTypePcx;
#elif defined(FUZZ_FORMAT_wbmp)
constexpr uint32_t kType = kTypeWbmp;
#else
constexpr uint32_t kType = kTypeWmf;
#endif

// Reads the first and last byte of up to a thousand rows spread over the image (the last row
// among them) and the alpha corners, so that a block or plane shorter than the image shows up
// under the sanitizer.
uint32_t Touch(const CRaster& image) {
    uint32_t sum = 0;
    const uint32_t last = image.GetEffWidth() - 1, height = image.GetHeight();
    const uint32_t step = height / 1000 + 1;
    for (uint32_t y = 0; y < height; y += step) sum += image.GetBits(y)[0] + image.GetBits(y)[last];
    sum += image.GetBits(height - 1)[last];
    if (image.AlphaIsValid())
        sum += image.AlphaGet(0, 0) + image.AlphaGet(static_cast<int32_t>(image.GetWidth() - 1),
                                                     static_cast<int32_t>(height - 1));
    return sum;
}

// Decodes one frame and gives the frame count the file reported.
int32_t Decode(std::vector<uint8_t>& bytes, int32_t frame) {
    CRaster image(kType);
    image.SetFrame(frame);
    if (!image.Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), kType))
        return image.GetFrameCount();
    volatile uint32_t sink = Touch(image);
    (void)sink;
    // Writing back is exercised on pictures of a sensible size, which keeps the runs quick.
    if (kType == kTypeWmf || uint64_t{image.GetWidth()} * image.GetHeight() > (1u << 16))
        return image.GetFrameCount();
    uint8_t* encoded = nullptr;
    int32_t size = 0;
    if (image.Encode(encoded, size, kType)) {
        CRaster again(kType);
        again.Decode(encoded, static_cast<uint32_t>(size), kType);
        std::free(encoded);
    }
    return image.GetFrameCount();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#ifdef FUZZ_METAFILE
    static int argc = 3;
    static char arg0[] = "fuzz", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    new QGuiApplication(argc, argv);
    InstallMetafilePlayer();
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    const int32_t frames = Decode(bytes, 0);
    // Later frames compose the earlier ones (GIF) or pick other entries (ICO, TIFF).
    if (frames > 1 && (kType == kTypeGif || kType == kTypeIco || kType == kTypeTiff))
        Decode(bytes, frames - 1 < 64 ? frames - 1 : 63);
    return 0;
}
