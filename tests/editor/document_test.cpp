// Image documents: the worker and its undo ring, zoom, opening and saving files, File New.
#include "editor_fixture.h"

#include "editor/image_prompt.h"
#include "ids.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QThread>
#include <QTimer>

#include <cstring>

namespace {

using EditorDocument = EditorFixture;

std::vector<uint8_t> Bytes(const CRaster& image) {
    return std::vector<uint8_t>(image.GetDIB(), image.GetDIB() + image.GetSize());
}

TEST_F(EditorDocument, UndoRingKeepsEightStatesWithItsRules) {
    CLumoDoc* doc = NewDocument(Gradient(40, 30));
    ASSERT_TRUE(Command(doc, ids::kCmdLighten));
    const std::vector<uint8_t> afterFirst = Bytes(*doc->image);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(Command(doc, i % 2 ? ids::kCmdMirror : ids::kCmdDarken));
    EXPECT_EQ(doc->undoLevel, 8);
    frame->UpdateCommandUI();
    EXPECT_EQ(frame->MenuAction(ids::kCmdEditUndo)->text(), "Undo (8)\tCtrl+Z");
    EXPECT_FALSE(frame->MenuAction(ids::kCmdEditRedo)->isEnabled());

    for (int i = 0; i < 8; ++i) Command(doc, ids::kCmdEditUndo);
    EXPECT_EQ(Bytes(*doc->image), afterFirst);  // the oldest state left the ring
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->MenuAction(ids::kCmdEditUndo)->isEnabled());
    EXPECT_TRUE(frame->MenuAction(ids::kCmdEditRedo)->isEnabled());

    Command(doc, ids::kCmdEditRedo);
    Command(doc, ids::kCmdEditRedo);
    Command(doc, ids::kCmdEditUndo);
    Command(doc, ids::kCmdGreyscale);  // drops the redo states
    EXPECT_EQ(doc->undoLevel, 2);
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->MenuAction(ids::kCmdEditRedo)->isEnabled());
    EXPECT_EQ(frame->MenuAction(ids::kCmdEditUndo)->text(), "Undo (2)\tCtrl+Z");
    EXPECT_TRUE(messages.empty());
}

TEST_F(EditorDocument, FailedOperationIsShownAndLeavesTheRingAsItWas) {
    CLumoDoc* doc = NewDocument(Gradient(20, 10));
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(doc->RunWorker(ids::kCmdMirror));
    Command(doc, ids::kCmdEditUndo);
    const CRaster* oldest = doc->undoImages[0].get();
    const std::vector<uint8_t> before = Bytes(*doc->image);
    EXPECT_FALSE(doc->RunWorker(ids::kCmdColorsIncrease, 4));  // 24 bits cannot go up to 4
    EXPECT_FALSE(doc->RunWorker(ids::kCmdResize, 0, 5, 1));
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(doc->undoLevel, 7);
    EXPECT_EQ(doc->undoImages[0].get(), oldest);
    EXPECT_NE(doc->undoImages[7], nullptr);  // the redo state is still there
    EXPECT_EQ(Bytes(*doc->image), before);
}

TEST_F(EditorDocument, OperationsRunOnTheWorkerWhileCommandsWaitAndRotationsTurn) {
    CLumoDoc* doc = NewDocument(Gradient(30, 20));
    CLumoDoc::SetWorkerProbe([](CLumoDoc&) { QThread::msleep(300); });
    bool refused = false;
    QTimer::singleShot(100, [&] {
        // Timers still arrive during the wait; the document refuses them and views repaint.
        refused = doc->IsBusy() && doc->onCommand(ids::kCmdZoomIn) && doc->zoom == 1.0f &&
                  !doc->UpdateCommand(ids::kCmdEditUndo).enabled;
        ViewOf(doc)->viewport()->repaint();
    });
    EXPECT_TRUE(doc->RunWorker(ids::kCmdRotateRight, 3));  // 270 degrees: three quarter turns
    CLumoDoc::SetWorkerProbe(nullptr);
    EXPECT_TRUE(refused);
    EXPECT_FALSE(doc->IsBusy());
    EXPECT_EQ(doc->image->GetWidth(), 20u);
    // Three right turns are one left turn: the top-left pixel comes from the top-right one.
    const RGBQUAD corner = doc->image->GetPixelColor(0, 29);
    EXPECT_EQ(corner.rgbRed, 29);
    EXPECT_EQ(corner.rgbGreen, 0);
    EXPECT_EQ(doc->undoLevel, 1);

    ASSERT_TRUE(doc->RunWorker(ids::kCmdColorsReduce, 4, 1, 1));
    EXPECT_EQ(doc->image->GetBpp(), 4u);
    ASSERT_TRUE(doc->RunWorker(ids::kCmdAnnotate));
    EXPECT_EQ(doc->image->GetBpp(), 24u);
    EXPECT_EQ(doc->undoLevel, 3);
}

