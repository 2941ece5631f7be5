#include "editor/main_frame.h"

#include "app/profile.h"
#include "app/quillet_app.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_print.h"
#include "editor/lumo_view.h"
#include "ids.h"
#include "platform/keyboard_state.h"

#include <QAction>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPageSetupDialog>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <vector>

namespace {

struct ToolButton {
    int id;  // 0 is a separator
    const char* text;
    const char* themeIcon;
    QStyle::StandardPixmap fallback;
};

// The tool bar: New, Open, Save | Cut, Copy, Paste | Print | About.
constexpr ToolButton kToolButtons[] = {
    {ids::kCmdFileNew, "New", "document-new", QStyle::SP_FileIcon},
    {ids::kCmdFileOpen, "Open", "document-open", QStyle::SP_DialogOpenButton},
    {ids::kCmdFileSave, "Save", "document-save", QStyle::SP_DialogSaveButton},
    {0, nullptr, nullptr, QStyle::SP_CustomBase},
    {ids::kCmdEditCut, "Cut", "edit-cut", QStyle::SP_DialogDiscardButton},
    {ids::kCmdEditCopy, "Copy", "edit-copy", QStyle::SP_FileDialogContentsView},
    {ids::kCmdEditPaste, "Paste", "edit-paste", QStyle::SP_DialogApplyButton},
    {0, nullptr, nullptr, QStyle::SP_CustomBase},
    {ids::kCmdFilePrint, "Print", "document-print", QStyle::SP_ComputerIcon},
    {0, nullptr, nullptr, QStyle::SP_CustomBase},
    {ids::kCmdAppAbout, "About", "help-about", QStyle::SP_MessageBoxInformation},
};

struct MenuItem {
    int id;  // 0: separator; -1: pop-up holding the items up to its -2; -3: recent files
    const char* text;
    const char* shortcut;
};

constexpr int kPopup = -1;
constexpr int kPopupEnd = -2;
constexpr int kRecentFiles = -3;

// The editor's menus, each a pop-up of the menu bar.
constexpr MenuItem kMenus[] = {
    {kPopup, "&File", nullptr},
    {ids::kCmdFileNew, "&New\tCtrl+N", "Ctrl+N"},
    {ids::kCmdFileOpen, "&Open...\tCtrl+O", "Ctrl+O"},
    {ids::kCmdFileClose, "&Close", nullptr},
    {ids::kCmdFileSave, "&Save\tCtrl+S", "Ctrl+S"},
    {ids::kCmdFileSaveAs, "Save &As...", nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdFilePrint, "&Print...\tCtrl+P", "Ctrl+P"},
    {ids::kCmdFilePrintPreview, "Print Pre&view", nullptr},
    {ids::kCmdFilePrintSetup, "P&rint Setup...", nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdMailRecipient, "Mail recipient (as attachment)...", nullptr},
    {0, nullptr, nullptr},
    {kRecentFiles, nullptr, nullptr},
    {ids::kCmdAppExit, "E&xit", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Edit", nullptr},
    {ids::kCmdEditUndo, "&Undo\tCtrl+Z", "Ctrl+Z"},
    {ids::kCmdEditRedo, "&Redo", nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdEditCut, "Cu&t\tCtrl+X", "Ctrl+X"},
    {ids::kCmdEditCopy, "&Copy\tCtrl+C", "Ctrl+C"},
    {ids::kCmdEditPaste, "&Paste\tCtrl+V", "Ctrl+V"},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&View", nullptr},
    {ids::kCmdViewToolBar, "&Toolbar", nullptr},
    {ids::kCmdViewStatusBar, "&Status Bar", nullptr},
    {0, nullptr, nullptr},
    {kPopup, "Zoom", nullptr},
    {ids::kCmdZoomIn, "In", nullptr},
    {ids::kCmdZoomOut, "Out", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Image", nullptr},
    {ids::kCmdCrop, "Crop", nullptr},
    {ids::kCmdReplicate, "Replicate", nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdLighten, "Lighten", nullptr},
    {ids::kCmdDarken, "Darken", nullptr},
    {ids::kCmdMirror, "Mirror", nullptr},
    {kPopup, "Rotate", nullptr},
    {ids::kCmdRotateRight, "Right", nullptr},
    {ids::kCmdRotateLeft, "Left", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "Colors", nullptr},
    {ids::kCmdColorsReduce, "Reduce", nullptr},
    {ids::kCmdColorsIncrease, "Increase", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {ids::kCmdGreyscale, "Greyscale", nullptr},
    {ids::kCmdResize, "Resize", nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdAnnotate, "Annotate", nullptr},
    {ids::kCmdInformation, "Information", nullptr},
    {ids::kCmdEncryption, "Encryption", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Annotate", nullptr},
    {ids::kCmdAnnotateToolFirst + 0, "&Select\tV", "V"},
    {ids::kCmdAnnotateToolFirst + 1, "&Pen\tP", "P"},
    {ids::kCmdAnnotateToolFirst + 2, "&Line\tL", "L"},
    {ids::kCmdAnnotateToolFirst + 3, "&Arrow\tA", "A"},
    {ids::kCmdAnnotateToolFirst + 4, "&Rectangle\tR", "R"},
    {ids::kCmdAnnotateToolFirst + 5, "&Ellipse\tE", "E"},
    {ids::kCmdAnnotateToolFirst + 6, "&Marker\tM", "M"},
    {ids::kCmdAnnotateToolFirst + 7, "&Text\tT", "T"},
    {ids::kCmdAnnotateToolFirst + 8, "&Numbered step\tN", "N"},
    {ids::kCmdAnnotateToolFirst + 9, "Pi&xelate\tX", "X"},
    {ids::kCmdAnnotateToolFirst + 10, "&Blur\tB", "B"},
    {ids::kCmdAnnotateToolFirst + 11, "Solid redaction bo&x\tK", "K"},
    {0, nullptr, nullptr},
    {kPopup, "&Colour", nullptr},
    {ids::kCmdAnnotateColorFirst + 0, "Red", nullptr},
    {ids::kCmdAnnotateColorFirst + 1, "Orange", nullptr},
    {ids::kCmdAnnotateColorFirst + 2, "Yellow", nullptr},
    {ids::kCmdAnnotateColorFirst + 3, "Green", nullptr},
    {ids::kCmdAnnotateColorFirst + 4, "Blue", nullptr},
    {ids::kCmdAnnotateColorFirst + 5, "Purple", nullptr},
    {ids::kCmdAnnotateColorFirst + 6, "Black", nullptr},
    {ids::kCmdAnnotateColorFirst + 7, "White", nullptr},
    {ids::kCmdAnnotateColorOther, "Other...", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Width", nullptr},
    {ids::kCmdAnnotateWidthFirst + 0, "Thin", nullptr},
    {ids::kCmdAnnotateWidthFirst + 1, "Medium", nullptr},
    {ids::kCmdAnnotateWidthFirst + 2, "Thick", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {0, nullptr, nullptr},
    {ids::kCmdDeleteAnnotation, "&Delete annotation\tDel", "Del"},
    {ids::kCmdApplyAnnotations, "A&pply annotations", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "HT&ML", nullptr},
    {ids::kCmdImageAsHtml, "Image as HTML page", nullptr},
    {ids::kCmdThumbnailGallery, "Thumbnail Gallery", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Window", nullptr},
    {ids::kCmdWindowCascade, "&Cascade", nullptr},
    {ids::kCmdWindowTile, "&Tile", nullptr},
    {ids::kCmdWindowArrange, "&Arrange Icons", nullptr},
    {kPopupEnd, nullptr, nullptr},
    {kPopup, "&Help", nullptr},
    {ids::kCmdAppAbout, "&About Quillet...", nullptr},
    {kPopupEnd, nullptr, nullptr},
};

bool IsRecentFile(int id) {
    return id >= ids::kCmdFileMru1 && id < ids::kCmdFileMru1 + 4;
}

bool IsToolCommand(int id) {
    return id >= ids::kCmdAnnotateToolFirst &&
           id < ids::kCmdAnnotateToolFirst + kAnnotationToolCount;
}

bool IsColorCommand(int id) {
    return id >= ids::kCmdAnnotateColorFirst && id < ids::kCmdAnnotateColorFirst + kPaletteSize;
}

bool IsWidthCommand(int id) {
    return id >= ids::kCmdAnnotateWidthFirst && id < ids::kCmdAnnotateWidthFirst + kWidthChoices;
}

// The Annotate menu's items that show a check mark: the chosen tool, colour and width.
bool IsAnnotateChoice(int id) {
    return IsToolCommand(id) || IsColorCommand(id) || IsWidthCommand(id);
}

}  // namespace

CMainFrame::CMainFrame() {
    setObjectName("CMainFrame");
    setWindowTitle("Quillet");
    setWindowIcon(QIcon(":/icons/quillet.png"));
    mdiArea_ = new QMdiArea(this);
    setCentralWidget(mdiArea_);
    setAcceptDrops(true);
    resize(900, 650);
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::Create() {
    docTemplate_ = std::make_unique<CDocTemplate>(mdiArea_);
    for (int i = 0; i < kAnnotationToolCount; ++i) {
        const auto tool = static_cast<AnnotationTool>(i);
        toolbox_.ReadProfileText(tool, profile::ReadString(CAnnotationToolbox::ProfileKey(tool)));
    }
    if (!CreateToolBar() || !CreateAnnotateToolBar() || !CreateStatusBar()) return false;
    CreateMenus();
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] { UpdateCommandUI(); });
    UpdateCommandUI();
    return true;
}

void CMainFrame::CreateMenus() {
    std::vector<QMenu*> open;  // the pop-ups being filled, innermost last
    QMenu* menu = nullptr;
    for (const MenuItem& item : kMenus) {
        if (item.id == kPopup) {
            menu = menu ? menu->addMenu(item.text) : menuBar()->addMenu(item.text);
            open.push_back(menu);
            connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandUI(); });
            if (!fileMenu_) fileMenu_ = menu;
            if (QString(item.text) == "&Window") windowMenu_ = menu;
        } else if (item.id == kPopupEnd) {
            open.pop_back();
            menu = open.empty() ? nullptr : open.back();
        } else if (item.id == 0) {
            menu->addSeparator();
        } else if (item.id == kRecentFiles) {
            recentAnchor_ = menu->addSeparator();
        } else {
            QAction* action = menu->addAction(QString(item.text));
            action->setData(item.id);
            action->setObjectName(QString("menu%1").arg(item.id));
            if (item.shortcut) action->setShortcut(QKeySequence(item.shortcut));
            connect(action, &QAction::triggered, this, [this, id = item.id] { onCommand(id); });
        }
    }
    connect(fileMenu_, &QMenu::aboutToShow, this, &CMainFrame::FillRecentFiles);
    FillRecentFiles();
    connect(windowMenu_, &QMenu::aboutToShow, this, &CMainFrame::FillWindowList);
    connect(mdiArea_, &QMdiArea::subWindowActivated, this, &CMainFrame::FillWindowList);
}

// The open document windows below Cascade, Tile and Arrange Icons, in the order they were
// opened: "&1" to "&9" with Alt+1 to Alt+9, the active one checked.
void CMainFrame::FillWindowList() {
    if (!windowMenu_) return;
    for (QAction* action : windowMenu_->actions()) {
        if (action->property("windowList").toBool()) {
            windowMenu_->removeAction(action);
            delete action;
        }
    }
    const QList<QMdiSubWindow*> windows = mdiArea_->subWindowList();
    if (windows.isEmpty()) return;
    QAction* separator = windowMenu_->addSeparator();
    separator->setProperty("windowList", true);
    QMdiSubWindow* active =
        mdiArea_->activeSubWindow() ? mdiArea_->activeSubWindow() : mdiArea_->currentSubWindow();
    constexpr int kListed = 9;
    for (int i = 0; i < std::min<int>(kListed, static_cast<int>(windows.size())); ++i) {
        QMdiSubWindow* window = windows[i];
        auto* action = new QAction(
            QString("&%1 %2").arg(i + 1).arg(QString(window->windowTitle()).replace('&', "&&")),
            windowMenu_);
        action->setProperty("windowList", true);
        action->setObjectName(QString("window%1").arg(i + 1));
        action->setCheckable(true);
        action->setChecked(window == active);
        action->setShortcut(QKeySequence(QString("Alt+%1").arg(i + 1)));
        connect(action, &QAction::triggered, this,
                [this, target = QPointer<QMdiSubWindow>(window)] {
                    if (!target) return;
                    if (target->isMinimized()) target->showNormal();
                    mdiArea_->setActiveSubWindow(target);
                });
        windowMenu_->addAction(action);
        // A window that goes or is renamed changes the list.
        connect(window, &QObject::destroyed, this, &CMainFrame::FillWindowList,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        connect(window, &QWidget::windowTitleChanged, this, &CMainFrame::FillWindowList,
                Qt::UniqueConnection);
    }
}

// The recent files (up to four) between the mail item and Exit, numbered "&1" to "&4".
void CMainFrame::FillRecentFiles() {
    for (QAction* action : fileMenu_->actions()) {
        if (IsRecentFile(action->data().toInt())) {
            fileMenu_->removeAction(action);
            delete action;
        }
    }
    const QStringList& files = App() ? App()->recentFiles.files() : QStringList();
    QAction* before = recentAnchor_;
    for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
        auto* action = new QAction(QString("&%1 %2").arg(i + 1).arg(files[i]), fileMenu_);
        const int id = ids::kCmdFileMru1 + i;
        action->setData(id);
        action->setObjectName(QString("menu%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { onCommand(id); });
        fileMenu_->insertAction(before, action);
        before = action;
    }
}

QAction* CMainFrame::MenuAction(int id) const {
    return findChild<QAction*>(QString("menu%1").arg(id));
}

CLumoDoc* CMainFrame::ActiveDocument() const {
    CLumoView* view = ActiveView();
    return view ? view->document() : nullptr;
}

CLumoView* CMainFrame::ActiveView() const {
    auto* frame = qobject_cast<CChildFrame*>(mdiArea_->activeSubWindow());
    if (!frame && !mdiArea_->subWindowList().isEmpty()) {
        // A hidden main frame has no active window: the last one activated counts.
        frame = qobject_cast<CChildFrame*>(mdiArea_->currentSubWindow());
    }
    return frame ? frame->view() : nullptr;
}

CommandState CMainFrame::QueryCommand(int id) const {
    CommandState state;
    CLumoView* view = ActiveView();
    CLumoDoc* doc = view ? view->document() : nullptr;
    switch (id) {
        case ids::kCmdFileNew:
        case ids::kCmdFileOpen:
        case ids::kCmdFilePrintSetup:
        case ids::kCmdAppAbout:
        case ids::kCmdAppExit:
            state.enabled = true;
            return state;
        case ids::kCmdViewToolBar:
        case ids::kCmdViewStatusBar: {
            const QWidget* bar =
                id == ids::kCmdViewToolBar
                    ? static_cast<QWidget*>(findChild<QToolBar*>(QString("id%1").arg(kToolBarId)))
                    : static_cast<QWidget*>(statusBar());
            state.enabled = true;
            state.checked = bar && !bar->isHidden();
            return state;
        }
        case ids::kCmdFileClose:
            state.enabled = doc && !doc->IsBusy();
            return state;
        case ids::kCmdWindowCascade:
        case ids::kCmdWindowTile:
        case ids::kCmdWindowArrange:
            state.enabled = !mdiArea_->subWindowList().isEmpty();
            return state;
        default:
            break;
    }
    if (IsRecentFile(id)) {
        state.enabled = App() && id - ids::kCmdFileMru1 < App()->recentFiles.files().size();
        return state;
    }
    if (IsAnnotateChoice(id) || id == ids::kCmdAnnotateColorOther) return QueryAnnotateCommand(id);
    if (view && view->Handles(id)) {
        state.enabled = view->IsEnabled(id);
        return state;
    }
    if (doc && doc->Handles(id)) return doc->UpdateCommand(id);
    // Commands without a handler (Cut, Paste) stay disabled.
    return state;
}

void CMainFrame::UpdateCommandUI() {
    for (QAction* action : findChildren<QAction*>()) {
        if (!action->data().isValid() || action->isSeparator()) continue;
        const int id = action->data().toInt();
        const CommandState state = QueryCommand(id);
        action->setEnabled(state.enabled);
        const bool checkable = id == ids::kCmdViewToolBar || id == ids::kCmdViewStatusBar ||
                               id == ids::kCmdAnnotate || IsAnnotateChoice(id);
        action->setCheckable(checkable);
        if (checkable) action->setChecked(state.checked);
        if (!state.text.isEmpty() && action->objectName().startsWith("menu"))
            action->setText(state.text);
        else if (id == ids::kCmdEditUndo && action->objectName().startsWith("menu"))
            action->setText("&Undo\tCtrl+Z");
    }
}

bool CMainFrame::CreateToolBar() {
    auto* toolBar = new QToolBar("Standard", this);
    toolBar->setObjectName(QString("id%1").arg(kToolBarId));
    toolBar->setIconSize(QSize(16, 15));
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->setMovable(true);
    for (const ToolButton& button : kToolButtons) {
        if (button.id == 0) {
            toolBar->addSeparator();
            continue;
        }
        const QIcon icon =
            QIcon::fromTheme(button.themeIcon, style()->standardIcon(button.fallback));
        QAction* action = toolBar->addAction(icon, button.text);
        action->setData(button.id);
        action->setObjectName(QString("id%1").arg(button.id));
        connect(action, &QAction::triggered, this, [this, id = button.id] { onCommand(id); });
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
    return true;
}

// The annotation tools, then the palette with its chooser, then the three widths.
bool CMainFrame::CreateAnnotateToolBar() {
    auto* toolBar = new QToolBar("Annotate", this);
    toolBar->setObjectName(QString("id%1").arg(kAnnotateBarId));
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->setMovable(true);
    auto add = [&](int id, const QIcon& icon, const QString& text) {
        QAction* action = toolBar->addAction(icon, text);
        action->setData(id);
        action->setObjectName(QString("id%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { onCommand(id); });
    };
    for (int i = 0; i < kAnnotationToolCount; ++i) {
        const AnnotationToolInfo& info = ToolInfo(static_cast<AnnotationTool>(i));
        add(ids::kCmdAnnotateToolFirst + i, ToolIcon(info.tool),
            QString("%1 (%2)").arg(info.name).arg(QChar(info.key)));
    }
    toolBar->addSeparator();
    for (int i = 0; i < kPaletteSize; ++i)
        add(ids::kCmdAnnotateColorFirst + i, ColorIcon(PaletteColor(i)), PaletteColorName(i));
    add(ids::kCmdAnnotateColorOther,
        QIcon::fromTheme("color-management", style()->standardIcon(QStyle::SP_DesktopIcon)),
        "Other colour...");
    toolBar->addSeparator();
    for (int i = 0; i < kWidthChoices; ++i)
        add(ids::kCmdAnnotateWidthFirst + i, WidthIcon(i), WidthName(i));
    addToolBar(Qt::TopToolBarArea, toolBar);
    return true;
}

AnnotationTool CMainFrame::ChoiceTool() const {
    CLumoView* view = ActiveView();
    if (view && view->SelectedAnnotation() >= 0)
        return view->document()->annotations.At(view->SelectedAnnotation()).tool();
    return toolbox_.tool();
}

CommandState CMainFrame::QueryAnnotateCommand(int id) const {
    CommandState state;
    const AnnotationTool tool = ChoiceTool();
    if (IsToolCommand(id)) {
        state.enabled = true;
        state.checked = static_cast<int>(toolbox_.tool()) == id - ids::kCmdAnnotateToolFirst;
    } else if (IsColorCommand(id) || id == ids::kCmdAnnotateColorOther) {
        state.enabled = ToolInfo(tool).hasColor;
        state.checked = state.enabled && id != ids::kCmdAnnotateColorOther &&
                        toolbox_.Color(tool) == PaletteColor(id - ids::kCmdAnnotateColorFirst);
    } else if (IsWidthCommand(id)) {
        state.enabled = ToolInfo(tool).widths[0] > 0;
        state.checked =
            state.enabled && toolbox_.WidthChoice(tool) == id - ids::kCmdAnnotateWidthFirst;
    }
    return state;
}

bool CMainFrame::OnAnnotateCommand(int id) {
    if (!IsAnnotateChoice(id) && id != ids::kCmdAnnotateColorOther) return false;
    if (!QueryAnnotateCommand(id).enabled) return true;
    if (IsToolCommand(id)) {
        toolbox_.SetTool(static_cast<AnnotationTool>(id - ids::kCmdAnnotateToolFirst));
        for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
            if (auto* frame = qobject_cast<CChildFrame*>(window); frame && frame->view())
                frame->view()->ToolChanged();
        }
        return true;
    }
    const AnnotationTool tool = ChoiceTool();
    if (IsWidthCommand(id)) {
        toolbox_.SetWidthChoice(tool, id - ids::kCmdAnnotateWidthFirst);
        SaveToolSettings(tool);
        return true;
    }
    QColor color;
    if (id == ids::kCmdAnnotateColorOther) {
        color = QColorDialog::getColor(toolbox_.Color(tool), this, "Annotation colour");
        if (!color.isValid()) return true;
    } else {
        color = PaletteColor(id - ids::kCmdAnnotateColorFirst);
    }
    toolbox_.SetColor(tool, color);
    SaveToolSettings(tool);
    // A selected mark takes the colour too.
    if (CLumoView* view = ActiveView(); view && view->SelectedAnnotation() >= 0)
        view->SetSelectedColor(toolbox_.Color(tool));
    return true;
}

void CMainFrame::SaveToolSettings(AnnotationTool tool) {
    profile::WriteString(CAnnotationToolbox::ProfileKey(tool), toolbox_.ProfileText(tool));
}

bool CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QString("id%1").arg(kStatusBarId));
    messagePane_ = new QLabel("Ready", bar);
    bar->addWidget(messagePane_, 1);
    for (auto [label, text] : {std::pair{&capsIndicator_, "CAP"}, std::pair{&numIndicator_, "NUM"},
                               std::pair{&scrollIndicator_, "SCRL"}}) {
        *label = new QLabel(bar);
        (*label)->setObjectName(text);
        (*label)->setMinimumWidth((*label)->fontMetrics().horizontalAdvance("SCRL") + 8);
        (*label)->setAlignment(Qt::AlignCenter);
        (*label)->setProperty("indicatorText", text);
        bar->addPermanentWidget(*label);
    }
    indicatorTimer_ = new QTimer(this);
    indicatorTimer_->setInterval(250);
    connect(indicatorTimer_, &QTimer::timeout, this, &CMainFrame::UpdateKeyboardIndicators);
    return true;
}

void CMainFrame::UpdateKeyboardIndicators() {
    const platform::KeyboardIndicators state = platform::ReadKeyboardIndicators();
    for (auto [label, on] :
         {std::pair{capsIndicator_, state.capsLock}, std::pair{numIndicator_, state.numLock},
          std::pair{scrollIndicator_, state.scrollLock}}) {
        label->setText(on ? label->property("indicatorText").toString() : QString());
    }
}

void CMainFrame::SetMessageText(const QString& text) {
    messagePane_->setText(text);
}

bool CMainFrame::onCommand(int id) {
    bool handled = OnFrameCommand(id);
    if (!handled) {
        CLumoView* view = ActiveView();
        CLumoDoc* doc = view ? view->document() : nullptr;
        if (view && view->Handles(id)) {
            handled = view->onCommand(id);
        } else if (doc && doc->Handles(id)) {
            handled = doc->onCommand(id);
        } else if (QueryCommand(id).enabled || id == ids::kCmdAppAbout) {
            handled = App() && App()->onCommand(id);
        }
    }
    UpdateCommandUI();
    return handled;
}

bool CMainFrame::OnFrameCommand(int id) {
    if (OnAnnotateCommand(id)) return true;
    if (IsRecentFile(id)) {
        const QStringList files = App() ? App()->recentFiles.files() : QStringList();
        const int index = id - ids::kCmdFileMru1;
        if (index < files.size() && docTemplate_ && !docTemplate_->OpenDocumentFile(files[index])) {
            // A file that is gone leaves the list.
            if (!QFileInfo::exists(files[index])) {
                App()->recentFiles.Remove(index);
                App()->recentFiles.Save();
            }
        }
        return true;
    }
    switch (id) {
        case ids::kCmdViewToolBar:
            if (auto* bar = findChild<QToolBar*>(QString("id%1").arg(kToolBarId)))
                bar->setVisible(bar->isHidden());
            return true;
        case ids::kCmdViewStatusBar:
            statusBar()->setVisible(statusBar()->isHidden());
            return true;
        case ids::kCmdWindowCascade:
            mdiArea_->cascadeSubWindows();
            return true;
        case ids::kCmdWindowTile:
            mdiArea_->tileSubWindows();
            return true;
        case ids::kCmdWindowArrange:
            for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
                if (window->isMinimized()) window->showMinimized();
            }
            return true;
        case ids::kCmdFileClose:
            if (QMdiSubWindow* window = mdiArea_->activeSubWindow()) window->close();
            return true;
        case ids::kCmdAppExit:
            close();  // hides the editor until the program quits
            return true;
        case ids::kCmdFilePrintSetup: {
            QPageSetupDialog dialog(&EditorPrinter(), this);
            dialog.exec();
            return true;
        }
        default:
            return false;
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

// Dropped files open as documents.
void CMainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && docTemplate_) docTemplate_->OpenDocumentFile(url.toLocalFile());
    }
    UpdateCommandUI();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (App() && App()->quitting == 0) {
        event->ignore();
        hide();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    UpdateKeyboardIndicators();
    indicatorTimer_->start();
}

void CMainFrame::hideEvent(QHideEvent* event) {
    indicatorTimer_->stop();
    QMainWindow::hideEvent(event);
}
