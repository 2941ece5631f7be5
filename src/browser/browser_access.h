#pragma once

#include "browser/devtools_client.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The web page a browser pick acts on. A Chromium-family browser started with its DevTools port
// stands for the system's browser windows: its page list is the collection of browsers, a page
// target is a browser, and its document is read in an isolated world of the page's main frame,
// where the page's own scripts cannot change what the reads see.
namespace browser {

// Whether a managed client window's WM_CLASS class is one of a Chromium-family browser's.
bool IsBrowserClass(const QString& wmClass);

// The page a match found (the "current browser").
struct CurrentPage {
    devtools::Session session;
    QString targetId;
    QString frameId;        // the main frame
    QString title;          // the page title
    int contextId = 0;      // the isolated world
    double pixelRatio = 1;  // device pixels per CSS pixel
    // Evaluates in the isolated world.
    std::optional<QJsonValue> Evaluate(const QString& expression);
};

// The browser page the last match found; null when none did.
CurrentPage* CurrentBrowser();
void ClearCurrentBrowser();

enum class MatchResult { Matched, NoMatch, Unreachable, Cancelled };

// Matches the picked window against the visible HTML pages of the browser on the DevTools port:
// a page matches when its window's left edge, turned into device pixels by the screen's scale
// factor (never by the page zoom), is the left edge of the managed client window holding the
// picked window, within one DIP; a later match replaces an earlier one. The current browser is
// cleared first. Unreachable when the endpoint does not answer.
MatchResult FindBrowser(unsigned long pickedWindow);

// A visible page as the user is shown it when asked to choose.
struct PageLabel {
    QString title;
    QString url;
};

// Asks the user which of several pages to take; the index in `pages`, nothing for none.
using PageChooser = std::function<std::optional<int>(const std::vector<PageLabel>& pages)>;

// Where no window can be picked (Wayland): the visible HTML pages of the browser on the DevTools
// port, whose document reports itself visible (each window's tab in front). One is taken without
// a question; among several (at most kMaxShownPages) `choose` is asked, and Cancelled when it
// chooses none. The current browser is cleared first.
MatchResult FindVisiblePage(const PageChooser& choose);

// Both searches look at no more than kMaxExaminedPages pages, within kPageSearchMs: a browser
// with a great many tabs, or tabs slow to answer, costs a bounded time.
constexpr int kMaxExaminedPages = 500;
constexpr int kPageSearchMs = 15000;
constexpr std::size_t kMaxShownPages = 32;

// What the user is told once per run when a browser window's endpoint does not answer.
extern const char* const kUnreachableMessage;
// What the user is told when a pick finds no page.
extern const char* const kNoPageMessage;
// What the user is told when, without a pick, the browser shows no web page.
extern const char* const kNoVisiblePageMessage;

}  // namespace browser
