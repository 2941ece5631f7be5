#include "editor/child_frame.h"

#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"

#include <QCloseEvent>
#include <QIcon>

CChildFrame::CChildFrame(CLumoDoc* doc) : doc_(doc) {
    setObjectName("CChildFrame");
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CLumoView(doc, this);
    setWidget(view_);
    setWindowTitle(doc->title());
    setWindowIcon(QIcon(":/icons/quillet.png"));
    // Wide enough for the caption's title and buttons, however small the picture.
    setMinimumWidth(180);
    connect(doc, &CLumoDoc::titleChanged, this, [this] { setWindowTitle(doc_->title()); });
    resize(320, 240);
}

CChildFrame::~CChildFrame() {
    // The view goes first: it must not see its document half destroyed.
    delete widget();
    if (DocTemplate()) DocTemplate()->CloseDocument(doc_);
}

void CChildFrame::CloseQuietly() {
    // At once, not at the next turn of the event loop: the caller counts on the document
    // being gone when this returns.
    quiet_ = true;
    hide();
    delete this;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    // No window closes under a running operation; a modified picture is offered for saving.
    if (doc_->IsBusy() || (!quiet_ && !doc_->SaveModified())) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}
