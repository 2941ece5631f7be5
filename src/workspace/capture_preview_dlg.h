#pragma once

#include "app/command_target.h"
#include "workspace/skinned_dialog.h"
#include "workspace/slide_animation.h"

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class CBogusDoc;
class CCaptureListDlg;
class CCaptureRecord;
class CClipboardViewer;
class CDropListDlg;
class CHoverButton;
class CPreviewImage;
class QMenu;
class QPainter;

namespace Ui {
class CapturePreviewDlg;
}

// The capture preview: the skinned window that slides out from under the panel's left edge,
// shows the current capture with its size, depth and byte size, and owns the session's capture
// table. Its satellites, the capture list and the drop list, slide out from its left and top edges.
class CCapturePreviewDlg : public CSkinnedDialog, public CCommandTarget {
    Q_OBJECT

  public:
    static constexpr int kSlots = 99;
    static constexpr QRgb kBarColour = 0xFF9C9A9C;  // RGB(156,154,156) around the picture
    static constexpr const char* kTableFullMessage =
        "The capture table is full: the oldest capture was removed from the list. Its file stays "
        "in the cache folder.";
    static constexpr const char* kOpenTypesMessage =
        "Quillet opens BMP, GIF, JPEG, PNG, ICO, TIFF, TGA and PCX files only.";
    static constexpr const char* kDropTypesMessage =
        "Only JPEG, GIF, PNG and ICO files can be dropped here.";

    // The owner is the panel; the preview starts hidden.
    explicit CCapturePreviewDlg(QWidget* owner = nullptr);
    ~CCapturePreviewDlg() override;

    // --- for the panel ---
    // Starts sliding out from under the panel, or back in (the capture list comes in with it).
    void ToggleSlide();
    // Raises the drop list and the capture list that are out, then the preview.
    void BringToTop();
    // While out: held against the panel's left edge, 2 pixels shorter than its own height.
    void PlaceBesidePanel();
    int WindowWidth() const { return slide_.width(); }
    int WindowHeight() const { return slide_.height(); }
    bool initialised() const { return initialised_; }

    // --- adding captures (the only way captures enter the table) ---
    // A grabbed screen bitmap, saved as a bitmap file under `path`.
    void AddCaptureBitmap(const QImage& bitmap, const std::string& path, int unused = 0);
    // The newest capture makes and saves its thumbnail from the same bitmap.
    void SetThumbnail(const QImage& bitmap, QSize size, const std::string& thumbnailPath);
    void AddCaptureIcon(const QImage& colourBitmap);
    // A dropped image file, copied into the cache folder.
    void AddCaptureFile(const std::string& path);
    // The clipboard's packed bitmap block.
    void AddCaptureFromClipboard(const uint8_t* dib, size_t size);
    // An image file of a known type by its extension; anything else is ignored.
    void OpenCaptureFile(const std::string& path);

    // --- the satellites ---
    // Records the preview's rectangle and holds the lists that are out against its edges.
    void RepositionSatellites();
    void ToggleCaptureList();
    void ToggleDropList();
    // After a capture: the drop list is put away, however it was left.
    void HideDropList();
    // A file dropped on the image area: first row of the drop list, and a capture.
    void TakeDroppedFile(const QString& path);

    // --- the current capture ---
    // The capture shown and acted on; only it keeps its picture in memory.
    void SetCurrent(int slot);
    int current() const { return current_; }
    // Repaints the image area now.
    void DrawCurrent();
    // Paints the image area: grey bars around the picture fitted into the area.
    void DrawCurrent(QPainter& painter, const QRect& area);
    // The picture's rectangle in the area, keeping its aspect ratio, centred.
    static QRect FitRect(const QRect& area, int pictureWidth, int pictureHeight);
    // Opens the mail document on the current capture's web-format file.
    void RebuildMailDocument();
    // The current capture in a web format: its own file for JPEG, GIF, PNG and ICO, otherwise a
    // JPEG copy beside it. Empty when it cannot be had.
    static std::string WebImagePath(const CCaptureRecord& record);

    bool onCommand(int id) override;

    // --- the Functions menu's actions ---
    void OpenFile();
    void ShowClipboardViewer();
    void CopyToClipboard();
    void PasteFromClipboard();
    void DeleteCapture();
    void Delete();

    // --- state, for the lists and the tests ---
    const CCaptureRecord* Slot(int slot) const;
    int number() const { return number_; }
    bool hasCaptures() const { return hasCaptures_ != 0; }
    CCaptureListDlg* captureList() const { return captureList_; }
    CDropListDlg* dropList() const { return dropList_; }
    CPreviewImage* imageArea() const;
    CHoverButton* button(int id) const;
    QString InfoText() const;
    CBogusDoc* mailDocument() const { return mailDocument_.get(); }
    CClipboardViewer* clipboardViewer() const;
    CSlideAnimation& slide() { return slide_; }
    // Sub-menu 3 to 6 of the menu, built on first use and kept.
    QMenu* Menu(int subMenu);

    std::string webImagePath;
    std::string htmlPagePath;

  signals:
    // A menu is about to pop up (the tests drive it from here).
    void menuShown(QMenu* menu);
    // A new capture went into the table; its file is at `path`.
    void captureStored(const QString& path);

  protected:
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void SetUpButton(CHoverButton* button, int id, int strip, const char* tip);
    void PopUpMenu(int subMenu);
    // Puts a new capture into the table; returns its slot.
    int StoreCapture(std::unique_ptr<CCaptureRecord> record);
    std::unique_ptr<CCaptureRecord> NewRecord() const;
    int FirstFreeSlot() const;
    int FirstOccupiedSlot() const;
    int OldestSlot() const;
    // Releases the current capture and counts the rest; returns the released slot or -1.
    int ReleaseCurrent();
    void ShowSatellites(bool show);
    // The three lines beside the picture: size, bits per pixel, byte size.
    void UpdateInfoText();

    std::unique_ptr<Ui::CapturePreviewDlg> ui_;
    CSlideAnimation slide_;
    CCaptureListDlg* captureList_ = nullptr;
    CDropListDlg* dropList_ = nullptr;
    QPointer<CClipboardViewer> clipboardViewer_;
    std::map<int, std::unique_ptr<QMenu>> menus_;

    std::array<std::unique_ptr<CCaptureRecord>, kSlots> slots_;
    std::array<uint64_t, kSlots> addedAt_{};  // order of adding, to find the oldest capture
    uint64_t addSerial_ = 0;
    std::unique_ptr<CBogusDoc> mailDocument_;
    int hasCaptures_ = 0;
    int number_ = 0;
    int current_ = 0;
    int newest_ = -1;
    bool toldTableFull_ = false;
    bool initialised_ = false;
};
