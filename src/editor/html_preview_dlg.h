#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTextBrowser;

// Shows a page just written (an image's page or the gallery) at the picture's size, limited to
// the screen, in the top-left corner of the screen. Relative images resolve from the page's
// folder. "Button1", Enter and Escape close it.
class CHtmlPreviewDlg : public QDialog {
    Q_OBJECT

  public:
    CHtmlPreviewDlg(const QString& pagePath, int width, int height, QWidget* parent = nullptr);
    ~CHtmlPreviewDlg() override;

    // The size asked for, after the limits of the screen.
    QSize RequestedSize() const { return requested_; }
    QTextBrowser* view() const { return view_; }

    // Tests look at the dialog instead of waiting for it: called when it is about to run.
    static void SetShowHook(void (*hook)(CHtmlPreviewDlg&));
    // Shows the dialog modally (or hands it to the hook).
    int Run();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PlaceView();

    QTextBrowser* view_ = nullptr;
    QPushButton* button_ = nullptr;
    QSize requested_;
    bool viewCreated_ = false;
};
