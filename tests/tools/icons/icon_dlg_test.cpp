#include "capture/capture_record.h"
#include "ids.h"
#include "image/qt/raster_qt.h"
#include "panel/hover_button.h"
#include "tools/icons/icon_dlg.h"
#include "tools/icons/pe_writer.h"
#include "workspace/workspace_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace {

QByteArray PeFile(const std::vector<testpe::Group>& groups) {
    const testpe::Bytes bytes = testpe::WritePe(groups, true);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// A tiny theme of three standard icons (one of them only at 16 x 16), one icon of its own
// name, and "edit", whose name only begins a standard one.
void WriteTestTheme(const TempFolder& folder) {
    folder.Write("quillet-test/index.theme",
                 "[Icon Theme]\nName=quillet-test\nDirectories=16,32\n\n"
                 "[16]\nSize=16\nType=Fixed\n\n[32]\nSize=32\nType=Fixed\n");
    auto icon = [&](const char* dir, const char* name, QRgb colour) {
        const int side = QString(dir).toInt();
        QImage picture(side, side, QImage::Format_ARGB32);
        picture.fill(colour);
        QDir().mkpath(folder.File(QString("quillet-test/") + dir));
        picture.save(folder.File(QString("quillet-test/%1/%2.png").arg(dir, name)));
    };
    for (const char* side : {"16", "32"}) {
        icon(side, "edit-copy", 0xFFFF0000);
        icon(side, "zoom-in", 0xFF00FF00);
        icon(side, "my-own-icon", 0xFF000000);
        icon(side, "edit", 0xFF000000);
    }
    icon("16", "folder", 0x800000FF);  // half transparent blue
}

struct IconWindow : WorkspaceFixture {
    // Two clicks through the X server (in device pixels), as a user's double click.
    void DoubleClick(QListWidget* list, QPoint inViewport) {
        const QPoint at =
            (QPointF(list->viewport()->mapToGlobal(inViewport)) * list->devicePixelRatioF())
                .toPoint();
        testx11::Click(at);
        testx11::Click(at);
        testx11::Pump(150);
    }
    QPoint Centre(QListWidget* list, int row) {
        return list->visualItemRect(list->item(row)).center();
    }
    void Show(CIconDlg& window) {
        window.show();
        ASSERT_TRUE(testx11::PumpUntil([&] { return window.isActiveWindow(); }));
    }
    QRgb CapturePixel(int slot, int x, int y) {
        return MakeBitmap(*preview->Slot(slot)->Image()).pixel(x, y);
    }
};

}  // namespace

TEST_F(IconWindow, EachModeShowsItsOwnControlsInsideTheSkin) {
    for (const int mode : {CIconDlg::kSystemIcons, CIconDlg::kExtractIcon}) {
        CIconDlg window(mode, preview.get());
        Show(window);
        const bool extract = mode == CIconDlg::kExtractIcon;
        EXPECT_EQ(window.systemList()->isVisible(), !extract);
        EXPECT_EQ(window.fileList()->isVisible(), extract);
        EXPECT_EQ(window.browseButton()->isVisible(), extract);
        EXPECT_EQ(window.pathEdit()->isVisible(), extract);
        EXPECT_FALSE(window.findChild<QWidget*>("id1075")->isVisible());
        EXPECT_EQ(window.closeButton()->TipText(), "Exit Program!");
        EXPECT_EQ(window.browseButton()->TipText(), "Browse for a DLL or EXE!");
        EXPECT_EQ(window.size(), QSize(262, 180));
        for (QWidget* control : window.findChildren<QWidget*>(QRegularExpression("^id\\d+$"))) {
            if (!control->isVisible()) continue;
            EXPECT_TRUE(window.skinRegion().contains(control->geometry()))
                << control->objectName().toStdString();
        }
        QListWidget* list = extract ? window.fileList() : window.systemList();
        const QPoint corner = list->viewport()->mapToGlobal(
            QPoint(list->viewport()->width() - 2, list->viewport()->height() - 2));
        testx11::Pump(50);
        EXPECT_EQ(
            testx11::GrabScreen(QRect(corner * list->devicePixelRatioF(), QSize(1, 1))).pixel(0, 0),
            qRgb(164, 170, 172));
        window.closeButton()->click();
        EXPECT_FALSE(window.isVisible());
    }
}

