#pragma once

class QTreeWidget;

// The look both lists share: centred columns of equal width, the dialogs' grey background.
void SetUpListColumns(QTreeWidget& list);
