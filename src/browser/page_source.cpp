#include "browser/page_source.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "platform/replacing_file.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>

#include <climits>
#include <cstdio>

namespace {

constexpr int kMaxNameBytes = NAME_MAX;

// Writes a whole file under a temporary name and renames it into place.
bool WriteFile(const std::string& path, const QByteArray& bytes) {
    if (platform::ExistsButIsNotWritable(path)) return false;
    platform::CReplacingFile file;
    if (!file.Open(path)) return false;
    if (!bytes.isEmpty() && std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file.file()) !=
                                size_t(bytes.size())) {
        file.Abandon();
        return false;
    }
    return file.Commit(platform::ReplacementPermissions(path), false);
}

// The part of an address after its last '/' or '\'; the whole address without either.
QString FileNameOf(const QString& address) {
    const int slash = std::max(address.lastIndexOf('/'), address.lastIndexOf('\\'));
    return address.mid(slash + 1);
}

}  // namespace

namespace browser {

QString SafeName(const QString& name) {
    if (name.isEmpty() || name.startsWith('.') || name.contains('/') || name.contains('\\') ||
        name.contains(QChar(0)) || name.toUtf8().size() > kMaxNameBytes) {
        return {};
    }
    return name;
}

}  // namespace browser

void SavePageSource(const std::function<void(const QString&)>& showHtml) {
    browser::CurrentPage* page = browser::CurrentBrowser();
    if (!page) return;
    const auto body = page->Evaluate("document.body ? document.body.outerHTML : null");
    if (!body || !body->isString()) return;
    const QString html = body->toString();
    if (showHtml) showHtml(html);
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(html);
    } else {
        return;  // no clipboard: nothing is saved
    }
    App()->EnsureSessionFolders();

    const QString folderName = browser::SafeName(page->title.section('.', 0, 0));
    if (folderName.isEmpty()) return;  // the page file and the images belong in that folder
    const QString folder = QString::fromStdString(App()->sessionHtmlFolder) + folderName + '/';
    if (!QDir().mkpath(folder)) return;
    const QString fileName = browser::SafeName(page->title + ".htm");
    if (!fileName.isEmpty()) WriteFile((folder + fileName).toStdString(), html.toUtf8());

    const auto sources = page->Evaluate(
        "Array.from(document.getElementsByTagName('img'), "
        "(image) => String(image.src))");
    if (!sources || !sources->isArray() || page->frameId.isEmpty()) return;
    page->session.Call("Page.enable");
    for (const QJsonValue& source : sources->toArray()) {
        const QString address = source.toString();
        const QString name = browser::SafeName(FileNameOf(address));
        if (address.isEmpty() || name.isEmpty()) continue;
        const auto content = page->session.Call("Page.getResourceContent",
                                                {{"frameId", page->frameId}, {"url", address}});
        if (!content) continue;  // not in the browser's cache
        const QString text = content->value("content").toString();
        const QByteArray bytes = content->value("base64Encoded").toBool()
                                     ? QByteArray::fromBase64(text.toLatin1())
                                     : text.toUtf8();
        WriteFile((folder + name).toStdString(), bytes);
    }
}