TEST_F(IconWindow, ExtractedIconsAreListedAndTheOneDoubleClickedBecomesACapture) {
    home.Write("THREE.EXE", PeFile({{{32, 32, testpe::SolidBitmap(32, 0xFF0000)}},
                                    {{32, 32, testpe::SolidBitmap(32, 0x00FF00)}},
                                    {{32, 32, testpe::SolidBitmap(32, 0x0000FF, true)}}}));
    home.Write("plain.dll", QByteArray(2048, 'x'));
    App()->baseFolder = home.path().toStdString() + "/";
    CIconDlg window(CIconDlg::kExtractIcon, preview.get());
    Show(window);

    // Browse: the prompt starts in the program's folder and shows names in capitals too.
    QTimer::singleShot(0, [&] {
        testx11::PumpUntil(
            [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); });
        auto* prompt = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(prompt->nameFilters(), QStringList({"EXE Files (*.exe)", "DLL Files (*.dll)"}));
        EXPECT_EQ(QDir(prompt->directory()).absolutePath(), QDir(home.path()).absolutePath());
        auto* view = prompt->findChild<QAbstractItemView*>("treeView");
        auto shown = [view] {
            QStringList names;
            for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row)
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            return names;
        };
        EXPECT_TRUE(testx11::PumpUntil([&] { return shown().contains("THREE.EXE"); }));
        EXPECT_FALSE(shown().contains("plain.dll"));  // the first filter: programs
        prompt->findChild<QLineEdit*>("fileNameEdit")->setText(home.File("THREE.EXE"));
        static_cast<QDialog*>(prompt)->accept();
        if (prompt->isVisible()) prompt->reject();  // a failure, not a hang
    });
    window.browseButton()->click();

    QListWidget* list = window.fileList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(window.pathEdit()->text(), home.File("THREE.EXE"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list->item(i)->text(), QString("Icon%1.ico").arg(i));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return list->hasFocus(); }));

    // The third icon: its colour plane, the mask's quarter black.
    DoubleClick(list, Centre(list, 2));
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview->number() == 1; }));
    const CCaptureRecord* record = preview->Slot(preview->current());
    EXPECT_EQ(record->cachePath, home.File("cache/Icon-0.ico").toStdString());
    EXPECT_TRUE(home.Exists("cache/Icon-0.ico"));
    EXPECT_EQ(record->iconFlag, 1);
    EXPECT_EQ(CapturePixel(preview->current(), 24, 24), qRgb(0, 0, 255));
    EXPECT_EQ(CapturePixel(preview->current(), 2, 2), qRgb(0, 0, 0));

    // Empty space records no item: its double click adds nothing.
    DoubleClick(list, QPoint(list->viewport()->width() - 3, list->viewport()->height() - 3));
    testx11::Pump(200);
    EXPECT_EQ(preview->number(), 1);

    // A file without icons leaves the items; they hand nothing over any more.
    window.ExtractFrom(home.File("plain.dll"));
    EXPECT_EQ(window.iconCount(), 0);
    EXPECT_EQ(list->count(), 3);
    DoubleClick(list, Centre(list, 1));
    testx11::Pump(200);
    EXPECT_EQ(preview->number(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(IconWindow, SystemIconsAreTheThemesStandardIconsInOrder) {
    TempFolder themes;
    WriteTestTheme(themes);
    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString theme = QIcon::themeName();
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName("quillet-test");

    {
        CIconDlg window(CIconDlg::kSystemIcons, preview.get());
        Show(window);
        QListWidget* list = window.systemList();
        ASSERT_EQ(list->count(), 3);  // edit-copy, zoom-in (actions), folder (places)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(list->item(i)->text(), QString("Icon%1.ico").arg(i));
        EXPECT_EQ(list->item(2)->toolTip(), "folder");
        EXPECT_EQ(list->currentRow(), 0);

        // The 16-pixel folder enlarged to 32 x 32 device pixels, composited on black.
        DoubleClick(list, Centre(list, 2));
        ASSERT_TRUE(testx11::PumpUntil([&] { return preview->number() == 1; }));
        const CCaptureRecord* record = preview->Slot(preview->current());
        EXPECT_EQ(record->FileName(), "Icon-0.ico");
        EXPECT_EQ(record->Image()->GetWidth(), 32u);
        EXPECT_EQ(record->Image()->GetHeight(), 32u);
        const QRgb centre = CapturePixel(preview->current(), 16, 16);
        EXPECT_NEAR(qBlue(centre), 128, 2);
        EXPECT_EQ(qRed(centre), 0);
    }
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(theme);
}

// A file whose names all share one 65,535-entry language directory: the window lists what the
// reader's budget allowed and says the file was cut short.
TEST_F(IconWindow, AnAmplifyingFileIsListedAsFarAsReadAndSaidToBeCutShort) {
    const testpe::Bytes file = testpe::AmplifyingPe(65535, 1, 65535);
    home.Write("SHARED.DLL", QByteArray(reinterpret_cast<const char*>(file.data()),
                                        static_cast<qsizetype>(file.size())));
    CIconDlg window(CIconDlg::kExtractIcon, preview.get());
    Show(window);
    QElapsedTimer timer;
    timer.start();
    window.ExtractFrom(home.File("SHARED.DLL"));
    std::printf("listing the file took %lld ms\n", static_cast<long long>(timer.elapsed()));
    EXPECT_GT(window.iconCount(), 0);
    EXPECT_EQ(window.fileList()->count(), window.iconCount());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("the file was cut short after " +
                               std::to_string(window.iconCount()) + " icons"),
              std::string::npos)
        << messages[0];
}
