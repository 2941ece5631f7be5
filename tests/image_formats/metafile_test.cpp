// WMF and EMF files built record by record, rendered, and checked by their pixels.

#ifdef QUILLET_HAVE_METAFILE

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstring>

#include "format_test_util.h"
#include "image/qt/metafile/metafile_player.h"

namespace {

// A placeable WMF: the 22-byte header with key and checksum, the metafile header, records.
class WmfBuilder {
  public:
    WmfBuilder& Add(uint16_t function, std::vector<int16_t> words, const Bytes& raw = {}) {
        Bytes body;
        for (int16_t w : words) Put16(body, static_cast<uint16_t>(w));
        body.insert(body.end(), raw.begin(), raw.end());
        if (body.size() % 2) body.push_back(0);
        Put32(records, static_cast<uint32_t>(3 + body.size() / 2));
        Put16(records, function);
        records.insert(records.end(), body.begin(), body.end());
        return *this;
    }
    WmfBuilder& Color(uint16_t function, uint32_t colorref) {
        return Add(function,
                   {static_cast<int16_t>(colorref & 0xFFFF), static_cast<int16_t>(colorref >> 16)});
    }
    WmfBuilder& Pen(int16_t style, int16_t width, uint32_t colorref) {
        return Add(0x02FA, {style, width, 0, static_cast<int16_t>(colorref & 0xFFFF),
                            static_cast<int16_t>(colorref >> 16)});
    }
    WmfBuilder& Brush(int16_t style, uint32_t colorref) {
        return Add(0x02FC, {style, static_cast<int16_t>(colorref & 0xFFFF),
                            static_cast<int16_t>(colorref >> 16), 0});
    }
    WmfBuilder& Select(int16_t index) { return Add(0x012D, {index}); }
    WmfBuilder& Rectangle(int16_t l, int16_t t, int16_t r, int16_t b) {
        return Add(0x041B, {b, r, t, l});
    }

    Bytes File(int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t inch,
               uint16_t type = 1) const {
        Bytes file;
        const uint16_t words[10] = {0xCDD7,
                                    0x9AC6,
                                    0,
                                    static_cast<uint16_t>(left),
                                    static_cast<uint16_t>(top),
                                    static_cast<uint16_t>(right),
                                    static_cast<uint16_t>(bottom),
                                    inch,
                                    0,
                                    0};
        uint16_t check = 0;
        for (uint16_t w : words) {
            Put16(file, w);
            check ^= w;
        }
        Put16(file, check);
        Put16(file, type);
        Put16(file, 9);
        Put16(file, 0x300);
        Put32(file, static_cast<uint32_t>(9 + records.size() / 2 + 3));
        Put16(file, 16);
        Put32(file, 64);
        Put16(file, 0);
        file.insert(file.end(), records.begin(), records.end());
        Put32(file, 3);
        Put16(file, 0);
        return file;
    }

    Bytes records;
};

// An EMF: header record with bounds and frame for a 96 dpi reference device, then records.
class EmfBuilder {
  public:
    EmfBuilder& Add(uint32_t type, std::vector<int32_t> values, const Bytes& raw = {}) {
        Bytes body;
        for (int32_t v : values) Put32(body, static_cast<uint32_t>(v));
        body.insert(body.end(), raw.begin(), raw.end());
        while (body.size() % 4) body.push_back(0);
        Put32(records, type);
        Put32(records, static_cast<uint32_t>(8 + body.size()));
        records.insert(records.end(), body.begin(), body.end());
        ++count;
        return *this;
    }

    Bytes File(int32_t width, int32_t height) const {
        Bytes file;
        Put32(file, 1);
        Put32(file, 108);
        for (int32_t v : {0, 0, width - 1, height - 1}) Put32(file, static_cast<uint32_t>(v));
        // The frame in hundredths of a millimetre of a 960 x 960 pixel, 254 x 254 mm device.
        for (int32_t v : {0, 0, width * 2646 / 100, height * 2646 / 100})
            Put32(file, static_cast<uint32_t>(v));
        Put32(file, 0x464D4520);
        Put32(file, 0x10000);
        Put32(file, static_cast<uint32_t>(108 + records.size() + 20));
        Put32(file, count + 2);
        Put16(file, 16);
        Put16(file, 0);
        for (int i = 0; i < 3; ++i) Put32(file, 0);
        for (int32_t v : {960, 960, 254, 254}) Put32(file, static_cast<uint32_t>(v));
        while (file.size() < 108) file.push_back(0);
        file.insert(file.end(), records.begin(), records.end());
        for (uint32_t v : {14u, 20u, 0u, 0u, 20u}) Put32(file, v);
        return file;
    }

