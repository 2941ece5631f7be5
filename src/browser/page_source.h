#pragma once

#include <functional>
#include <QString>

// Saves the page of the current browser: the body's HTML goes to `showHtml` (the picking
// balloon's prompt box) and onto the clipboard, then into "<title>.htm" in a folder of the
// session HTML folder named after the title up to its first '.', together with every image of
// the page that the browser's HTTP cache holds, copied from the page's resources (never downloaded
// again; an image the cache does not hold, one sent with "no-store" among them, is skipped). Names
// from the page that would leave that folder or that the file system cannot hold are refused:
// nothing is written for them.
void SavePageSource(const std::function<void(const QString&)>& showHtml);

namespace browser {
// A single file or folder name as the page gives it, or empty when it cannot be used as one.
QString SafeName(const QString& name);
}  // namespace browser
