#include "browser/browser_access.h"

#include "platform/x11_windows.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <cmath>

namespace browser {

const char* const kUnreachableMessage =
    "Quillet cannot reach this browser. Start it with --remote-debugging-port=9222 and a "
    "separate --user-data-dir to capture its pages.";

const char* const kNoPageMessage =
    "Quillet found no web page in this browser window. Only the pages of the browser started "
    "with --remote-debugging-port=9222 can be captured.";

const char* const kNoVisiblePageMessage =
    "Quillet found no visible web page in the browser started with "
    "--remote-debugging-port=9222. Show the page in a browser window and try again.";

namespace {

// The longest title or address a choice shows.
constexpr int kMaxLabelChars = 300;

// The WM_CLASS classes of the Chromium-family browsers, compared without regard to case.
constexpr const char* kBrowserClasses[] = {
    "chromium",
    "chromium-browser",
    "google-chrome",
    "google-chrome-beta",
    "google-chrome-unstable",
    "brave-browser",
    "microsoft-edge",
    "microsoft-edge-beta",
    "vivaldi-stable",
    "opera",
    "yandex-browser",
};

std::unique_ptr<CurrentPage>& Current() {
    static std::unique_ptr<CurrentPage> page;
    return page;
}

// What the match reads of a page, in one evaluation.
constexpr const char* kPageFacts =
    "JSON.stringify({type: document.contentType, visibility: document.visibilityState, "
    "ratio: window.devicePixelRatio, title: document.title})";

// Opens a page, its isolated world, and reads its facts; null for a page that cannot be read.
std::unique_ptr<CurrentPage> OpenPage(int port, const QString& targetId, QJsonObject& facts) {
    auto page = std::make_unique<CurrentPage>();
    page->targetId = targetId;
    if (!page->session.Open(port, "page/" + targetId)) return nullptr;
    const auto tree = page->session.Call("Page.getFrameTree");
    if (!tree) return nullptr;
    const QString frameId =
        tree->value("frameTree").toObject().value("frame").toObject().value("id").toString();
    if (frameId.isEmpty()) return nullptr;
    page->frameId = frameId;
    const auto world = page->session.Call("Page.createIsolatedWorld",
                                          {{"frameId", frameId}, {"worldName", "quillet"}});
    if (!world) return nullptr;
    page->contextId = world->value("executionContextId").toInt();
    if (!page->contextId) return nullptr;
    const auto text = page->Evaluate(kPageFacts);
    if (!text || !text->isString()) return nullptr;
    facts = QJsonDocument::fromJson(text->toString().toUtf8()).object();
    page->title = facts.value("title").toString();
    const double ratio = facts.value("ratio").toDouble(1);
    page->pixelRatio = ratio > 0 && ratio <= 16 ? ratio : 1;
    return page;
}

// Device pixels per DIP: the screen's scale factor, which turns the browser's window bounds into
// the screen's pixels. The page's pixel ratio holds the page zoom as well, which the layout
// metrics give apart (CSS pixels to DIPs).
double ScreenScale(CurrentPage& page) {
    const auto metrics = page.session.Call("Page.getLayoutMetrics");
    const double zoom =
        metrics ? metrics->value("cssVisualViewport").toObject().value("zoom").toDouble(1) : 1;
    const double scale = zoom > 0 ? page.pixelRatio / zoom : page.pixelRatio;
    return scale > 0 && scale <= 16 ? scale : 1;
}

// The left edge of the browser window that shows a target, in DIPs (device-independent pixels).
std::optional<int> WindowLeft(devtools::Session& session, const QString& targetId) {
    const auto window = session.Call("Browser.getWindowForTarget", {{"targetId", targetId}});
    if (!window) return std::nullopt;
    const QJsonValue left = window->value("bounds").toObject().value("left");
    if (!left.isDouble()) return std::nullopt;
    return left.toInt();
}

// A page target the endpoint lists.
struct Target {
    QString id;
    QString url;
};

// The page targets of the endpoint's list, in its order.
std::vector<Target> PageTargets(const QByteArray& list) {
    std::vector<Target> targets;
    for (const QJsonValue& item : QJsonDocument::fromJson(list).array()) {
        const QJsonObject target = item.toObject();
        const QString id = target.value("id").toString();
        if (target.value("type").toString() != "page" || id.isEmpty()) continue;
        // The target id becomes a path: nothing but the characters ids are made of.
        if (id.size() > 64 || id.contains(QRegularExpression("[^A-Za-z0-9_-]"))) continue;
        targets.push_back({id, target.value("url").toString()});
    }
    return targets;
}

// Whether the facts a page reports are those of an HTML document shown on the screen.
bool ShownHtml(const QJsonObject& facts) {
    return facts.value("type").toString() == "text/html" &&
           facts.value("visibility").toString() == "visible";
}

}  // namespace

bool IsBrowserClass(const QString& wmClass) {
    for (const char* name : kBrowserClasses) {
        if (wmClass.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

std::optional<QJsonValue> CurrentPage::Evaluate(const QString& expression) {
    return session.Evaluate(expression, contextId);
}

CurrentPage* CurrentBrowser() {
    return Current().get();
}

void ClearCurrentBrowser() {
    Current().reset();
}

MatchResult FindBrowser(unsigned long pickedWindow) {
    ClearCurrentBrowser();
    platform::XWindow top = platform::ManagedClientOf(pickedWindow);
    if (!top) top = platform::TopLevelOf(pickedWindow);
    const auto state = platform::WindowStateOf(top);
    if (!state) return MatchResult::NoMatch;
    const int topLeft = state->area.left();

    const int port = devtools::EndpointPort();
    const std::optional<QByteArray> list = devtools::HttpGet(port, "/json/list");
    if (!list) return MatchResult::Unreachable;

    QElapsedTimer clock;
    clock.start();
    int examined = 0;
    std::unique_ptr<CurrentPage> match;
    for (const Target& target : PageTargets(*list)) {
        if (++examined > kMaxExaminedPages || clock.elapsed() > kPageSearchMs) break;
        const QString& id = target.id;
        QJsonObject facts;
        std::unique_ptr<CurrentPage> page = OpenPage(port, id, facts);
        if (!page || !ShownHtml(facts)) continue;
        // A window's left edge is a whole number of DIPs: on the screen it lies within one DIP
        // of the edge the bounds give.
        const std::optional<int> left = WindowLeft(page->session, id);
        const double scale = ScreenScale(*page);
        if (!left || std::abs(*left * scale - topLeft) >= std::max(1.0, scale)) continue;
        match = std::move(page);  // a later match replaces an earlier one
    }
    Current() = std::move(match);
    return Current() ? MatchResult::Matched : MatchResult::NoMatch;
}

MatchResult FindVisiblePage(const PageChooser& choose) {
    ClearCurrentBrowser();
    const int port = devtools::EndpointPort();
    const std::optional<QByteArray> list = devtools::HttpGet(port, "/json/list");
    if (!list) return MatchResult::Unreachable;

    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<CurrentPage>> shown;
    std::vector<PageLabel> labels;
    int examined = 0;
    for (const Target& target : PageTargets(*list)) {
        if (++examined > kMaxExaminedPages || clock.elapsed() > kPageSearchMs ||
            shown.size() >= kMaxShownPages)
            break;
        QJsonObject facts;
        std::unique_ptr<CurrentPage> page = OpenPage(port, target.id, facts);
        if (!page || !ShownHtml(facts)) continue;
        labels.push_back({page->title.left(kMaxLabelChars), target.url.left(kMaxLabelChars)});
        shown.push_back(std::move(page));
    }
    if (shown.empty()) return MatchResult::NoMatch;
    int chosen = 0;
    if (shown.size() > 1) {
        const std::optional<int> answer = choose ? choose(labels) : std::nullopt;
        if (!answer || *answer < 0 || *answer >= int(shown.size())) return MatchResult::Cancelled;
        chosen = *answer;
    }
    Current() = std::move(shown[size_t(chosen)]);
    return MatchResult::Matched;
}

}  // namespace browser
