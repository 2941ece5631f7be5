// Copy and paste through the real X clipboard, with a second program on the other side.
#include "capture/capture_record.h"
#include "ids.h"
#include "workspace/clipboard_viewer.h"
#include "workspace_fixture.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>

namespace {

using Clipboard = WorkspaceFixture;

TEST_F(Clipboard, CopyPutsTheCurrentCaptureOnTheClipboardForOtherPrograms) {
    QImage picture(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) picture.setPixel(x, y, qRgb(x * 5, y * 7, 90));
    preview->onCommand(ids::kCmdCopyToClipboard);  // nothing captured: nothing happens
    EXPECT_TRUE(messages.empty());
    Capture(picture);
    preview->onCommand(ids::kCmdCopyToClipboard);
    EXPECT_TRUE(messages.empty());

    QProcess probe;
    probe.start(CLIPBOARD_PROBE, {"get", "image/bmp", home.File("got.bmp")});
    ASSERT_TRUE(testx11::PumpUntil([&] { return probe.state() == QProcess::NotRunning; }, 8000));
    ASSERT_EQ(probe.exitCode(), 0);
    const QByteArray payload = home.Read("got.bmp");
    ASSERT_TRUE(payload.startsWith("BM"));
    const QImage received = QImage::fromData(payload, "BMP");
    ASSERT_EQ(received.size(), QSize(48, 32));
    EXPECT_EQ(received.pixel(47, 31), picture.pixel(47, 31));
    EXPECT_EQ(received.pixel(3, 0), picture.pixel(3, 0));

    // The clipboard viewer shows what is offered.
    preview->onCommand(ids::kCmdClipboardViewer);
    CClipboardViewer* viewer = preview->clipboardViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->formats().contains("image/bmp"));
    EXPECT_EQ(viewer->shownImage().size(), QSize(48, 32));
    EXPECT_EQ(viewer->summary(), "Picture, 48 x 32");
}

TEST_F(Clipboard, PasteMakesACaptureOfAnotherProgramsBitmap) {
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(qRgb(12, 180, 99));
    picture.setPixel(0, 0, qRgb(250, 1, 2));
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    picture.save(&bytes, "BMP");
    home.Write("offer.bmp", bytes.data());

    QProcess probe;
    probe.start(CLIPBOARD_PROBE, {"set", "image/bmp", home.File("offer.bmp")});
    ASSERT_TRUE(probe.waitForReadyRead(5000));
    ASSERT_TRUE(testx11::PumpUntil([] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat("image/bmp");
    }));
    preview->onCommand(ids::kCmdPasteFromClipboard);
    ASSERT_EQ(preview->number(), 1);
    const CCaptureRecord* record = preview->Slot(0);
    EXPECT_EQ(record->cachePath, home.File("cache/IT-0.bmp").toStdString());
    const QImage stored(home.File("cache/IT-0.bmp"));
    ASSERT_EQ(stored.size(), QSize(20, 10));
    EXPECT_EQ(stored.pixel(0, 0), qRgb(250, 1, 2));
    EXPECT_EQ(stored.pixel(5, 5), qRgb(12, 180, 99));

    // Text on the clipboard makes no capture; the viewer shows the text.
    QGuiApplication::clipboard()->setText("just words");
    probe.waitForFinished(5000);
    preview->onCommand(ids::kCmdPaste);
    EXPECT_EQ(preview->number(), 1);
    preview->onCommand(ids::kCmdOtherClipboardViewer);
    EXPECT_EQ(preview->clipboardViewer()->shownText(), "just words");
    if (probe.state() != QProcess::NotRunning) probe.kill();
}

}  // namespace
