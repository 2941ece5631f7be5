#pragma once

#include "bench_picture.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/main_frame.h"
#include "ids.h"

#include <QCoreApplication>

// The editor's main frame of a benchmark program, made and shown at its first use.
inline CMainFrame* Frame() {
    static CMainFrame* frame = [] {
        auto* made = new CMainFrame;
        made->Create();
        made->setGeometry(0, 0, 1280, 900);
        made->show();
        QCoreApplication::processEvents();
        return made;
    }();
    return frame;
}

// A new document holding the benchmark picture, maximized in the frame.
inline CLumoDoc* OpenPictureDocument() {
    CLumoDoc* made = Frame()->docTemplate()->CreateDocument();
    made->image = Picture();
    made->UpdateAllViews(ids::kHintImageChanged);
    Frame()->docTemplate()->FrameOf(made)->showMaximized();
    QCoreApplication::processEvents();
    return made;
}