    Bytes records;
    uint32_t count = 0;
};

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

// A 24-bit DIB of 2 x 2 pixels: bottom row red, green; top row blue, white.
Bytes SmallDib() {
    Bytes dib;
    for (uint32_t v : {40u, 2u, 2u}) Put32(dib, v);
    Put16(dib, 1);
    Put16(dib, 24);
    for (int i = 0; i < 6; ++i) Put32(dib, 0);
    dib.insert(dib.end(), {0, 0, 255, 0, 255, 0, 0, 0});
    dib.insert(dib.end(), {255, 0, 0, 255, 255, 255, 0, 0});
    return dib;
}

int Dpi() {
    return static_cast<int>(std::round(QGuiApplication::primaryScreen()->logicalDotsPerInchX()));
}

// Whether any pixel of the rectangle (from the top) is dark.
bool AnyDark(const CRaster& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const RGBQUAD c =
                image.GetPixelColor(x, static_cast<int32_t>(image.GetHeight()) - 1 - y);
            if (c.rgbRed + c.rgbGreen + c.rgbBlue < 200) return true;
        }
    return false;
}

class MetafileTest : public ::testing::Test {
  protected:
    void SetUp() override { InstallMetafilePlayer(); }
};

}  // namespace

TEST_F(MetafileTest, PlaceableWmfShapesOnWhite) {
    WmfBuilder wmf;
    wmf.Add(0x0103, {8}).Add(0x020B, {0, 0}).Add(0x020C, {50, 100});
    wmf.Pen(0, 1, kBlue).Select(0).Brush(0, kRed).Select(1);
    wmf.Rectangle(10, 10, 40, 30);
    wmf.Brush(0, kGreen).Select(2);
    wmf.Add(0x0418, {48, 98, 32, 60});                                      // ellipse 60,32 - 98,48
    wmf.Pen(5, 0, 0).Select(3);                                             // no outline from here
    wmf.Add(0x0324, {3, 50, 2, 58, 2, 50, 10});                             // triangle
    wmf.Pen(0, 1, 0).Select(4).Add(0x0214, {45, 0}).Add(0x0213, {45, 99});  // line y = 45
    CRaster image;
    ASSERT_TRUE(Decode(image, wmf.File(0, 0, 100, 50, static_cast<uint16_t>(Dpi())), kTypeWmf))
        << image.GetLastError();
    EXPECT_EQ(image.GetWidth(), 100u);
    EXPECT_EQ(image.GetHeight(), 50u);
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_EQ(image.GetType(), kTypeWmf);
    EXPECT_EQ(ColorAt(image, 0, 0), "255,255,255");
    EXPECT_EQ(ColorAt(image, 20, 20), "255,0,0");
    EXPECT_EQ(ColorAt(image, 10, 20), "0,0,255");  // outline on the edge pixels
    EXPECT_EQ(ColorAt(image, 39, 20), "0,0,255");
    EXPECT_EQ(ColorAt(image, 40, 20), "255,255,255");
    EXPECT_EQ(ColorAt(image, 79, 40), "0,255,0");
    EXPECT_EQ(ColorAt(image, 61, 33), "255,255,255");  // outside the ellipse, inside its box
    EXPECT_EQ(ColorAt(image, 52, 5), "0,255,0");
    EXPECT_EQ(ColorAt(image, 20, 45), "0,0,0");
}

TEST_F(MetafileTest, WindowExtentScalesTheDrawing) {
    WmfBuilder wmf;
    wmf.Add(0x020B, {-100, -100}).Add(0x020C, {100, 200});  // window 200 x 100 from (-100, -100)
    wmf.Pen(5, 0, 0).Select(0).Brush(0, kBlue).Select(1);
    wmf.Rectangle(-100, -100, 0, -50);  // the top-left quarter
    CRaster image;
    ASSERT_TRUE(Decode(image, wmf.File(0, 0, 80, 40, static_cast<uint16_t>(Dpi())), kTypeWmf));
    EXPECT_EQ(ColorAt(image, 1, 1), "0,0,255");
    EXPECT_EQ(ColorAt(image, 38, 18), "0,0,255");
    EXPECT_EQ(ColorAt(image, 41, 10), "255,255,255");
    EXPECT_EQ(ColorAt(image, 10, 21), "255,255,255");
}

