// The capture preview with its capture table, its lists and its slide, on the test display.
#include "capture/capture_record.h"
#include "editor/bogus_doc.h"
#include "export/send_to.h"
#include "ids.h"
#include "image/raster.h"
#include "panel/hover_button.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/drop_list_dlg.h"
#include "workspace_fixture.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

using Preview = WorkspaceFixture;

// The window's states as the window manager sees them.
QStringList WindowStates(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    QStringList names;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), 0, 64,
                           False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data) {
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(display, reinterpret_cast<Atom*>(data)[i]);
            names << name;
            XFree(name);
        }
        XFree(data);
    }
    XCloseDisplay(display);
    return names;
}

constexpr QRgb kBar = CCapturePreviewDlg::kBarColour;

TEST_F(Preview, StartsHiddenWithItsSkinButtonsAndTips) {
    EXPECT_FALSE(preview->isVisible());
    EXPECT_TRUE(preview->initialised());
    EXPECT_EQ(preview->WindowWidth(), 262);
    EXPECT_EQ(preview->WindowHeight(), 180);
    EXPECT_EQ(App()->captureListHidden, 1);
    EXPECT_EQ(App()->dropListHidden, 1);
    EXPECT_EQ(preview->mailDocument(), nullptr);
    // The black corners of skin 218 lie outside the window's shape, its face inside.
    EXPECT_FALSE(preview->skinRegion().contains(QPoint(0, 0)));
    EXPECT_FALSE(preview->skinRegion().contains(QPoint(261, 179)));
    EXPECT_TRUE(preview->skinRegion().contains(QPoint(131, 90)));

    struct Expected {
        int id, width, height;
        const char* tip;
    };
    for (const Expected& e :
         {Expected{ids::kPreviewFunctions, 110, 22, "Capture Function"},
          Expected{ids::kPreviewSendTo, 110, 22, "Send Captured Image To!"},
          Expected{ids::kPreviewGalleryButton, 12, 12, "Slide Capture List"},
          Expected{ids::kPreviewDropListButton, 12, 12, "Click Here To View Drag N Drop"}}) {
        CHoverButton* button = preview->button(e.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->size(), QSize(e.width, e.height)) << e.id;
        EXPECT_EQ(button->TipText(), e.tip);
        EXPECT_TRUE(button->TipActive());
    }
}

TEST_F(Preview, ScreenCapturesGetTheirFilesRowsAndInformationText) {
    Capture(Solid(1024, 768, qRgb(200, 40, 40)));
    Capture(Solid(640, 480, qRgb(40, 200, 40)));
    for (const char* name : {"cache/IT-0.bmp", "cache/thumbnails/TT-0.bmp", "cache/IT-1.bmp",
                             "cache/thumbnails/TT-1.bmp"}) {
        EXPECT_TRUE(home.Exists(name)) << name;
    }
    EXPECT_EQ(QImage(home.File("cache/thumbnails/TT-0.bmp")).size(), QSize(80, 60));
    EXPECT_EQ(preview->number(), 2);
    EXPECT_EQ(preview->current(), 1);
    EXPECT_EQ(App()->captureExists, 1);

    CCaptureListDlg* list = preview->captureList();
    ASSERT_EQ(list->RowCount(), 2);
    EXPECT_EQ(list->RowText(0, 0), "IT-0.bmp");
    EXPECT_EQ(list->RowText(0, 1), "2359336");  // 40-byte header + 3072 bytes x 768 rows
    EXPECT_EQ(list->RowText(1, 0), "IT-1.bmp");
    EXPECT_EQ(list->RowText(1, 2).size(), 8);  // hh:mm:ss
    EXPECT_EQ(list->RowText(1, 3).size(), 8);  // mm/dd/yy
    EXPECT_EQ(list->RowSlot(1), 1);
    EXPECT_EQ(list->SelectedRow(), 1);

    EXPECT_EQ(preview->InfoText(), "640x480\n24 Bpp\n921640");
    preview->SetCurrent(0);
    preview->DrawCurrent();
    EXPECT_EQ(preview->InfoText(), "1024x768\n24 Bpp\n2359336");

    // The mail document follows the newest capture, as a JPEG beside the bitmap.
    ASSERT_NE(preview->mailDocument(), nullptr);
    EXPECT_EQ(preview->mailDocument()->pathName(), home.File("cache/IT-1.jpg").toStdString());
}