// Most operations read the picture where it is and build a new one, the picture itself
// becoming the undo state uncopied: it must come back byte for byte, and the result must be the
// library's own (three quarter turns included, whichever way they are done).
TEST_F(EditorDocument, EveryOperationKeepsThePictureBeforeItAsItsUndoState) {
    struct Case {
        int command;
        int32_t arg1, arg2, arg3;
        uint32_t bpp;
    };
    const Case cases[] = {
        {ids::kCmdLighten, 20, 100, 0, 24},      {ids::kCmdDarken, -20, 100, 0, 8},
        {ids::kCmdMirror, 0, 0, 0, 24},          {ids::kCmdMirror, 0, 0, 0, 4},
        {ids::kCmdRotateRight, 2, 0, 0, 8},      {ids::kCmdRotateRight, 3, 0, 0, 24},
        {ids::kCmdRotateLeft, 3, 0, 0, 1},       {ids::kCmdGreyscale, 0, 0, 0, 24},
        {ids::kCmdGreyscale, 0, 0, 0, 8},        {ids::kCmdColorsReduce, 8, 1, 1, 24},
        {ids::kCmdColorsReduce, 24, 0, 0, 24},   {ids::kCmdColorsIncrease, 24, 0, 0, 4},
        {ids::kCmdColorsIncrease, 24, 0, 0, 24}, {ids::kCmdResize, 25, 20, 0, 24},
        {ids::kCmdResize, 40, 30, 1, 24},        {ids::kCmdAnnotate, 0, 0, 0, 24},
        {ids::kCmdAnnotate, 0, 0, 0, 8},
    };
    CLumoDoc* doc = NewDocument(Gradient(40, 30));
    doc->annotationText = "Quillet";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.command << " on " << c.bpp << " bits");
        auto picture = Gradient(40, 30);
        if (c.bpp < 24) {
            ASSERT_TRUE(picture->DecreaseBpp(c.bpp, false));
        }
        CRaster expected(*picture);
        switch (c.command) {
            case ids::kCmdLighten:
            case ids::kCmdDarken:
                expected.Light(c.arg1, c.arg2);
                break;
            case ids::kCmdMirror:
                expected.Mirror();
                break;
            case ids::kCmdRotateRight:
            case ids::kCmdRotateLeft:
                for (int i = 0; i < c.arg1; ++i)
                    c.command == ids::kCmdRotateRight ? expected.RotateRight()
                                                      : expected.RotateLeft();
                break;
            case ids::kCmdGreyscale:
                expected.GrayScale();
                break;
            case ids::kCmdColorsIncrease:
                expected.IncreaseBpp(static_cast<uint32_t>(c.arg1));
                break;
            case ids::kCmdResize:
                expected.Resample(c.arg1, c.arg2, c.arg3 != 0);
                break;
            default:
                break;  // reduction and annotation: only the undo state is checked
        }
        const std::vector<uint8_t> before = Bytes(*picture);
        doc->image = std::move(picture);
        doc->undoImages = {};
        doc->undoLevel = 0;
        doc->UpdateAllViews(ids::kHintImageChanged);

        ASSERT_TRUE(doc->RunWorker(c.command, c.arg1, c.arg2, c.arg3));
        EXPECT_EQ(doc->undoLevel, 1);
        const std::vector<uint8_t> after = Bytes(*doc->image);
        if (c.command == ids::kCmdAnnotate) {
            EXPECT_NE(after, before);  // the text is there
        } else if (c.command != ids::kCmdColorsReduce) {
            EXPECT_EQ(after, Bytes(expected));
        }
        Command(doc, ids::kCmdEditUndo);
        EXPECT_EQ(Bytes(*doc->image), before);
        Command(doc, ids::kCmdEditRedo);
        EXPECT_EQ(Bytes(*doc->image), after);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(EditorDocument, ZoomStopsAtSixteenAndAnEighth) {
    CLumoDoc* doc = NewDocument(Gradient(8, 8));
    for (float expected : {2.0f, 4.0f, 8.0f, 16.0f}) {
        Command(doc, ids::kCmdZoomIn);
        EXPECT_EQ(doc->zoom, expected);
    }
    EXPECT_FALSE(doc->UpdateCommand(ids::kCmdZoomIn).enabled);
    doc->zoom = 1.0f;
    for (float expected : {0.5f, 0.25f, 0.125f}) {
        Command(doc, ids::kCmdZoomOut);
        EXPECT_EQ(doc->zoom, expected);
    }
    EXPECT_FALSE(doc->UpdateCommand(ids::kCmdZoomOut).enabled);
}