TEST_F(MetafileTest, ObjectsStatesArcsTextAndBitmaps) {
    WmfBuilder wmf;
    wmf.Add(0x020C, {100, 100});
    wmf.Pen(5, 0, 0).Brush(0, kRed).Brush(0, kGreen);  // slots 0, 1, 2
    wmf.Select(0).Select(1);
    wmf.Add(0x001E, {});              // save: red brush
    wmf.Select(2).Add(0x0127, {-1});  // restore: red again
    wmf.Rectangle(0, 0, 20, 20);
    wmf.Add(0x01F0, {1}).Brush(0, kBlue);  // the freed slot 1 takes the new brush
    wmf.Select(1).Rectangle(20, 0, 40, 20);
    // A pie of the upper right quarter of the circle in 50,0 - 90,40.
    wmf.Add(0x081A, {0, 70, 20, 90, 40, 90, 0, 50});
    // Text in black on a transparent background.
    wmf.Add(0x0102, {1}).Color(0x0209, 0);
    wmf.Add(0x02FB, {-16, 0, 0, 0, 700, 0, 0, 0, 0},
            Bytes{'D', 'e', 'j', 'a', 'V', 'u', ' ', 'S', 'a', 'n', 's', 0});
    wmf.Select(3);
    Bytes text = {'W', 'M'};
    Put16(text, 60);
    Put16(text, 5);
    wmf.Add(0x0521, {2}, text);
    // A 2 x 2 bitmap stretched over 60,60 - 100,100.
    wmf.Add(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 60, 60}, SmallDib());
    wmf.Add(0x0999, {1, 2, 3});  // a record we do not know is skipped
    CRaster image;
    ASSERT_TRUE(Decode(image, wmf.File(0, 0, 100, 100, static_cast<uint16_t>(Dpi())), kTypeWmf))
        << image.GetLastError();
    EXPECT_EQ(ColorAt(image, 10, 10), "255,0,0");
    EXPECT_EQ(ColorAt(image, 30, 10), "0,0,255");
    EXPECT_EQ(ColorAt(image, 80, 10), "0,0,255");      // inside the pie
    EXPECT_EQ(ColorAt(image, 60, 30), "255,255,255");  // the rest of the circle
    EXPECT_TRUE(AnyDark(image, 5, 60, 40, 80));
    EXPECT_FALSE(AnyDark(image, 5, 82, 40, 99));
    EXPECT_EQ(ColorAt(image, 70, 90), "255,0,0");  // bottom left of the bitmap
    EXPECT_EQ(ColorAt(image, 90, 90), "0,255,0");
    EXPECT_EQ(ColorAt(image, 70, 70), "0,0,255");
    EXPECT_EQ(ColorAt(image, 90, 70), "255,255,255");
}

TEST_F(MetafileTest, SizeRules) {
    WmfBuilder wmf;
    CRaster image;
    // 2 x 1 inches at the screen's resolution
    ASSERT_TRUE(Decode(image, wmf.File(0, 0, 2880, 1440, 1440), kTypeWmf));
    EXPECT_EQ(image.GetWidth(), 2u * Dpi());
    EXPECT_EQ(image.GetHeight(), 1u * Dpi());
    // Larger than 4000 pixels: scaled down to 4000 on the longer side.
    ASSERT_TRUE(Decode(image, wmf.File(0, 0, 30000, 3000, static_cast<uint16_t>(Dpi())), kTypeWmf));
    EXPECT_EQ(image.GetWidth(), 4000u);
    EXPECT_EQ(image.GetHeight(), 400u);
}

TEST_F(MetafileTest, BadWmfFilesFailWithTheirMessages) {
    WmfBuilder wmf;
    wmf.Rectangle(0, 0, 5, 5);
    const Bytes good = wmf.File(0, 0, 10, 10, 96);
    CRaster image;
    ASSERT_TRUE(Decode(image, good, kTypeWmf));
    uint8_t nothing = 0;
    EXPECT_FALSE(image.Decode(&nothing, 0, kTypeWmf));
    EXPECT_STREQ(image.GetLastError(), "empty WMF");
    Bytes b = good;
    b[20] ^= 1;  // checksum
    EXPECT_FALSE(Decode(image, b, kTypeWmf));
    EXPECT_STREQ(image.GetLastError(), "corrupted WMF");
    EXPECT_FALSE(Decode(image, wmf.File(0, 0, 10, 10, 0), kTypeWmf));
    EXPECT_FALSE(Decode(image, wmf.File(0, 0, 10, 10, 2541), kTypeWmf));
    EXPECT_FALSE(Decode(image, wmf.File(0, 0, 10, 10, 96, 3), kTypeWmf));
    b = good;
    b[22 + 18] = 0xFF;  // the first record's size points far past the file
    b[22 + 19] = 0x7F;
    EXPECT_FALSE(Decode(image, b, kTypeWmf));
    EXPECT_STREQ(image.GetLastError(), "corrupted WMF");
    CRaster fresh;
    EXPECT_FALSE(Decode(fresh, {'n', 'o', 't', ' ', 'a', ' ', 'm', 'e', 't', 'a'}, kTypeWmf));
    EXPECT_STREQ(fresh.GetLastError(), "corrupted WMF");
    EXPECT_FALSE(fresh.IsValid());

    CRaster cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(Decode(cancelled, good, kTypeWmf));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");

    CRaster picture(4, 4, 24);
    EXPECT_TRUE(Written(picture, kTypeWmf).empty());
    EXPECT_STREQ(picture.GetLastError(), "Save WMF not supported");
}

