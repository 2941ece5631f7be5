#pragma once

#include "tools/inspector/window_facts.h"

#include <QDialog>
#include <QPoint>
#include <QStringList>

#include <memory>

namespace Ui {
class CInspectorDlg;
}

// The expert-mode tool window that shows the attributes of the window at a point while the
// user picks a window. The picking dialog owns it, stores the pointer's position in it and
// calls Refresh.
class CInspectorDlg : public QDialog {
    Q_OBJECT

  public:
    // The class names the combo box offers (it shows them sorted).
    static const QStringList& ClassNames();

    // parent: the picking dialog; the inspector is a top-level window kept above it.
    explicit CInspectorDlg(QWidget* parent = nullptr);
    ~CInspectorDlg() override;

    // The current point, in the screen's device pixels.
    void SetPoint(QPoint point) { point_ = point; }
    QPoint Point() const { return point_; }

    // Shows the window at the current point, unless it is the one shown last and unchanged
    // (forced: shown in any case).
    void Refresh(bool force = false);
    // Shows a window (0 for none); a window that is gone shows as none.
    void ShowWindowInfo(platform::XWindow window);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void ShowFacts(const std::optional<inspector::WindowFacts>& facts);
    void SelectClass(const QString& className);
    void MoveToTopRight();

    std::unique_ptr<Ui::CInspectorDlg> ui_;
    QPoint point_;
    inspector::CachedState cached_;
    bool placedOnce_ = false;
};
