#include "image/qt/raster_qt.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include "test_images.h"

namespace {

QRgb At(const CRaster& image, int x, int topDownY) {
    const RGBQUAD c = image.GetPixelColor(x, static_cast<int>(image.GetHeight()) - 1 - topDownY);
    return qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

QImage Canvas(int width, int height, QRgb fill = qRgb(100, 100, 100)) {
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(fill);
    return canvas;
}

}  // namespace

TEST(RasterBitmaps, MakeBitmapShowsTheTopRowFirst) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        const CRaster image = MakePattern(7, 5, bpp);
        const QImage bitmap = MakeBitmap(image);
        ASSERT_EQ(bitmap.format(), QImage::Format_RGB32);
        ASSERT_EQ(bitmap.size(), QSize(7, 5));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) ASSERT_EQ(bitmap.pixel(x, y), At(image, x, y)) << bpp;
    }
    EXPECT_TRUE(MakeBitmap(CRaster()).isNull());
}

TEST(RasterBitmaps, ScreenImagesBecome24BitsAndIndexedKeepTheirDepth) {
    QImage screen(6, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) screen.setPixel(x, y, qRgb(x * 40, y * 60, 7));
    CRaster image(kTypePng);
    ASSERT_TRUE(CreateFromHBITMAP(image, screen));
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_EQ(image.GetType(), kTypePng);
    EXPECT_EQ(At(image, 5, 0), qRgb(200, 0, 7));
    EXPECT_EQ(MakeBitmap(image), screen);

    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    indexed.fill(0);
    indexed.setPixel(2, 0, 1);
    ASSERT_TRUE(CreateFromHBITMAP(image, indexed));
    EXPECT_EQ(image.GetBpp(), 8u);
    EXPECT_EQ(image.GetPixelIndex(2, 1), 1);
    EXPECT_EQ(image.GetPaletteColor(1).rgbGreen, 5);

    QImage mono(10, 1, QImage::Format_MonoLSB);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(9, 0, 1);
    ASSERT_TRUE(CreateFromHBITMAP(image, mono));
    EXPECT_EQ(image.GetBpp(), 1u);
    EXPECT_EQ(image.GetPixelIndex(9, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(8, 0), 0);

    EXPECT_FALSE(CreateFromHBITMAP(image, QImage()));
    EXPECT_FALSE(image.IsValid());
}

TEST(RasterClipboard, PayloadRoundTripAndQtsOwnBmp) {
    const CRaster image = MakePattern(9, 4, 4);
    const QByteArray payload = CopyToClipboardBmp(image);
    ASSERT_EQ(payload.size(), static_cast<qsizetype>(image.GetSize() + 14));
    CRaster back;
    ASSERT_TRUE(CreateFromClipboardBmp(back, payload));
    EXPECT_EQ(std::memcmp(back.GetDIB(), image.GetDIB(), image.GetSize()), 0);

    // A 32-bit picture written by Qt's own BMP writer arrives as 24 bits.
    QImage argb(5, 3, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 255));
    argb.setPixel(4, 2, qRgba(200, 100, 50, 255));
    QByteArray qtBmp;
    QBuffer buffer(&qtBmp);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(argb.save(&buffer, "BMP"));
    ASSERT_TRUE(CreateFromClipboardBmp(back, qtBmp)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_EQ(At(back, 4, 2), qRgb(200, 100, 50));
    EXPECT_EQ(At(back, 0, 0), qRgb(10, 20, 30));

    EXPECT_FALSE(CreateFromClipboardBmp(back, qtBmp.left(30)));
    EXPECT_EQ(back.GetBpp(), 24u);
}

TEST(RasterDraw, UnscaledOpaqueCopiesThePixels) {
    const CRaster image = MakePattern(5, 4, 8);
    QImage canvas = Canvas(20, 20);
    EXPECT_EQ(Draw(image, canvas, 3, 2), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(canvas.pixel(3 + x, 2 + y), At(image, x, y));
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(8, 2), qRgb(100, 100, 100));
}

TEST(RasterDraw, ClipsToTheTargetAndTheClipRectangle) {
    const CRaster image = MakePattern(6, 6, 24);
    QImage canvas = Canvas(4, 4);
    EXPECT_EQ(Draw(image, canvas, -2, -1), 1);  // partly outside: only the inside is drawn
    EXPECT_EQ(canvas.pixel(0, 0), At(image, 2, 1));
    EXPECT_EQ(canvas.pixel(3, 3), At(image, 5, 4));

    canvas = Canvas(10, 10);
    const QRect clip(2, 2, 2, 2);
    EXPECT_EQ(Draw(image, canvas, 0, 0, -1, -1, &clip), 1);
    EXPECT_EQ(canvas.pixel(2, 2), At(image, 2, 2));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(4, 4), qRgb(100, 100, 100));
}

