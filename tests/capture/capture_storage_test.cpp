#include "app/quillet_app.h"
#include "capture/bitmap_helpers.h"
#include "capture/capture_record.h"
#include "capture/naming.h"
#include "image/qt/raster_qt.h"
#include "platform/fixed_path.h"
#include "platform/message_box.h"
#include "platform/screen_grab.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QDir>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <climits>

namespace {

// A fresh folder layout in the application object, and a record of the messages shown.
struct CaptureFixture : ::testing::Test {
    void SetUp() override {
        CQuilletApp* app = App();
        const std::string base = home.path().toStdString() + "/";
        app->baseFolder = base;
        app->cacheFolder = base + "cache/";
        app->cacheThumbnailsFolder = base + "cache/thumbnails/";
        QDir().mkpath(home.File("cache/thumbnails"));
        app->captureCounter = 0;
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
    }
    void TearDown() override { platform::SetMessageBoxRecorder(nullptr); }

    QImage Pattern(int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb(x * 7 % 256, y * 5 % 256, (x ^ y) & 255));
        return image;
    }

    TempFolder home;
    std::vector<std::string> messages;
};

// A window showing a known pattern at a known place on the screen.
class PatternWindow : public QWidget {
  public:
    explicit PatternWindow(QImage pattern)
        : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint),
          pattern_(std::move(pattern)) {
        setGeometry(200, 150, pattern_.width(), pattern_.height());
    }
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, pattern_); }

  private:
    QImage pattern_;
};

TEST_F(CaptureFixture, GrabReadsTheScreenPixelsAndClipsToTheScreen) {
    const QImage pattern = Pattern(64, 48);
    PatternWindow window(pattern);
    window.show();
    ASSERT_TRUE(testx11::PumpUntil([&] {
        return platform::GrabScreenArea({200, 150, 64, 48}) == pattern;
    }));
    const QRect screen = platform::ScreenRect();
    EXPECT_EQ(platform::GrabScreenArea({screen.width() - 10, 0, 50, 20}).size(), QSize(10, 20));
    EXPECT_TRUE(platform::GrabScreenArea({-100, -100, 50, 50}).isNull());
    EXPECT_EQ(platform::GrabWholeScreen().size(), screen.size());
}

TEST_F(CaptureFixture, ScreenCapturesAreNumberedAndWritten) {
    const QImage screen = Pattern(1024, 768);
    for (int n = 0; n < 2; ++n) {
        const naming::CaptureNames names = naming::NextScreenCapture();
        EXPECT_EQ(names.image, home.File(QString("cache/IT-%1.bmp").arg(n)).toStdString());
        EXPECT_EQ(App()->currentThumbnailPath,
                  home.File(QString("cache/thumbnails/TT-%1.bmp").arg(n)).toStdString());
        CCaptureRecord record(80, 60);
        EXPECT_EQ(record.FromBitmap(screen, names.image), 1);
        EXPECT_EQ(record.MakeThumbnail(screen, 1024, 768, names.thumbnail), 1);
        EXPECT_EQ(record.FileName(), QString("IT-%1.bmp").arg(n).toStdString());
        EXPECT_EQ(record.size, 40 + 1024 * 3 * 768);
        EXPECT_EQ(record.timeText.size(), 8u);
        EXPECT_EQ(record.dateText.size(), 8u);
        EXPECT_EQ(QSize(record.thumbWidth, record.thumbHeight), QSize(80, 60));

        CRaster stored;
        ASSERT_TRUE(stored.Load(names.image.c_str(), kTypeBmp));
        EXPECT_EQ(MakeBitmap(stored), screen);
        ASSERT_TRUE(stored.Load(names.thumbnail.c_str(), kTypeBmp));
        EXPECT_EQ(QSize(stored.GetWidth(), stored.GetHeight()), QSize(80, 60));
    }
    EXPECT_EQ(App()->captureCounter, 2);
}

TEST(ThumbnailSize, FitsTheBoxKeepingTheAspectRatio) {
    int w = 0, h = 0;
    CCaptureRecord::ThumbnailSize(1024, 768, 80, 60, w, h);
    EXPECT_EQ(QSize(w, h), QSize(80, 60));
    CCaptureRecord::ThumbnailSize(1000, 200, 80, 60, w, h);
    EXPECT_EQ(QSize(w, h), QSize(80, 16));
    CCaptureRecord::ThumbnailSize(100, 400, 80, 60, w, h);
    EXPECT_EQ(QSize(w, h), QSize(15, 60));
    CCaptureRecord::ThumbnailSize(5000, 1, 80, 60, w, h);
    EXPECT_EQ(QSize(w, h), QSize(80, 1)) << "never thinner than a pixel";
}

