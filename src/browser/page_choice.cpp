#include "browser/page_choice.h"

#include "platform/message_box.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace browser {

std::optional<int> ChoosePage(const std::vector<PageLabel>& pages, QWidget* parent) {
    if (pages.empty()) return std::nullopt;
    QDialog dialog(parent);
    dialog.setObjectName("choosePage");
    dialog.setWindowTitle("Quillet: choose the page");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("The browser shows several pages. Which one?", &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName("pages");
    for (const PageLabel& page : pages) {
        const QString title = page.title.isEmpty() ? QString("(no title)") : page.title;
        auto* item = new QListWidgetItem(title + '\n' + page.url, list);
        item->setToolTip(page.url);
    }
    list->setCurrentRow(0);
    list->setMinimumWidth(420);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    list->setFocus();
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return list->currentRow();
}

bool RunOnVisiblePage(const PageChooser& choose, const std::function<void()>& command) {
    switch (FindVisiblePage(choose)) {
        case MatchResult::Unreachable:
            platform::ShowMessage(kUnreachableMessage, "Quillet");
            return false;
        case MatchResult::NoMatch:
            platform::ShowMessage(kNoVisiblePageMessage, "Quillet");
            return false;
        case MatchResult::Cancelled:
            return false;
        case MatchResult::Matched:
            break;
    }
    command();
    ClearCurrentBrowser();
    return true;
}

}  // namespace browser