TEST_F(EditorDocument, OpensMultiPageFilesCapitalExtensionsAndRefusesMetafiles) {
    std::unique_ptr<CRaster> pages[3] = {Gradient(10, 10), Gradient(12, 10), Gradient(14, 10)};
    CRaster* list[3] = {pages[0].get(), pages[1].get(), pages[2].get()};
    const std::string tiff = home.File("scan.tif").toStdString();
    std::FILE* file = std::fopen(tiff.c_str(), "wb");
    ASSERT_TRUE(pages[0]->Encode(file, list, 3, kTypeTiff));
    std::fclose(file);

    ASSERT_NE(frame->docTemplate()->OpenDocumentFile(home.File("scan.tif")), nullptr);
    ASSERT_EQ(messages, std::vector<std::string>{"File with 3 images. Read all?"});
    std::vector<CLumoDoc*> docs = frame->docTemplate()->documents();
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[1]->title(), "scan.tif (2)");
    EXPECT_EQ(docs[2]->title(), "scan.tif (3)");
    EXPECT_EQ(docs[2]->image->GetWidth(), 14u);

    ASSERT_TRUE(pages[0]->Save(home.File("PHOTO.JPEG").toLocal8Bit().constData(), kTypeJpeg));
    CLumoDoc* photo = frame->docTemplate()->OpenDocumentFile(home.File("PHOTO.JPEG"));
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(photo->image->GetType(), static_cast<uint32_t>(kTypeJpeg));

    home.Write("drawing.wmf", QByteArray(64, '\0'));
    messages.clear();
    EXPECT_EQ(frame->docTemplate()->OpenDocumentFile(home.File("drawing.wmf")), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("drawing.wmf"), std::string::npos);
    EXPECT_EQ(frame->docTemplate()->documents().size(), 4u);  // its window went again
}

// Shortcuts and tool bar buttons follow a picture opened without a menu shown first.
TEST_F(EditorDocument, CommandsFollowAnOpenedPictureBeforeAnyMenuOpens) {
    ASSERT_TRUE(Gradient(6, 6)->Save(home.File("c.bmp").toLocal8Bit().constData(), kTypeBmp));
    ASSERT_FALSE(frame->MenuAction(ids::kCmdFileSave)->isEnabled());
    ASSERT_NE(frame->docTemplate()->OpenDocumentFile(home.File("c.bmp")), nullptr);
    EXPECT_TRUE(frame->MenuAction(ids::kCmdFileSave)->isEnabled());
}

TEST_F(EditorDocument, SaveAsProposesNamesAndAFailedSaveLeavesTheOldFile) {
    ImagePromptRequest seen;
    QString answerFile = home.File("photo.jpg");
    SetImagePromptHook([&](ImagePromptRequest& request) {
        seen = request;
        request.fileName = answerFile;
        return true;
    });
    auto image = Gradient(16, 16);
    image->SetType(kTypeJpeg);
    CLumoDoc* doc = NewDocument(std::move(image), "shots/1");
    ASSERT_TRUE(Command(doc, ids::kCmdFileSaveAs));
    EXPECT_EQ(seen.fileName, "UntitledImage.jpg");
    EXPECT_EQ(seen.filters.value(seen.selectedFilter), "JPG files (*.jpg *.jpeg)");
    EXPECT_FALSE(seen.open);
    EXPECT_EQ(doc->pathName(), answerFile.toStdString());
    EXPECT_EQ(doc->title(), "photo.jpg");

    // An 8-bit colour picture cannot become a JPEG: the photo already there stays as it was.
    const QByteArray original = home.Read("photo.jpg");
    auto palette = std::make_unique<CRaster>(16, 16, 8);
    palette->SetStdPalette();
    CLumoDoc* other = NewDocument(std::move(palette), "other");
    EXPECT_FALSE(other->DoSave(std::string(), true));
    EXPECT_EQ(home.Read("photo.jpg"), original);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files).size(), 1);
    SetImagePromptHook(nullptr);
}

