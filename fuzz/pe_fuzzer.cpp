// The reader of icons in executables and libraries under libFuzzer: every icon's two pictures
// are made and read.

#include <cstddef>
#include <cstdint>

#include "platform/icon_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (const platform::IconPictures& icon : platform::ExtractIcons(data, size)) {
        sum += icon.large.pixel(31, 31) + icon.small.pixel(15, 15);
    }
    volatile uint32_t sink = sum;
    (void)sink;
    return 0;
}
