#include "editor/main_frame.h"

#include "app/quillet_app.h"
#include "ids.h"
#include "platform/keyboard_state.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

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
    return CreateToolBar() && CreateStatusBar();
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
    // The application's own commands; the editor's documents add theirs.
    return App() && App()->onCommand(id);
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
