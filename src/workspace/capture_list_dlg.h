#pragma once

#include "workspace/satellite_dlg.h"

#include <memory>

class CCaptureRecord;
class CCapturePreviewDlg;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class CaptureListDlg;
}

// The capture list: one row per capture of the session (file name, byte size, time, date), each
// row carrying its slot in the preview's capture table. It slides out to the left of the preview;
// a click on a row shows that capture.
class CCaptureListDlg : public CSatelliteDlg {
    Q_OBJECT

  public:
    explicit CCaptureListDlg(CCapturePreviewDlg* preview);
    ~CCaptureListDlg() override;

    // Appends the row of a capture and makes it the selected, focused row.
    void InsertRow(const CCaptureRecord& record, int slot);
    // Removes the first selected row, if any.
    void RemoveSelectedRow();
    // Removes the row of a slot, if there is one.
    void RemoveRowOfSlot(int slot);
    // Selects and focuses the row of a slot (none when the slot has no row).
    void SelectRowOfSlot(int slot);
    void DeleteAllRows();

    // The slot stored in a row, or -1.
    int RowSlot(int row) const;
    QString RowText(int row, int column) const;

  protected:
    // The arrow keys move through the rows as clicks would.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnClick();

    std::unique_ptr<Ui::CaptureListDlg> ui_;
};
