#pragma once

#include "platform/icon_pictures.h"
#include "workspace/skinned_dialog.h"

#include <QImage>
#include <QString>

#include <memory>
#include <vector>

class CCapturePreviewDlg;
class CHoverButton;
class QLineEdit;
class QListWidget;

namespace Ui {
class IconDlg;
}

// The icon window: a small skinned modal window listing the icon theme's icons ("System Icons")
// or the icons of an executable or library chosen with Browse ("Extract Icon"). A double click
// on an icon hands its 32 x 32 colour picture to the capture preview as a new capture.
class CIconDlg : public CSkinnedDialog {
    Q_OBJECT

  public:
    enum Mode { kSystemIcons = 0, kExtractIcon = 1 };
    static constexpr QRgb kListBackground = 0xFFA4AAAC;  // RGB(164,170,172)

    // The preview receives the icons double-clicked; the owner is the panel.
    CIconDlg(int mode, CCapturePreviewDlg* preview, QWidget* owner = nullptr);
    ~CIconDlg() override;

    // Browse: the file prompt, then the file's icons.
    void OnBrowse();
    // Keeps the path, shows it and lists the file's icons; a file without icons leaves the list
    // as it was (its items then hand nothing over).
    void ExtractFrom(const QString& path);

    QListWidget* systemList() const;
    QListWidget* fileList() const;
    QLineEdit* pathEdit() const;
    CHoverButton* browseButton() const;
    CHoverButton* closeButton() const;
    int iconCount() const { return iconCount_; }
    const QString& filePath() const { return filePath_; }

    // The close button is the window's cancel action: it ends the window.
    void reject() override { QDialog::reject(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PlaceControls();
    void FillSystemList();
    // Hands the 32 x 32 picture of the item last clicked in `list` to the preview.
    void HandOff(QListWidget* list);

    const int mode_;
    CCapturePreviewDlg* preview_;
    std::unique_ptr<Ui::IconDlg> ui_;
    std::vector<QImage> systemPictures_;  // 32 x 32, by item
    std::vector<platform::IconPictures> fileIcons_;
    int iconCount_ = 0;
    QString filePath_;
    // The items clicked last (-1: a click on no item), and the list clicked last.
    int fileSelection_ = -1;
    int systemSelection_ = -1;
    QListWidget* clickedLast_ = nullptr;
};
