#pragma once

#include <QMdiSubWindow>

class CLumoDoc;
class CLumoView;

// The frame of one document window inside the main frame. Closing a modified document asks
// whether to save it; the document goes when its frame goes.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT

  public:
    explicit CChildFrame(CLumoDoc* doc);
    ~CChildFrame() override;

    CLumoDoc* document() const { return doc_; }
    CLumoView* view() const { return view_; }
    // Closes without asking (the answer was given for all documents at once).
    void CloseQuietly();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CLumoDoc* doc_;
    CLumoView* view_;
    bool quiet_ = false;
};
