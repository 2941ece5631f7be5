// The GIF and PCX writers' bytes stay what they were when these checksums were taken: speed work
// on the LZW and run-length coders must not change a single byte.

#include <zlib.h>

#include <random>

#include "format_test_util.h"

namespace {

// Runs of random length and value, noise in between: long and short runs, many LZW table clears.
CRaster Mixed(uint32_t width, uint32_t height, uint32_t bpp, uint32_t seed) {
    CRaster image(width, height, bpp);
    std::mt19937 random(seed);
    for (uint32_t i = 0; i < image.GetNumColors(); ++i)
        image.SetPaletteIndex(i, uint8_t(random()), uint8_t(random()), uint8_t(random()));
    const uint32_t bytes = image.GetEffWidth() * height;
    uint8_t* bits = image.GetBits();
    for (uint32_t i = 0; i < bytes;) {
        const uint32_t run = random() % 4 == 0 ? 1 + random() % 90 : 1;
        const uint8_t value = uint8_t(random() % 3 == 0 ? random() : random() % 5);
        for (uint32_t j = 0; j < run && i < bytes; ++j) bits[i++] = value;
    }
    return image;
}

uint32_t Checksum(const Bytes& bytes) {
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

}  // namespace

TEST(WrittenBytes, GifAndPcxAsBefore) {
    CRaster keyed = Mixed(90, 47, 24, 5);
    keyed.SetTransIndex(0);
    keyed.SetBackgroundColor(Rgb(1, 2, 3));
    CRaster transparent8 = Mixed(64, 64, 8, 6);
    transparent8.SetTransIndex(3);
    const struct {
        CRaster image;
        uint32_t type;
        uint32_t checksum;
    } cases[] = {
        {Mixed(320, 240, 8, 1), kTypeGif, 1039739261u},
        {Mixed(201, 150, 4, 2), kTypeGif, 458613956u},
        {Mixed(333, 111, 1, 3), kTypeGif, 1683573107u},
        {Mixed(70, 45, 24, 4), kTypeGif, 3620633978u},
        {keyed, kTypeGif, 2348975276u},
        {transparent8, kTypeGif, 862199350u},
        {Mixed(301, 97, 24, 7), kTypePcx, 4095407842u},
        {Mixed(300, 200, 8, 8), kTypePcx, 2423987843u},
        {Mixed(123, 77, 4, 9), kTypePcx, 3587784987u},
        {Mixed(250, 60, 1, 10), kTypePcx, 684051078u},
        {Mixed(1000, 800, 24, 13), kTypePcx, 46342445u},  // several bands of rows
    };
    int n = 0;
    for (const auto& c : cases) {
        CRaster image(c.image);
        EXPECT_EQ(Checksum(Written(image, c.type)), c.checksum) << "case " << n;
        ++n;
    }
    CRaster a = Mixed(40, 30, 8, 11), b = Mixed(40, 30, 8, 12);
    CRaster* frames[] = {&a, &b};
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(CRaster().Encode(file, frames, 2, kTypeGif));
    Bytes bytes(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
    EXPECT_EQ(Checksum(bytes), 4190885764u);
}