TEST_F(Preview, WidePicturesAreLetterboxedAndNarrowOnesPillarBoxed) {
    SlideOut();
    Capture(Solid(320, 120, qRgb(200, 40, 40)));  // twice as wide as the 160 x 120 area
    testx11::Pump(150);
    QImage shown = ImageAreaOnScreen();
    ASSERT_EQ(shown.size(), QSize(160, 120));
    for (int y : {0, 29, 90, 119}) EXPECT_EQ(shown.pixel(80, y), kBar) << y;
    for (int y : {30, 60, 89}) EXPECT_EQ(shown.pixel(80, y), qRgb(200, 40, 40)) << y;
    EXPECT_EQ(shown.pixel(0, 60), qRgb(200, 40, 40));

    Capture(Solid(60, 120, qRgb(40, 40, 200)));  // half as wide as tall: 60 x 120 in the middle
    testx11::Pump(150);
    shown = ImageAreaOnScreen();
    for (int x : {0, 49, 110, 159}) EXPECT_EQ(shown.pixel(x, 60), kBar) << x;
    for (int x : {50, 80, 109}) EXPECT_EQ(shown.pixel(x, 60), qRgb(40, 40, 200)) << x;

    EXPECT_EQ(CCapturePreviewDlg::FitRect(QRect(0, 0, 160, 120), 8, 6), QRect(0, 0, 160, 120));
}

TEST_F(Preview, DeletingTheOnlyCaptureLeavesTheImageAreaUnpainted) {
    SlideOut();
    const QImage before = ImageAreaOnScreen();
    Capture(Solid(64, 48, qRgb(200, 40, 40)));
    testx11::Pump(150);
    EXPECT_NE(ImageAreaOnScreen(), before);
    preview->onCommand(ids::kCmdDeleteCapture);
    testx11::Pump(150);
    EXPECT_FALSE(preview->hasCaptures());
    EXPECT_EQ(preview->number(), 0);
    EXPECT_EQ(preview->captureList()->RowCount(), 0);
    EXPECT_EQ(preview->mailDocument(), nullptr);
    EXPECT_EQ(preview->InfoText(), "");
    EXPECT_EQ(ImageAreaOnScreen(), before);      // the skin shows through again
    EXPECT_TRUE(home.Exists("cache/IT-0.bmp"));  // files stay in the cache
}

// Three captures, the middle one deleted: the second row now holds slot 2, and a click on it
// shows that capture.
TEST_F(Preview, ClickingTheSecondRowAfterADeleteShowsTheSlotStoredInIt) {
    const QRgb colours[] = {qRgb(200, 40, 40), qRgb(40, 200, 40), qRgb(40, 40, 200)};
    for (QRgb colour : colours) Capture(Solid(160, 120, colour));
    preview->SetCurrent(1);
    preview->captureList()->SelectRowOfSlot(1);
    preview->onCommand(ids::kCmdDeleteCapture);
    CCaptureListDlg* list = preview->captureList();
    ASSERT_EQ(list->RowCount(), 2);
    EXPECT_EQ(list->RowSlot(0), 0);
    EXPECT_EQ(list->RowSlot(1), 2);
    EXPECT_EQ(preview->current(), 0);
    EXPECT_EQ(list->SelectedRow(), 0);

    SlideOut();
    preview->onCommand(ids::kPreviewGalleryButton);
    ASSERT_TRUE(testx11::PumpUntil([&] { return !list->slide().IsRunning(); }));
    const QRect previewRect = testx11::WindowScreenRect(preview->winId());
    ASSERT_TRUE(testx11::PumpUntil([&] {
        return testx11::WindowScreenRect(list->winId()).topLeft() ==
               QPoint(previewRect.left() - 260, previewRect.top());
    }));
    testx11::Pump(100);
    QTreeWidget* rows = list->list();
    const QRect second = rows->visualItemRect(rows->topLevelItem(1));
    testx11::Click(rows->viewport()->mapToGlobal(second.center()));
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview->current() == 2; }));
    testx11::Pump(150);
    EXPECT_EQ(ImageAreaOnScreen().pixel(80, 60), colours[2]);
    EXPECT_EQ(preview->mailDocument()->pathName(), home.File("cache/IT-2.jpg").toStdString());

    // Delete (Edit1) refills the list from the table.
    preview->onCommand(ids::kCmdDelete);
    ASSERT_EQ(list->RowCount(), 1);
    EXPECT_EQ(list->RowSlot(0), 0);
    EXPECT_EQ(preview->current(), 0);
}

