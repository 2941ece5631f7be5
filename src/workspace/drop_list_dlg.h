#pragma once

#include "workspace/satellite_dlg.h"

#include <memory>

class CCapturePreviewDlg;
class CHoverButton;
class QTreeWidget;

namespace Ui {
class DropListDlg;
}

// The drop list: the image files dropped on the preview, newest first. It slides out above the
// preview; OK slides it back in and Clear empties it.
class CDropListDlg : public CSatelliteDlg {
    Q_OBJECT

  public:
    explicit CDropListDlg(CCapturePreviewDlg* preview);
    ~CDropListDlg() override;

    // Puts a dropped file's full path first and selects it.
    void InsertFirstRow(const QString& path);
    // Removes every row (nothing on an empty list).
    void Clear();

    QString RowText(int row) const;
    CHoverButton* okButton() const;
    CHoverButton* clearButton() const;

  private:
    void OnOk();

    std::unique_ptr<Ui::DropListDlg> ui_;
};
