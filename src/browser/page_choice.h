#pragma once

#include "browser/browser_access.h"

#include <functional>
#include <optional>
#include <vector>

class QWidget;

// Browser commands where no window can be picked (Wayland): the page is the browser's visible one.
namespace browser {

// Asks the user which of several pages to take: a plain list of their titles and addresses, the
// first one chosen, with OK and Cancel. The index chosen; nothing on Cancel.
std::optional<int> ChoosePage(const std::vector<PageLabel>& pages, QWidget* parent = nullptr);

// Finds the visible page (asking `choose` when there are several), runs `command` while it is the
// current browser, then lets it go. A browser that does not answer, or shows no page, is told to
// the user; a cancelled choice does nothing. True when `command` ran.
bool RunOnVisiblePage(const PageChooser& choose, const std::function<void()>& command);

}  // namespace browser