// The table never overruns and never overwrites a live capture: a new capture takes the first
// free slot, and with all 99 taken the oldest leaves the table (its file stays), told once.
TEST_F(Preview, AFullTableReleasesTheOldestCaptureAndSaysSoOnce) {
    for (int i = 0; i < 3; ++i) Capture(Solid(4, 4, qRgb(i, 0, 0)));
    preview->SetCurrent(0);
    preview->onCommand(ids::kCmdDeleteCapture);
    Capture(Solid(4, 4, qRgb(9, 9, 9)));
    EXPECT_EQ(preview->current(), 0);
    EXPECT_EQ(preview->Slot(0)->FileName(), "IT-3.bmp");
    EXPECT_EQ(preview->Slot(1)->FileName(), "IT-1.bmp");
    EXPECT_EQ(preview->Slot(2)->FileName(), "IT-2.bmp");

    while (preview->number() < CCapturePreviewDlg::kSlots) Capture(Solid(4, 4, qRgb(1, 2, 3)));
    EXPECT_TRUE(messages.empty());
    const std::string lastBefore = preview->Slot(98)->FileName();

    Capture(Solid(4, 4, qRgb(4, 5, 6)));  // the oldest live capture is IT-1 in slot 1
    EXPECT_EQ(preview->number(), CCapturePreviewDlg::kSlots);
    EXPECT_EQ(preview->current(), 1);
    EXPECT_EQ(preview->Slot(1)->FileName(), "IT-100.bmp");
    EXPECT_EQ(preview->Slot(98)->FileName(), lastBefore);
    EXPECT_TRUE(home.Exists("cache/IT-1.bmp"));
    EXPECT_EQ(CountMessages(CCapturePreviewDlg::kTableFullMessage), 1);
    EXPECT_EQ(preview->captureList()->RowCount(), CCapturePreviewDlg::kSlots);

    Capture(Solid(4, 4, qRgb(7, 8, 9)));  // next oldest: IT-2 in slot 2
    EXPECT_EQ(preview->Slot(2)->FileName(), "IT-101.bmp");
    EXPECT_EQ(preview->Slot(0)->FileName(), "IT-3.bmp");
    EXPECT_EQ(CountMessages(CCapturePreviewDlg::kTableFullMessage), 1);
    EXPECT_EQ(preview->captureList()->RowCount(), CCapturePreviewDlg::kSlots);
}

// Drops arrive as Qt drop events carrying a file list.
class Drops : public WorkspaceFixture {
  protected:
    // Returns whether the drop was accepted, and with which action.
    Qt::DropAction Drop(const QStringList& files, Qt::KeyboardModifiers modifiers = {}) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files) urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        QWidget* area = preview->imageArea();
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              modifiers);
        QApplication::sendEvent(area, &enter);
        if (!enter.isAccepted()) return Qt::IgnoreAction;
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        modifiers);
        QApplication::sendEvent(area, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
    QString Picture(const QString& name, const char* format) {
        Solid(30, 20, qRgb(10, 120, 230)).save(home.File(name), format);
        return home.File(name);
    }
};