TEST_F(CaptureFixture, DroppedFilesAreCopiedUnderTheirOwnExtension) {
    CRaster photo(32, 24, 24);
    ASSERT_TRUE(photo.Save(home.File("Photo.JPEG").toLocal8Bit().constData(), kTypeJpeg));

    CCaptureRecord record(80, 60);
    ASSERT_EQ(record.FromFile(home.File("Photo.JPEG").toStdString()), 1);
    EXPECT_EQ(record.cachePath, home.File("cache/Image-0.jpeg").toStdString());
    EXPECT_TRUE(home.Exists("cache/Image-0.jpeg"));
    EXPECT_EQ(record.Image()->GetType(), uint32_t(kTypeJpeg));
    EXPECT_EQ(record.importedFlag, 1);
    EXPECT_EQ(App()->captureCounter, 1);

    home.Write("notes.txt", "text");
    home.Write("README", "text");
    CCaptureRecord text(80, 60), bare(80, 60);
    EXPECT_EQ(text.FromFile(home.File("notes.txt").toStdString()), 0);
    EXPECT_EQ(bare.FromFile(home.File("README").toStdString()), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(App()->captureCounter, 1);
}

TEST_F(CaptureFixture, DamagedImageFileShowsTheImageErrorAndKeepsNothing) {
    home.Write("broken.png", "not a png at all");
    CCaptureRecord record(80, 60);
    EXPECT_EQ(record.FromFile(home.File("broken.png").toStdString()), 0);
    EXPECT_EQ(record.Image(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].empty());

    CCaptureRecord typed(80, 60);
    EXPECT_EQ(typed.FromTypedFile(home.File("missing.bmp").toStdString(), kTypeBmp), 0);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(CaptureFixture, TypedFilesAndClipboardBlocksBecomeBitmapCaptures) {
    CRaster picture(20, 10, 8);
    picture.SetGrayPalette();
    ASSERT_TRUE(picture.Save(home.File("page.tif").toLocal8Bit().constData(), kTypeTiff));
    CCaptureRecord typed(80, 60);
    ASSERT_EQ(typed.FromTypedFile(home.File("page.tif").toStdString(), kTypeTiff), 1);
    EXPECT_EQ(typed.cachePath, home.File("cache/IT-0.bmp").toStdString());
    EXPECT_TRUE(home.Exists("cache/IT-0.bmp"));

    const std::vector<uint8_t> block = picture.CopyToHandle();
    CCaptureRecord pasted(80, 60);
    ASSERT_EQ(pasted.FromClipboardDib(block.data(), block.size()), 1);
    EXPECT_EQ(pasted.cachePath, home.File("cache/IT-1.bmp").toStdString());
    CCaptureRecord damaged(80, 60);
    EXPECT_EQ(damaged.FromClipboardDib(block.data(), 20), 0);
}

TEST(Naming, WorkspaceNamesFollowTheAutoSaveRules) {
    SettingsRecord settings;
    settings.autoSave = 1;
    settings.startingNumber = 5;
    auto paths = naming::MakeWorkspacePaths(settings, "/s/", "/s/thumbnails/", 3, ".png", false);
    EXPECT_EQ(paths.imagePath, "/s/IMG5.png");
    EXPECT_EQ(paths.thumbnailPath, "/s/thumbnails/T-IMG5.jpg");
    EXPECT_EQ(paths.htmlPath, "/s/Image-5.htm");
    EXPECT_EQ(settings.startingNumber, 6);
    paths = naming::MakeWorkspacePaths(settings, "/s/", "/s/thumbnails/", 3, "", true);
    EXPECT_EQ(paths.imagePath, "/s/IMG6.ico");

    settings.autoSave = 0;
    paths = naming::MakeWorkspacePaths(settings, "/s/", "/s/thumbnails/", 3, "", false);
    EXPECT_EQ(paths.imagePath, "/s/Image-3.bmp");
    EXPECT_EQ(paths.thumbnailPath, "/s/thumbnails/Thumbnail-3.jpg");
    EXPECT_EQ(paths.htmlPath, "/s/Image-3.htm");
    EXPECT_EQ(settings.startingNumber, 7);
    paths = naming::MakeWorkspacePaths(settings, "/s/", "/t/", 2, ".abcdefghijklmnop", false);
    EXPECT_EQ(paths.imagePath, "/s/Image-2.abcdefghij") << "the extension keeps 11 characters";
}

// Start-up refuses longer working folders, so no name is ever cut by its buffer.
TEST(Naming, LongestNamesFitUnderTheLongestWorkingFolder) {
    SettingsRecord settings;
    settings.autoSave = 1;
    settings.startingNumber = INT_MIN;
    const std::string prefix(31, 'P');
    SetTextField(settings.filePrefix, prefix);
    const std::string base(platform::kMaxBaseFolderLength, 'f');
    const std::string session = base + "/bin/session-2147483648/";
    const auto paths = naming::MakeWorkspacePaths(settings, session, session + "thumbnails/", 0,
                                                  ".abcdefghij", false);
    EXPECT_EQ(paths.thumbnailPath, session + "thumbnails/T-" + prefix + "-2147483648.jpg");
    EXPECT_EQ(paths.imagePath, session + prefix + "-2147483648.abcdefghij");
}

TEST(BitmapHelpers, RegionCutsTheNearBlackPixelsOnly) {
    QImage skin(40, 30, QImage::Format_RGB32);
    skin.fill(qRgb(120, 130, 140));
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5 - i; ++j) {
            skin.setPixel(i, j, qRgb(0, 0, 0));
            skin.setPixel(39 - i, 29 - j, qRgb(16, 16, 16));
        }
    }
    skin.setPixel(20, 0, qRgb(17, 0, 0));
    skin.setPixel(21, 0, qRgb(0, 0, 16));
    const QRegion region = BitmapToRegion(skin);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(39, 29)));
    EXPECT_TRUE(region.contains(QPoint(20, 0)));
    EXPECT_FALSE(region.contains(QPoint(21, 0)));
    EXPECT_TRUE(region.contains(QPoint(20, 15)));
    EXPECT_EQ(region.boundingRect(), QRect(0, 0, 40, 30));

    QImage plain(248, 170, QImage::Format_RGB32);
    plain.fill(qRgb(60, 17, 90));
    EXPECT_EQ(BitmapToRegion(plain), QRegion(0, 0, 248, 170));
    EXPECT_TRUE(BitmapToRegion(QImage()).isEmpty());
}

