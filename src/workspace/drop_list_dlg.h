#pragma once

#include "workspace/skinned_dialog.h"
#include "workspace/slide_animation.h"

#include <memory>

class CCapturePreviewDlg;
class CHoverButton;
class QTreeWidget;

namespace Ui {
class DropListDlg;
}

// The drop list: the image files dropped on the preview, newest first. It slides out above the
// preview; OK slides it back in and Clear empties it.
class CDropListDlg : public CSkinnedDialog {
    Q_OBJECT

  public:
    explicit CDropListDlg(CCapturePreviewDlg* preview);
    ~CDropListDlg() override;

    // Puts a dropped file's full path first and selects it.
    void InsertFirstRow(const QString& path);
    // Removes every row (nothing on an empty list).
    void Clear();

    int RowCount() const;
    QString RowText(int row) const;
    int SelectedRow() const;
    QTreeWidget* list() const;
    CHoverButton* okButton() const;
    CHoverButton* clearButton() const;

    void ToggleSlide() { slide_.Toggle(); }
    CSlideAnimation& slide() { return slide_; }
    bool IsOut() const { return slide_.IsOut(); }
    bool initialised() const { return initialised_; }

  private:
    void OnOk();

    CCapturePreviewDlg* preview_;
    std::unique_ptr<Ui::DropListDlg> ui_;
    CSlideAnimation slide_;
    bool initialised_ = false;
};