TEST_F(Drops, PhotoJpegIsCopiedIntoTheCacheAndShownFirstInTheDropList) {
    const QString photo = Picture("Photo.JPEG", "JPEG");
    EXPECT_EQ(Drop({photo}), Qt::CopyAction);
    ASSERT_EQ(preview->number(), 1);
    const CCaptureRecord* record = preview->Slot(0);
    EXPECT_EQ(record->cachePath, home.File("cache/Image-0.jpeg").toStdString());
    EXPECT_EQ(record->Image()->GetType(), static_cast<uint32_t>(kTypeJpeg));
    EXPECT_EQ(record->importedFlag, 1);
    EXPECT_TRUE(home.Exists("cache/Image-0.jpeg"));
    EXPECT_TRUE(home.Exists("Photo.JPEG"));  // a drop never takes the file away

    CDropListDlg* drops = preview->dropList();
    ASSERT_EQ(drops->RowCount(), 1);
    EXPECT_EQ(drops->RowText(0), photo);
    EXPECT_EQ(drops->SelectedRow(), 0);
    EXPECT_EQ(App()->dropListHidden, 0);  // slid out
    EXPECT_TRUE(testx11::PumpUntil([&] { return !drops->slide().IsRunning(); }));
    EXPECT_TRUE(drops->isVisible());
    // Copy is offered with or without Ctrl.
    EXPECT_EQ(Drop({Picture("b.png", "PNG")}, Qt::ControlModifier), Qt::CopyAction);
    EXPECT_EQ(drops->RowText(0), home.File("b.png"));
    EXPECT_EQ(drops->RowText(1), photo);
}

TEST_F(Drops, OnlyWebImagesAndOnlyTheFirstOfSeveralFilesAreTaken) {
    Drop({Picture("shot.PNG", "PNG")});
    EXPECT_EQ(preview->number(), 1);
    EXPECT_EQ(preview->Slot(0)->FileName(), "Image-0.png");

    Drop({Picture("plain.bmp", "BMP")});
    home.Write("notes.txt", "text");
    Drop({home.File("notes.txt")});
    EXPECT_EQ(preview->number(), 1);
    EXPECT_EQ(preview->dropList()->RowCount(), 1);
    EXPECT_EQ(messages, std::vector<std::string>(2, CCapturePreviewDlg::kDropTypesMessage))
        << "the user hears why a file is not taken";

    // Three at once: only the first counts, whether or not it is taken.
    Drop({Picture("one.gif", "PNG"), Picture("two.png", "PNG"), Picture("three.png", "PNG")});
    EXPECT_EQ(preview->dropList()->RowCount(), 2);
    EXPECT_EQ(preview->dropList()->RowText(0), home.File("one.gif"));
    Drop({home.File("notes.txt"), home.File("two.png"), home.File("three.png")});
    EXPECT_EQ(preview->dropList()->RowCount(), 2);

    // Something that is not a file list is refused while dragging.
    QMimeData text;
    text.setText("hello");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(preview->imageArea(), &enter);
    EXPECT_FALSE(enter.isAccepted());

    // Clear empties the list, and does nothing on an empty one.
    preview->dropList()->clearButton()->click();
    EXPECT_EQ(preview->dropList()->RowCount(), 0);
    preview->dropList()->clearButton()->click();
    EXPECT_EQ(preview->dropList()->RowCount(), 0);
}

