#pragma once

#include "app/command_target.h"

#include <QMainWindow>

class QLabel;
class QMdiArea;
class QTimer;

// The image editor's main frame: the MDI area, the tool bar and the status bar. It starts hidden
// and closing it only hides it until the program is quitting.
class CMainFrame : public QMainWindow, public CCommandTarget {
    Q_OBJECT

  public:
    static constexpr int kToolBarId = 0xE800;
    static constexpr int kStatusBarId = 0xE801;

    CMainFrame();
    ~CMainFrame() override;

    // Builds the tool bar and the status bar; false when either could not be made.
    bool Create();

    bool onCommand(int id) override;

    QMdiArea* mdiArea() const { return mdiArea_; }
    // Shows a text in the status bar's message pane.
    void SetMessageText(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool CreateToolBar();
    bool CreateStatusBar();
    void UpdateKeyboardIndicators();

    QMdiArea* mdiArea_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* capsIndicator_ = nullptr;
    QLabel* numIndicator_ = nullptr;
    QLabel* scrollIndicator_ = nullptr;
    QTimer* indicatorTimer_ = nullptr;
};
