#pragma once

#include "app/command_target.h"
#include "editor/annotation/annotation_layer.h"
#include "image/raster.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// What a menu item or tool bar button shows for a command.
struct CommandState {
    bool enabled = false;
    bool checked = false;
    QString text;  // empty: the item keeps its own text
};

// The editor's image document: one image, its undo ring, its zoom, its annotation settings and
// the paths under which the workspace keeps it. Pixel operations run on a worker thread while
// the user-interface thread waits (repaints go on, input waits).
class CLumoDoc : public QObject, public CCommandTarget {
    Q_OBJECT

  public:
    static constexpr int kUndoDepth = 8;
    static constexpr float kMaxZoom = 16.0f;

    CLumoDoc();
    ~CLumoDoc() override;

    // --- framework document ---
    const QString& title() const { return title_; }
    void SetTitle(const QString& title);
    const std::string& pathName() const { return pathName_; }
    // Makes the path the document's file and its title the file name.
    void SetPathName(const std::string& path);
    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    // Asks every view to refresh; hint 1025 means that the image or the zoom changed.
    void UpdateAllViews(int hint);
    // Offers to save a modified document (Yes / No / Cancel); false for Cancel or a failed save.
    bool SaveModified();

    bool OnNewDocument();
    bool OnOpenDocument(const std::string& path);
    bool OnSaveDocument(const std::string& path);
    bool DoSave(const std::string& path, bool replace);

    // --- annotations ---
    // Burns the marks into the picture as one step of the undo ring and clears their history;
    // true when there were none or they are in. Saving, the Image menu, copying and sending do
    // it first.
    bool ApplyAnnotations();
    // The view changed the marks: the document is modified and every view repaints them.
    void AnnotationsChanged();

    // --- workspace ---
    void CropTo(int left, int top, int right, int bottom);
    void SetWorkspacePaths(bool icon, const char* extension);
    bool SaveToWorkspace();

    bool onCommand(int id) override;
    // Enabled, checked and text of a document command (disabled for ids it does not handle).
    CommandState UpdateCommand(int id) const;
    bool Handles(int id) const;
    bool IsBusy() const { return workerThread != nullptr; }
    // The worker protocol: one Image-menu operation on a thread of its own while this thread
    // waits; a failure is shown and leaves the picture and the undo ring as they were.
    bool RunWorker(int command, int32_t arg1 = 0, int32_t arg2 = 0, int32_t arg3 = 0);

    // Tests watch the worker: called on the worker thread just before the operation.
    static void SetWorkerProbe(std::function<void(CLumoDoc&)> probe);
    // Told of every successful save of the document's own files with the path and the folder
    // kind: 0 for the image, 1 for its thumbnail (the session's file lists keep them).
    using SaveListenerFn = std::function<void(CLumoDoc&, const std::string&, int)>;
    static void SetSaveListener(SaveListenerFn listener);
    // Called after every wait for the worker with the text of the status bar's message pane
    // (progress while the operation runs, "Ready" after it).
    static void SetStatusSink(std::function<void(const QString&)> sink);

    // --- fields ---
    std::unique_ptr<CRaster> image;
    std::unique_ptr<CRaster> thumbnailImage;
    bool savingThumbnail = false;
    std::unique_ptr<std::thread> workerThread;
    int pendingCommand = 0;
    int32_t commandArg1 = 0, commandArg2 = 0, commandArg3 = 0;
    std::array<std::unique_ptr<CRaster>, kUndoDepth> undoImages;
    int undoLevel = 0;
    float zoom = 1.0f;
    int workspaceIndex = 0;
    std::string imagePath, thumbnailPath, htmlPath;
    QString annotationText = "text";
    QFont annotationFont;
    QColor annotationColor = Qt::black;
    bool annotationDate = false;
    bool annotationTime = false;
    int annotateMode = 0;
    bool thumbnailPending = false;
    // The marks on the picture that are not burned in yet, with their own undo history.
    CAnnotationLayer annotations;
    // The session lists: the line this document owns in each (0: none yet) and the list it is
    // in, per folder kind; set while the document is reopened from a list, which stays as it is.
    int sessionLine[2] = {0, 0};
    std::string sessionList[2];
    bool loadingSession = false;

  signals:
    void viewsUpdated(int hint);
    void titleChanged();

  private:
    bool NeedsImage(int id) const;
    void ZoomIn();
    void ZoomOut();
    void Undo();
    void Redo();
    void CopyToClipboard();
    void Replicate();
    void ShowInformation();
    void ShowEncryption();
    void ReduceColors();
    void IncreaseColors();
    void Rotate(int command);
    void Resize();
    void Annotate();
    void WriteHtmlPage();
    void WriteGalleryPage();

    static void WorkerMain(CLumoDoc* doc);
    // Whether the operation changes its picture's own pixels (the others build a new picture).
    bool ChangesInPlace(int command) const;
    // Makes the operation's result the picture and the picture before it the undo state.
    void CommitResult();
    bool PerformPending();
    std::string FailureReason(int error) const;
    bool ReduceColorDepth();
    bool StampAnnotation();
    // The undo rules, given the copy of the image made before the operation.
    void PushUndoState(std::unique_ptr<CRaster> state);

    QString title_;
    std::string pathName_;
    bool modified_ = false;
    // How many images the document's file held when it was opened (saving keeps one).
    int fileImageCount_ = 1;
    std::atomic<bool> workerDone_{true};
    std::mutex workerMutex_;
    std::condition_variable workerEnded_;
    bool workerResult_ = false;
    std::string workerError_;
    // What the worker works on: a borrowed view of the picture for the operations that build
    // a new picture (the picture itself is never written, so it becomes the undo state as it
    // is), or a copy of it for those that change pixels in place.
    std::unique_ptr<CRaster> workImage_;
    bool workOnCopy_ = false;
    std::atomic<bool> abandoned_{false};  // the document is closing: the worker stops
};