TEST(BitmapHelpers, RegionOfAnotherKeyColourComparesRedWithTheFirstByte) {
    QImage bitmap(2, 1, QImage::Format_RGB32);
    bitmap.setPixel(0, 0, qRgb(100, 50, 200));  // inside the box only when red and blue swap
    bitmap.setPixel(1, 0, qRgb(200, 50, 100));
    const QRegion region = BitmapToRegion(bitmap, qRgb(200, 50, 100));
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_TRUE(region.contains(QPoint(1, 0)));
}

TEST(BitmapHelpers, ResizeAveragesAreas) {
    QImage source(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) source.setPixel(x, y, qRgb(x * 40, y * 40, (x + y) * 10));
    const QImage half = ResizeBitmap(source, 2, 2);
    ASSERT_EQ(half.size(), QSize(2, 2));
    EXPECT_EQ(half.pixel(0, 0), qRgb(20, 20, 10));
    EXPECT_EQ(half.pixel(1, 1), qRgb(100, 100, 50));

    QImage flat(7, 5, QImage::Format_RGB32);
    flat.fill(qRgb(255, 3, 128));
    const QImage reduced = ResizeBitmap(flat, 3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(reduced.pixel(x, y), qRgb(255, 3, 128));
    EXPECT_TRUE(ResizeBitmap(flat, 0, 2).isNull());
}

TEST(BitmapHelpers, PackedBlocksRoundTripAndWriteBitmapFiles) {
    TempFolder home;
    QImage screen(33, 7, QImage::Format_RGB32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 33; ++x) screen.setPixel(x, y, qRgb(x * 7, y * 30, 99));
    const std::vector<uint8_t> dib = BitmapToDib(screen);
    ASSERT_EQ(dib.size(), 40u + 33 * 4 * 7);
    EXPECT_EQ(dib[14], 32);
    EXPECT_TRUE(BitmapToDib(screen, kCompressionBitFields).empty());
    EXPECT_EQ(DibToBitmap(dib), screen);

    const std::string path = home.File("shot.bmp").toStdString();
    ASSERT_TRUE(WriteDibFile(path, dib));
    const QByteArray file = home.Read("shot.bmp");
    EXPECT_EQ(file.left(2), QByteArray("BM"));
    EXPECT_EQ(file.size(), int(dib.size()) + 14);
    EXPECT_EQ(uint8_t(file[10]), 54);
    CRaster stored;
    ASSERT_TRUE(stored.Load(path.c_str(), kTypeBmp));
    EXPECT_EQ(MakeBitmap(stored), screen);
    EXPECT_FALSE(WriteDibFile(home.File("no/such/folder.bmp").toStdString(), dib));
    EXPECT_FALSE(WriteDibFile(path, {}));

    QImage mono(9, 3, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    const std::vector<uint8_t> monoDib = BitmapToDib(mono);
    EXPECT_EQ(monoDib.size(), 40u + 8 + 4 * 3);
    EXPECT_EQ(DibToBitmap(monoDib).pixel(8, 2), qRgb(255, 255, 255));
}

}  // namespace