TEST_F(EditorDocument, FileNewNumbersEmptyWorkspaceDocumentsAndClosingForgetsThem) {
    frame->onCommand(ids::kCmdFileNew);
    frame->onCommand(ids::kCmdFileNew);
    EXPECT_EQ(App()->documentCounter, 2);
    EXPECT_EQ(App()->documentCount, 2);
    CLumoDoc* second = frame->docTemplate()->WorkspaceDocument(2);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(frame->docTemplate()->WorkspaceDocument(1), second);
    EXPECT_EQ(second->title(), "Image-2");
    EXPECT_EQ(second->workspaceIndex, 2);
    frame->mdiArea()->setActiveSubWindow(frame->docTemplate()->FrameOf(second));
    frame->UpdateCommandUI();
    for (int id : {ids::kCmdGreyscale, ids::kCmdCrop, ids::kCmdZoomIn, ids::kCmdEditCopy,
                   ids::kCmdImageAsHtml, ids::kCmdEditCut, ids::kCmdEditPaste}) {
        EXPECT_FALSE(frame->MenuAction(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(frame->MenuAction(ids::kCmdEncryption)->isEnabled());
    QString opened;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            opened = dialog->metaObject()->className();
            dialog->close();
        }
    });
    closer.start(50);
    frame->MenuAction(ids::kCmdEncryption)->trigger();
    closer.stop();
    EXPECT_EQ(opened, "CEncryptDecryptDlg");

    frame->docTemplate()->FrameOf(second)->close();
    ASSERT_TRUE(testx11::PumpUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return frame->docTemplate()->documents().size() == 1;
    }));
    EXPECT_EQ(frame->docTemplate()->WorkspaceDocument(2), nullptr);
}

TEST_F(EditorDocument, ClosingTheMainFrameHidesItAndModifiedWindowsAsk) {
    CLumoDoc* first = NewDocument(Gradient(10, 10), "first");
    NewDocument(Gradient(10, 10), "second");
    frame->close();
    testx11::Pump(50);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->docTemplate()->documents().size(), 2u);
    frame->show();

    ASSERT_TRUE(Command(first, ids::kCmdMirror));
    answer = platform::kAnswerCancel;
    frame->docTemplate()->FrameOf(first)->close();
    testx11::Pump(50);
    EXPECT_EQ(messages, std::vector<std::string>{"Save changes to first?"});
    EXPECT_EQ(frame->docTemplate()->documents().size(), 2u);
    answer = platform::kAnswerNo;
    EXPECT_TRUE(frame->docTemplate()->SaveAllModified());
    frame->docTemplate()->FrameOf(first)->CloseQuietly();
    EXPECT_EQ(frame->docTemplate()->documents().size(), 1u);
    EXPECT_TRUE(frame->docTemplate()->documents()[0]->image != nullptr);
}

}  // namespace

namespace {

TEST_F(EditorDocument, DroppedFilesOpenAndJoinTheRecentFiles) {
    ASSERT_TRUE(Gradient(9, 7)->Save(home.File("a.png").toLocal8Bit().constData(), kTypePng));
    ASSERT_TRUE(Gradient(5, 5)->Save(home.File("b.bmp").toLocal8Bit().constData(), kTypeBmp));
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(home.File("a.png")), QUrl::fromLocalFile(home.File("b.bmp"))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(frame.get(), &drop);
    const std::vector<CLumoDoc*> docs = frame->docTemplate()->documents();
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[0]->title(), "a.png");
    EXPECT_EQ(docs[1]->image->GetWidth(), 5u);

    std::vector<std::pair<std::string, bool>> saves;
    CLumoDoc::SetSaveListener(
        [&](CLumoDoc&, const std::string& path, int kind) { saves.emplace_back(path, kind); });
    Command(docs[0], ids::kCmdMirror);
    ASSERT_TRUE(Command(docs[0], ids::kCmdFileSave));  // saved where it came from, unasked
    CLumoDoc::SetSaveListener(nullptr);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].first, home.File("a.png").toStdString());
    EXPECT_FALSE(docs[0]->IsModified());

    emit frame->menuBar()->actions().value(0)->menu()->aboutToShow();  // the File menu opens
    QAction* first = frame->MenuAction(ids::kCmdFileMru1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), "&1 " + home.File("a.png"));
    EXPECT_EQ(frame->MenuAction(ids::kCmdFileMru1 + 1)->text(), "&2 " + home.File("b.bmp"));
    EXPECT_TRUE(messages.empty());
}

}  // namespace
