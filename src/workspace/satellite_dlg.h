#pragma once

#include "workspace/skinned_dialog.h"
#include "workspace/slide_animation.h"

class CCapturePreviewDlg;
class QTreeWidget;

// What the preview's two lists share: the preview's skin, a list of rows in centred columns of
// equal width on the dialogs' grey, and a slide out of one of the preview's edges.
class CSatelliteDlg : public CSkinnedDialog {
    Q_OBJECT

  public:
    // `hiddenFlag` is the list's process-wide flag, 1 while hidden or sliding in.
    CSatelliteDlg(CCapturePreviewDlg* preview, CSlideAnimation::Direction direction,
                  int& hiddenFlag);

    int RowCount() const;
    // The first selected row, or -1.
    int SelectedRow() const;
    QTreeWidget* list() const { return rows_; }

    void ToggleSlide() { slide_.Toggle(); }
    CSlideAnimation& slide() { return slide_; }
    bool IsOut() const { return slide_.IsOut(); }
    bool initialised() const { return initialised_; }

  protected:
    // Once the form is set up: size, skin, columns; the window counts as initialised.
    void InitialiseList(QTreeWidget* rows);

    CCapturePreviewDlg* preview_;

  private:
    CSlideAnimation slide_;
    QTreeWidget* rows_ = nullptr;
    bool initialised_ = false;
};
