#include "workspace/list_rows.h"

#include "app/quillet_app.h"

#include <QHeaderView>
#include <QTreeWidget>

void SetUpListColumns(QTreeWidget& list) {
    QHeaderView* header = list.header();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setStretchLastSection(false);
    // The list's inner width, so the columns fill it without a scroll bar.
    const int width = list.width() - 2 * list.frameWidth();
    const int columns = list.columnCount();
    for (int column = 0; column < columns; ++column) list.setColumnWidth(column, width / columns);
    QPalette palette = list.palette();
    palette.setColor(QPalette::Base, QColor(CQuilletApp::kDialogBackground));
    list.setPalette(palette);
}