TEST_F(Preview, OpenFileTakesATiffAndRefusesANameWithoutExtension) {
    CRaster tiff(30, 20, 24);
    ASSERT_TRUE(tiff.Save(home.File("scan.tif").toLocal8Bit().constData(), kTypeTiff));
    home.Write("noext", home.Read("scan.tif"));

    preview->OpenCaptureFile(home.File("noext").toStdString());
    EXPECT_EQ(preview->number(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{CCapturePreviewDlg::kOpenTypesMessage});
    messages.clear();

    // Through the real prompt.
    QTimer::singleShot(0, [&] {
        testx11::PumpUntil(
            [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); });
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Open image file");
        // Every pattern offered is one that is opened.
        for (const QString& filter : dialog->nameFilters()) {
            const QString patterns = filter.section('(', 1).chopped(1);
            for (const QString& pattern : patterns.split(' '))
                EXPECT_GE(RasterTypeFromPath(pattern.toStdString()), 0) << pattern.toStdString();
        }
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QDir(home.File("bin")).absolutePath());
        dialog->selectFile(home.File("scan.tif"));
        static_cast<QDialog*>(dialog)->accept();
    });
    preview->onCommand(ids::kCmdOpenFile);
    ASSERT_EQ(preview->number(), 1);
    const CCaptureRecord* record = preview->Slot(0);
    EXPECT_EQ(record->Image()->GetType(), static_cast<uint32_t>(kTypeTiff));
    EXPECT_EQ(record->Image()->GetWidth(), 30u);
    EXPECT_EQ(record->cachePath, home.File("cache/IT-0.bmp").toStdString());
    EXPECT_TRUE(home.Exists("cache/IT-0.bmp"));

    // A 256-colour picture gets its mail copy too (JPEG keeps only true colour and grey).
    QImage palette(16, 16, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(200, 10, 10), qRgb(10, 10, 200)});
    palette.fill(1);
    ASSERT_TRUE(palette.save(home.File("palette.bmp"), "BMP"));
    preview->OpenCaptureFile(home.File("palette.bmp").toStdString());
    ASSERT_EQ(preview->number(), 2);
    EXPECT_LT(preview->Slot(1)->Image()->GetBpp(), 24u);
    EXPECT_TRUE(messages.empty());
    ASSERT_NE(preview->mailDocument(), nullptr);
    EXPECT_EQ(preview->mailDocument()->pathName(), home.File("cache/IT-1.jpg").toStdString());
}

TEST_F(Preview, MenusPopUpAboveThePointerWithMailOnlyWhereAComposerExists) {
    const QPoint pointer(500, 400);
    testx11::MoveMouse(pointer);
    testx11::Pump(50);
    QStringList texts;
    QList<bool> enabled;
    QPoint shownAt;
    QObject::connect(preview.get(), &CCapturePreviewDlg::menuShown, [&](QMenu* menu) {
        QTimer::singleShot(50, [&, menu] {
            shownAt = menu->pos();
            for (QAction* action : menu->actions()) {
                texts << action->text();
                enabled << action->isEnabled();
                if (action->menu()) {
                    for (QAction* inner : action->menu()->actions()) {
                        texts << inner->text();
                        enabled << inner->isEnabled();
                    }
                }
            }
            menu->close();
        });
    });
    preview->onCommand(ids::kPreviewSendTo);
    EXPECT_EQ(shownAt, pointer - QPoint(0, 30));
    EXPECT_EQ(texts, QStringList({"To Workspace", "To Explorer", "To Email",
                                  "Mail recipient (as attachment)...", "To Html Editor"}));
    EXPECT_EQ(enabled, QList<bool>({true, true, true, MailAvailable(), true}));

    texts.clear();
    enabled.clear();
    preview->onCommand(ids::kPreviewFunctions);
    EXPECT_EQ(texts, QStringList({"Open File", "Clipboard Viewer", "", "EDIT", "Copy To Clipboard",
                                  "Paste From Clipboard", "Delete Capture"}));
    EXPECT_FALSE(enabled.contains(false));
    // Without a capture the send-to commands say so.
    EXPECT_TRUE(preview->onCommand(ids::kCmdToWorkspace));
    EXPECT_EQ(CountMessages("No Image has been captured!"), 1);
}

