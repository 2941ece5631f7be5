#include "editor/html_preview_dlg.h"

#include "ids.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextDocument>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <initializer_list>

namespace {

void (*g_showHook)(CHtmlPreviewDlg&) = nullptr;

// How much of a page is searched for its body's colours.
constexpr qint64 kHeadBudget = 64 * 1024;

// The value of attribute `name` in a tag's text ("text=#FFFFFF", quoted or not), or empty.
QString AttributeValue(const QString& tag, const QString& name) {
    const QRegularExpression pattern(
        QString(R"re((?:^|\s)%1\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re").arg(name),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(tag);
    if (!match.hasMatch()) return {};
    for (int i = 1; i <= 3; ++i) {
        if (match.capturedStart(i) >= 0) return match.captured(i);
    }
    return {};
}

// The text browser takes a page's background from its body but draws text and links in its own
// palette's colours: the body's text, link and vlink colours go into that palette, so the page
// shows as the file describes it.
void TakeBodyColours(QTextBrowser& view, const QString& pagePath) {
    QFile page(pagePath);
    if (!page.open(QIODevice::ReadOnly)) return;
    const QString head = QString::fromLatin1(page.read(kHeadBudget));
    const QRegularExpression bodyTag("<body(\\s[^>]*)?>",
                                     QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch body = bodyTag.match(head);
    if (!body.hasMatch()) return;
    const QString attributes = body.captured(1);
    QPalette palette = view.palette();
    const struct {
        const char* attribute;
        std::initializer_list<QPalette::ColorRole> roles;
    } kColours[] = {
        {"bgcolor", {QPalette::Base}},
        {"text", {QPalette::Text, QPalette::WindowText}},
        {"link", {QPalette::Link}},
        {"vlink", {QPalette::LinkVisited}},
    };
    for (const auto& colour : kColours) {
        const QColor value = QColor::fromString(AttributeValue(attributes, colour.attribute));
        if (!value.isValid()) continue;
        for (QPalette::ColorRole role : colour.roles) {
            palette.setColor(QPalette::Active, role, value);
            palette.setColor(QPalette::Inactive, role, value);
        }
    }
    view.setPalette(palette);
    // Links take their colour from the style sheet rather than from the palette.
    const QColor link = QColor::fromString(AttributeValue(attributes, "link"));
    if (link.isValid())
        view.document()->setDefaultStyleSheet(QString("a { color: %1; }").arg(link.name()));
}

// The largest page the preview reads.
constexpr qint64 kPageBudget = 16 * 1024 * 1024;

// Reads pages as a browser would: a character reference written without its ';' (the pages'
// "&nbsp" filler cells) is still the character, where the text browser would show it as text.
class CPageBrowser : public QTextBrowser {
  public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        if (type != QTextDocument::HtmlResource || !name.isLocalFile())
            return QTextBrowser::loadResource(type, name);
        QFile page(name.toLocalFile());
        if (!page.open(QIODevice::ReadOnly)) return {};
        QByteArray html = page.read(kPageBudget);
        static const QRegularExpression unterminated("&(nbsp|amp|lt|gt|quot)(?![;A-Za-z0-9])");
        QString text = QString::fromLatin1(html);
        text.replace(unterminated, "&\\1;");
        return text.toLatin1();
    }
};

}  // namespace

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

    view_ = new CPageBrowser(this);
    view_->setObjectName(QString("id%1").arg(ids::kHtmlPreviewPane));
    view_->setOpenExternalLinks(false);
    view_->setOpenLinks(false);
    // The page's own folder resolves its relative image names.
    const QFileInfo page(pagePath);
    view_->setSearchPaths({page.absolutePath()});
    TakeBodyColours(*view_, page.absoluteFilePath());
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