TEST_F(MetafileTest, EnhancedMetafileRecords) {
    EmfBuilder emf;
    emf.Add(38, {1, 5, 0, 0, static_cast<int32_t>(kRed)});  // null pen
    emf.Add(39, {2, 0, static_cast<int32_t>(kBlue), 0});    // blue brush
    emf.Add(37, {1}).Add(37, {2});
    emf.Add(43, {0, 0, 20, 20});                      // rectangle
    emf.Add(37, {static_cast<int32_t>(0x80000004)});  // stock black brush
    emf.Add(86, {0, 0, 0, 0, 3}, [] {                 // triangle of 16-bit points
        Bytes b;
        for (int16_t v : {30, 0, 59, 0, 59, 29}) Put16(b, static_cast<uint16_t>(v));
        return b;
    }());
    // Mapping: logical 0..10 onto device 0..40 for the next shape.
    emf.Add(17, {8}).Add(9, {10, 10}).Add(11, {40, 40});
    emf.Add(39, {3, 0, static_cast<int32_t>(kGreen), 0}).Add(37, {3});
    emf.Add(42, {0, 5, 5, 10});  // ellipse at device 0,20 - 20,40
    emf.Add(17, {1});
    // A 2 x 2 bitmap stretched over 40,30 - 60,40.
    const Bytes dib = SmallDib();
    Bytes bits(dib.begin() + 40, dib.end());
    Bytes info(dib.begin(), dib.begin() + 40);
    Bytes payload = info;
    payload.insert(payload.end(), bits.begin(), bits.end());
    emf.Add(81, {0, 0, 0, 0, 40, 30, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0xCC0020, 20, 10}, payload);
    CRaster image;
    ASSERT_TRUE(Decode(image, emf.File(60, 40), kTypeWmf)) << image.GetLastError();
    EXPECT_EQ(image.GetWidth(), 60u);
    EXPECT_EQ(image.GetHeight(), 40u);
    EXPECT_EQ(ColorAt(image, 10, 10), "0,0,255");
    EXPECT_EQ(ColorAt(image, 25, 10), "255,255,255");
    EXPECT_EQ(ColorAt(image, 55, 5), "0,0,0");
    EXPECT_EQ(ColorAt(image, 35, 20), "255,255,255");
    EXPECT_EQ(ColorAt(image, 10, 30), "0,255,0");
    EXPECT_EQ(ColorAt(image, 44, 37), "255,0,0");
    EXPECT_EQ(ColorAt(image, 56, 37), "0,255,0");
    EXPECT_EQ(ColorAt(image, 44, 32), "0,0,255");
}

TEST_F(MetafileTest, EnhancedMetafileText) {
    EmfBuilder emf;
    Bytes font;
    for (int32_t v : {-20, 0, 0, 0, 400}) Put32(font, static_cast<uint32_t>(v));
    font.insert(font.end(), 8, 0);
    for (char c : std::string("DejaVu Sans")) Put16(font, static_cast<uint16_t>(c));
    font.resize(92 - 4, 0);
    emf.Add(82, {1}, font).Add(37, {1});
    emf.Add(18, {1}).Add(24, {0});
    Bytes text;
    for (int32_t v : {5, 10, 3, 76, 0, 0, 0, 0, 0, 0}) Put32(text, static_cast<uint32_t>(v));
    for (char c : std::string("Emf")) Put16(text, static_cast<uint16_t>(c));
    emf.Add(84, {0, 0, 0, 0, 1, 0x3F800000, 0x3F800000}, text);
    CRaster image;
    ASSERT_TRUE(Decode(image, emf.File(60, 40), kTypeWmf)) << image.GetLastError();
    EXPECT_TRUE(AnyDark(image, 5, 10, 50, 32));
    EXPECT_FALSE(AnyDark(image, 0, 34, 60, 40));
}

#endif  // QUILLET_HAVE_METAFILE
