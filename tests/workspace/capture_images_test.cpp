// The captures' pictures live in their cache files: only the current one stays in memory.
#include "capture/capture_record.h"
#include "editor/bogus_doc.h"
#include "ids.h"
#include "workspace/capture_list_dlg.h"
#include "workspace_fixture.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTreeWidget>

#include <cstdio>

namespace {

using CaptureImages = WorkspaceFixture;

const QRgb kColours[] = {qRgb(200, 40, 40), qRgb(40, 200, 40), qRgb(40, 40, 200)};

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * 4096;
}

// Slides out the preview and its capture list, and clicks a row of the list.
struct ListClicks : CaptureImages {
    void ShowList() {
        SlideOut();
        preview->onCommand(ids::kPreviewGalleryButton);
        ASSERT_TRUE(testx11::PumpUntil([&] { return !list()->slide().IsRunning(); }));
        testx11::Pump(150);
    }
    CCaptureListDlg* list() { return preview->captureList(); }
    void ClickRow(int row) {
        QTreeWidget* rows = list()->list();
        const QRect rect = rows->visualItemRect(rows->topLevelItem(row));
        testx11::Click(rows->viewport()->mapToGlobal(rect.center()));
        ASSERT_TRUE(testx11::PumpUntil([&] { return preview->current() == list()->RowSlot(row); }));
        testx11::Pump(150);
    }
    QRgb ShownCentre() { return ImageAreaOnScreen().pixel(80, 60); }
};

TEST_F(CaptureImages, ThirtyCapturesGrowTheResidentMemoryByLessThanThree) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer keeps freed memory in quarantine";
#endif
    const QSize size(1600, 1200);  // 5.76 MB per capture at 24 bits
    const long captureBytes = 3L * size.width() * size.height();
    for (int i = 0; i < 3; ++i) Capture(Solid(size.width(), size.height(), kColours[i]));
    const long before = ResidentBytes();
    for (int i = 0; i < 30; ++i) Capture(Solid(size.width(), size.height(), kColours[i % 3]));
    const long grown = ResidentBytes() - before;
    EXPECT_LT(grown, 3 * captureBytes) << grown / 1048576 << " MB";
    int holding = 0;
    for (int slot = 0; slot < preview->number(); ++slot)
        holding += preview->Slot(slot)->HoldsImage();
    EXPECT_EQ(holding, 1);
    EXPECT_TRUE(preview->Slot(preview->current())->HoldsImage());
}

TEST_F(ListClicks, ClickingThroughTheListShowsEachCapturesOwnPixels) {
    for (QRgb colour : kColours) Capture(Solid(160, 120, colour));
    ShowList();
    for (int row : {0, 2, 1, 0}) {
        ClickRow(row);
        EXPECT_EQ(ShownCentre(), kColours[row]) << row;
        EXPECT_TRUE(preview->Slot(row)->HoldsImage());
        EXPECT_FALSE(preview->Slot((row + 1) % 3)->HoldsImage());
    }
    testx11::TapKey("Down");  // the arrows move through the list as clicks do
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview->current() == 1; }));
    testx11::Pump(150);
    EXPECT_EQ(ShownCentre(), kColours[1]);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ListClicks, ACaptureWhoseFileWasDeletedShowsItsThumbnailAndTheMessage) {
    Capture(Solid(160, 120, kColours[0]));
    Capture(Solid(160, 120, kColours[1]));
    ASSERT_TRUE(QFile::remove(home.File("cache/IT-0.bmp")));
    const std::string message =
        "The capture's file is missing: " + home.File("cache/IT-0.bmp").toStdString();
    ShowList();
    ClickRow(0);
    EXPECT_EQ(CountMessages(message), 1);
    EXPECT_EQ(preview->InfoText(), "The capture's file is missing: IT-0.bmp");
    EXPECT_EQ(ShownCentre(), kColours[0]);  // the thumbnail, enlarged

    preview->onCommand(ids::kCmdCopyToClipboard);
    EXPECT_EQ(CountMessages(message), 2);

    // The program goes on: the other capture and a new one show as ever.
    ClickRow(1);
    EXPECT_EQ(ShownCentre(), kColours[1]);
    Capture(Solid(160, 120, kColours[2]));
    testx11::Pump(150);
    EXPECT_EQ(ShownCentre(), kColours[2]);
    EXPECT_EQ(preview->InfoText(), "160x120\n24 Bpp\n57640");
    EXPECT_EQ(CountMessages(message), 2);
}

// The first capture's picture has left memory when it is copied and mailed.
TEST_F(CaptureImages, CopyAndMailOfACaptureNoLongerInMemoryDeliverItsPixels) {
    QImage first = Solid(64, 48, kColours[0]);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) first.setPixel(x, y, kColours[2]);  // top left quarter
    Capture(first);
    Capture(Solid(64, 48, kColours[1]));
    const CCaptureRecord* record = preview->Slot(0);
    ASSERT_FALSE(record->HoldsImage());

    const std::string mailCopy = CCapturePreviewDlg::WebImagePath(*record);
    const QImage mailed(QString::fromStdString(mailCopy));
    ASSERT_EQ(mailed.size(), first.size());
    for (QPoint at : {QPoint(8, 8), QPoint(56, 40)}) {
        EXPECT_LT(std::abs(qRed(mailed.pixel(at)) - qRed(first.pixel(at))), 12) << at.x();
        EXPECT_LT(std::abs(qBlue(mailed.pixel(at)) - qBlue(first.pixel(at))), 12) << at.x();
    }
    EXPECT_FALSE(record->HoldsImage());  // read for the copy, then let go

    preview->SetCurrent(0);
    preview->onCommand(ids::kCmdCopyToClipboard);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QImage copied = QImage::fromData(data->data("image/bmp"), "BMP");
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), first);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