// Ten steps of a tenth of the width each, out from under the panel and back.
TEST_F(Preview, SlidesOutAndBackInTenSteps) {
    const QRect panel = App()->panelRect;
    const int width = preview->WindowWidth(), step = width / 10;
    CSlideAnimation& slide = preview->slide();
    preview->ToggleSlide();
    EXPECT_EQ(App()->previewHidden, 0);
    for (int k = 1; k <= 10; ++k) {
        slide.Step();  // the tick, without waiting for the timer
        EXPECT_EQ(preview->geometry(), QRect(panel.left() - step * k, panel.top(), width, 178))
            << k;
        EXPECT_TRUE(preview->isVisible());
    }
    EXPECT_EQ(slide.stepCounter(), 11);
    slide.Step();  // past the width: the slide is over
    EXPECT_FALSE(slide.IsRunning());
    EXPECT_EQ(preview->geometry().left(), panel.left() - step * 10);

    preview->ToggleSlide();
    EXPECT_EQ(App()->previewHidden, 1);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_TRUE(preview->isVisible()) << k;
        slide.Step();
        EXPECT_EQ(preview->geometry().left(), panel.left() - width + step * k) << k;
    }
    EXPECT_FALSE(preview->isVisible());
    EXPECT_FALSE(slide.IsRunning());

    // With the timer: out, then in again with the capture list that was out.
    preview->ToggleSlide();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !slide.IsRunning(); }, 2000));
    EXPECT_EQ(preview->geometry().topLeft(), QPoint(panel.left() - step * 10, panel.top()));
    preview->ToggleCaptureList();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !preview->captureList()->slide().IsRunning(); }));
    EXPECT_TRUE(preview->captureList()->isVisible());
    preview->ToggleSlide();
    EXPECT_EQ(App()->captureListHidden, 1);
    ASSERT_TRUE(testx11::PumpUntil(
        [&] { return !preview->isVisible() && !preview->captureList()->isVisible(); }));
}

// The lists hang on the preview's edges: the capture list to its left, the drop list above it,
// and they hide and show with the preview.
TEST_F(Preview, SatellitesFollowThePreview) {
    SlideOut();
    preview->onCommand(ids::kPreviewGalleryButton);
    preview->onCommand(ids::kPreviewDropListButton);
    CCaptureListDlg* list = preview->captureList();
    CDropListDlg* drops = preview->dropList();
    ASSERT_TRUE(testx11::PumpUntil(
        [&] { return !list->slide().IsRunning() && !drops->slide().IsRunning(); }));
    const QRect at = preview->frameGeometry();
    // A slide ends ten steps of a tenth out; placing them holds them against the edges.
    EXPECT_EQ(list->geometry(), QRect(at.left() - 260, at.top(), 262, 178));
    EXPECT_EQ(drops->geometry(), QRect(at.left(), at.top() - 180, 262, 178));

    preview->move(at.topLeft() - QPoint(100, 50));
    ASSERT_TRUE(testx11::PumpUntil(
        [&] { return App()->previewRect.topLeft() == at.topLeft() - QPoint(100, 50); }));
    EXPECT_EQ(list->geometry().topLeft(), at.topLeft() - QPoint(362, 50));
    EXPECT_EQ(drops->geometry().topLeft(), at.topLeft() - QPoint(100, 50 + 192));

    // None of them shows in the taskbar.
    for (QWidget* window : {static_cast<QWidget*>(preview.get()), static_cast<QWidget*>(list),
                            static_cast<QWidget*>(drops)}) {
        EXPECT_TRUE(WindowStates(window->winId()).contains("_NET_WM_STATE_SKIP_TASKBAR"));
    }

    preview->hide();
    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(drops->isVisible());
    preview->show();
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(drops->isVisible());

    // OK on the drop list slides it back in.
    drops->okButton()->click();
    EXPECT_EQ(App()->dropListHidden, 1);
    EXPECT_TRUE(testx11::PumpUntil([&] { return !drops->isVisible(); }));
}

}  // namespace