TEST(RasterDraw, NothingToDraw) {
    QImage canvas = Canvas(4, 4);
    CRaster image = MakePattern(2, 2, 24);
    EXPECT_EQ(Draw(CRaster(), canvas, 0, 0), 0);
    EXPECT_EQ(Draw(image, canvas, 0, 0, 0, 5), 0);
    QImage none;
    EXPECT_EQ(Draw(image, none, 0, 0), 0);
    image.Enable(false);
    EXPECT_EQ(Draw(image, canvas, 0, 0), 0);
    EXPECT_EQ(Draw2(image, canvas, 0, 0), 0);
    EXPECT_EQ(Stretch(image, canvas, 0, 0, 4, 4), 1);  // stretching ignores the flag
    EXPECT_EQ(canvas.pixel(0, 0), At(image, 0, 0));
}

TEST(RasterDraw, AlphaBlendsWithTheProgramsArithmetic) {
    CRaster image(2, 1, 24);
    image.SetPixelColor(0, 0, RGB(200, 0, 255));
    image.SetPixelColor(1, 0, RGB(200, 0, 255));
    ASSERT_TRUE(image.AlphaCreate());  // all zero: fully transparent
    QImage canvas = Canvas(2, 1);
    EXPECT_EQ(Draw(image, canvas, 0, 0), 1);
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(100, 100, 100));

    image.AlphaSet(0, 0, 128);
    image.AlphaSet(1, 0, 255);
    Draw(image, canvas, 0, 0);
    // a = 128 * 256 >> 8 = 128; (200 * 128 + 100 * 127) >> 8 = 149
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(149, 49, 177));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(200, 0, 255));

    image.SetAlphaMax(127);  // a = 255 * 128 >> 8 = 127
    canvas = Canvas(2, 1);
    Draw(image, canvas, 0, 0);
    EXPECT_EQ(canvas.pixel(1, 0),
              qRgb((200 * 127 + 100 * 128) >> 8, (100 * 128) >> 8, (255 * 127 + 100 * 128) >> 8));
}

TEST(RasterDraw, TransparentColourIsSkipped) {
    CRaster image(3, 1, 8);
    image.SetPaletteIndex(1, 255, 0, 0);
    image.SetPaletteIndex(2, 0, 255, 0);
    image.SetPixelIndex(1, 0, 1);
    image.SetPixelIndex(2, 0, 2);
    image.SetTransIndex(1);
    QImage canvas = Canvas(3, 1);
    Draw(image, canvas, 0, 0);
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(2, 0), qRgb(0, 255, 0));

    canvas = Canvas(6, 2);
    Draw2(image, canvas, 0, 0, 6, 2);
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(3, 1), qRgb(100, 100, 100));
    EXPECT_EQ(canvas.pixel(5, 0), qRgb(0, 255, 0));
    Stretch(image, canvas, 0, 0, 6, 2);
    EXPECT_EQ(canvas.pixel(2, 1), qRgb(255, 0, 0));
}

TEST(RasterDraw, ScaledNearestNeighbour) {
    const CRaster image = MakePattern(3, 2, 24);
    QImage canvas = Canvas(6, 4);
    EXPECT_EQ(Draw(image, canvas, 0, 0, 6, 4), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) ASSERT_EQ(canvas.pixel(x, y), At(image, x / 2, y / 2));

    // Halving takes every other column; rows from each device row's lower edge.
    const CRaster big = MakePattern(4, 4, 24);
    canvas = Canvas(2, 2);
    Draw(big, canvas, 0, 0, 2, 2);
    EXPECT_EQ(canvas.pixel(0, 0), At(big, 0, 1));
    EXPECT_EQ(canvas.pixel(1, 1), At(big, 2, 3));
}

TEST(RasterDraw, ThroughAPainter) {
    CRaster image = MakePattern(4, 3, 24);
    QImage canvas = Canvas(8, 8);
    {
        QPainter painter(&canvas);
        EXPECT_EQ(Draw(image, painter, 2, 2), 1);
        EXPECT_EQ(Stretch(image, painter, 0, 5, 8, 3), 1);
    }
    EXPECT_EQ(canvas.pixel(2, 2), At(image, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 4), At(image, 3, 2));
    EXPECT_EQ(canvas.pixel(7, 7), At(image, 3, 2));

    image.AlphaCreate();  // fully transparent: the painter leaves the canvas alone
    canvas = Canvas(8, 8);
    {
        QPainter painter(&canvas);
        Draw(image, painter, 0, 0);
    }
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(100, 100, 100));

    QPainter idle;
    EXPECT_EQ(Draw(image, idle, 0, 0), 0);
}

TEST(RasterDraw, OtherTargetFormatsGoThroughAPainter) {
    const CRaster image = MakePattern(2, 2, 24);
    QImage canvas(4, 4, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    EXPECT_EQ(Draw(image, canvas, 1, 1), 1);
    EXPECT_EQ(canvas.pixel(1, 1), At(image, 0, 0));
}
