#include "editor/html_preview_dlg.h"

#include "ids.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>

#include <algorithm>

namespace {
void (*g_showHook)(CHtmlPreviewDlg&) = nullptr;
}

void CHtmlPreviewDlg::SetShowHook(void (*hook)(CHtmlPreviewDlg&)) {
    g_showHook = hook;
}

CHtmlPreviewDlg::CHtmlPreviewDlg(const QString& pagePath, int width, int height, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QString("id%1").arg(ids::kHtmlPreviewDialog));
    setWindowTitle(QString());
    button_ = new QPushButton("Button1", this);
    button_->setObjectName(QString("id%1").arg(ids::kHtmlPreviewButton));
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, &QDialog::accept);

    // Within the screen less 10 pixels across and 42 down, at the screen's top-left corner.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    requested_ =
        QSize(std::min(width, available.width() - 10), std::min(height, available.height() - 42));
    move(available.topLeft());
    resize(requested_);

    view_ = new QTextBrowser(this);
    view_->setObjectName(QString("id%1").arg(ids::kHtmlPreviewPane));
    view_->setOpenExternalLinks(false);
    view_->setOpenLinks(false);
    // The page's own folder resolves its relative image names.
    const QFileInfo page(pagePath);
    view_->setSearchPaths({page.absolutePath()});
    view_->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
    PlaceView();
    viewCreated_ = true;
}

CHtmlPreviewDlg::~CHtmlPreviewDlg() = default;

int CHtmlPreviewDlg::Run() {
    if (g_showHook) {
        g_showHook(*this);
        return QDialog::Accepted;
    }
    return exec();
}

// The page fills the client area above "Button1", which stays reachable at the bottom right.
void CHtmlPreviewDlg::PlaceView() {
    const QSize buttonSize = button_->sizeHint();
    const QRect client = rect();
    view_->setGeometry(client.left(), client.top(), client.width(),
                       std::max(0, client.height() - buttonSize.height() - 8));
    button_->setGeometry(client.right() - buttonSize.width() - 4,
                         client.bottom() - buttonSize.height() - 3, buttonSize.width(),
                         buttonSize.height());
}

void CHtmlPreviewDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (viewCreated_) PlaceView();
}
