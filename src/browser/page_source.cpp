#include "browser/page_source.h"

#include "app/quillet_app.h"
#include "browser/browser_access.h"
#include "platform/replacing_file.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>

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

// Which of the addresses the browser's HTTP cache holds, in their order; nothing when the browser
// cannot be asked. The page's network is offline while the cache is asked, so an address the cache
// does not hold fails at once instead of being fetched; a response sent with "Cache-Control:
// no-store" is never kept there. This works the same for a page loaded before Quillet came, whose
// response headers no one recorded. The requests are those of an image element (no-cors, with
// credentials, any age), made from a hidden frame of the page's origin: a fetch of the page's own
// document would take the image's place among the resources Page.getResourceContent reads, and
// the frame shares the page's cache partition. The look-up is one short evaluation; should the
// session end half-way, the browser drops the offline state with it.
std::optional<QJsonArray> HeldInHttpCache(browser::CurrentPage& page, const QJsonArray& addresses) {
    const QJsonObject offline{
        {"offline", true}, {"latency", 0}, {"downloadThroughput", -1}, {"uploadThroughput", -1}};
    QJsonObject online = offline;
    online["offline"] = false;
    if (!page.session.Call("Network.enable") ||
        !page.session.Call("Network.emulateNetworkConditions", offline)) {
        return std::nullopt;
    }
    const auto held = page.session.Evaluate(
        QString("new Promise((done) => { const frame = document.createElement('iframe'); "
                "frame.style.display = 'none'; document.documentElement.appendChild(frame); "
                "const look = (a) => frame.contentWindow.fetch(a, {cache: 'force-cache', "
                "mode: 'no-cors', credentials: 'include'}).then(() => true, () => false); "
                "Promise.all(%1.map(look)).then((held) => { frame.remove(); done(held); }, "
                "() => { frame.remove(); done(null); }); })")
            .arg(QString::fromUtf8(QJsonDocument(addresses).toJson(QJsonDocument::Compact))),
        page.contextId, devtools::kCallTimeoutMs, true);
    page.session.Call("Network.emulateNetworkConditions", online);
    page.session.Call("Network.disable");
    if (!held || !held->isArray() || held->toArray().size() != addresses.size())
        return std::nullopt;
    return held->toArray();
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
    const QJsonArray addresses = sources->toArray();
    const std::optional<QJsonArray> held = HeldInHttpCache(*page, addresses);
    if (!held) return;  // whether an image may be kept is not known: none is saved
    page->session.Call("Page.enable");
    for (qsizetype i = 0; i < held->size(); ++i) {
        const QString address = addresses.at(i).toString();
        const QString name = browser::SafeName(FileNameOf(address));
        if (address.isEmpty() || name.isEmpty() || !held->at(i).toBool()) continue;
        const auto content = page->session.Call("Page.getResourceContent",
                                                {{"frameId", page->frameId}, {"url", address}});
        if (!content) continue;  // no longer among the page's resources
        const QString text = content->value("content").toString();
        const QByteArray bytes = content->value("base64Encoded").toBool()
                                     ? QByteArray::fromBase64(text.toLatin1())
                                     : text.toUtf8();
        WriteFile((folder + name).toStdString(), bytes);
    }
}
