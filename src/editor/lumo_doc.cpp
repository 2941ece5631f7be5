#include "editor/lumo_doc.h"

#include "app/quillet_app.h"
#include "editor/annotation/burn_in.h"
#include "editor/doc_template.h"
#include "editor/html_preview_dlg.h"
#include "editor/image_prompt.h"
#include "editor/main_frame.h"
#include "editor/op_dialogs.h"
#include "export/html_writer.h"
#include "export/send_to.h"
#include "ids.h"
#include "image/octree_palette.h"
#include "image/qt/raster_qt.h"
#include "platform/fixed_wait.h"
#include "platform/fixed_path.h"
#include "platform/message_box.h"
#include "platform/path_separator.h"
#include "platform/replacing_file.h"
#include "tools/crypt/dialog/encrypt_decrypt_dlg.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kCaption = "Quillet";
constexpr char kSep = platform::kPathSeparator;

std::function<void(CLumoDoc&)>& WorkerProbe() {
    static std::function<void(CLumoDoc&)> probe;
    return probe;
}

std::function<void(const QString&)>& StatusSink() {
    static std::function<void(const QString&)> sink;
    return sink;
}

CLumoDoc::SaveListenerFn& SaveListener() {
    static CLumoDoc::SaveListenerFn listener;
    return listener;
}

void ShowStatus(const QString& text) {
    if (StatusSink()) StatusSink()(text);
    if (App() && App()->mainFrame()) App()->mainFrame()->SetMessageText(text);
}

// Commands that run on the worker thread.
bool IsWorkerCommand(int id) {
    switch (id) {
        case ids::kCmdLighten:
        case ids::kCmdDarken:
        case ids::kCmdMirror:
        case ids::kCmdRotateRight:
        case ids::kCmdRotateLeft:
        case ids::kCmdColorsReduce:
        case ids::kCmdColorsIncrease:
        case ids::kCmdGreyscale:
        case ids::kCmdResize:
        case ids::kCmdAnnotate:
            return true;
        default:
            return false;
    }
}

// Commands that hand the picture on: the marks are burned in first (the Image menu's
// operations do it when they start, after their dialogs).
bool BurnsInFirst(int id) {
    return id == ids::kCmdEditCopy || id == ids::kCmdReplicate || id == ids::kCmdMailRecipient ||
           id == ids::kCmdApplyAnnotations;
}

// Operations that report their progress; the others show a busy text.
bool ReportsProgress(int id) {
    return id == ids::kCmdResize || id == ids::kCmdColorsIncrease || id == ids::kCmdColorsReduce;
}

// Extensions of the "Supported files" row that the editor cannot open.
bool IsUnopenableSupportedType(const std::string& path) {
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    return suffix == "wbmp" || suffix == "wmf" || suffix == "emf" || suffix == "j2k" ||
           suffix == "jp2" || suffix == "jbg";
}

template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of(kSep);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "Quillet cannot save .xyz files; choose one of: .bmp, .gif, ..." for a name the editor cannot
// write.
std::string UnwritableTypeMessage(const std::string& path) {
    const std::string name = FileNameOf(path);
    const size_t dot = name.find_last_of('.');
    std::string message = dot == std::string::npos || dot + 1 == name.size()
                              ? "Quillet cannot save files without an extension"
                              : "Quillet cannot save " + name.substr(dot) + " files";
    message += "; choose one of:";
    int count = 0;
    const ImageFilterRow* rows = ImageFilterRows(&count);
    const char* separator = " ";
    for (int i = 0; i < count; ++i) {
        if (rows[i].type < 0 || !rows[i].save) continue;
        for (const QString& pattern : QString(rows[i].pattern).split(';')) {
            message += separator + pattern.mid(1).toStdString();
            separator = ", ";
        }
    }
    return message + ".";
}

}  // namespace

CLumoDoc::CLumoDoc() = default;

CLumoDoc::~CLumoDoc() {
    if (workerThread) {
        abandoned_ = true;
        if (workImage_) workImage_->SetEscape(1);
        workerThread->join();
        workerThread.reset();
    }
    if (DocTemplate()) DocTemplate()->ForgetWorkspaceDocument(this);
}

void CLumoDoc::SetWorkerProbe(std::function<void(CLumoDoc&)> probe) {
    WorkerProbe() = std::move(probe);
}

void CLumoDoc::SetSaveListener(SaveListenerFn listener) {
    SaveListener() = std::move(listener);
}

void CLumoDoc::SetStatusSink(std::function<void(const QString&)> sink) {
    StatusSink() = std::move(sink);
}

// --- framework document -------------------------------------------------------------------------

void CLumoDoc::SetTitle(const QString& title) {
    title_ = title;
    emit titleChanged();
}

void CLumoDoc::SetPathName(const std::string& path) {
    pathName_ = path;
    SetTitle(QString::fromStdString(FileNameOf(path)));
    if (App()) {
        App()->recentFiles.Add(QString::fromStdString(path));
        App()->recentFiles.Save();
    }
}

void CLumoDoc::UpdateAllViews(int hint) {
    emit viewsUpdated(hint);
}

bool CLumoDoc::SaveModified() {
    if (!modified_ || !image) return true;
    const int answer = platform::ShowMessage(
        QString("Save changes to %1?").arg(title_).toStdString(), kCaption,
        platform::MessageIcon::Question, platform::MessageButtons::YesNoCancel);
    // Only an explicit Yes saves; No goes on without saving, anything else keeps everything.
    if (answer == platform::kAnswerNo) return true;
    if (answer != platform::kAnswerYes) return false;
    return DoSave(pathName_, true);
}

bool CLumoDoc::OnNewDocument() {
    pathName_.clear();
    modified_ = false;
    image.reset();
    return true;
}

bool CLumoDoc::OnOpenDocument(const std::string& path) {
    const int type = RasterTypeFromPath(path);
    if (type < 0) {
        // Only the types the open prompt offers get a word of explanation.
        if (IsUnopenableSupportedType(path)) {
            platform::ShowMessage(
                FileNameOf(path) +
                    ": the editor opens BMP, GIF, JPEG, PNG, ICO, TIFF, TGA and PCX files only.",
                kCaption);
        }
        return false;
    }
    auto loaded = std::make_unique<CRaster>();
    loaded->Load(path.c_str(), static_cast<uint32_t>(type));
    if (!loaded->IsValid()) {
        const std::string error =
            *loaded->GetLastError() ? loaded->GetLastError() : "Cannot open " + path + ".";
        platform::ShowMessage(error, kCaption);
        return false;
    }
    image = std::move(loaded);
    UpdateAllViews(ids::kHintImageChanged);

    const int frames = image->GetFrameCount();
    fileImageCount_ = std::max(1, frames);
    if (frames > 1 && DocTemplate()) {
        const std::string question =
            platform::FormatFixed("File with %d images. Read all?", frames);
        if (platform::ShowMessage(question, kCaption, platform::MessageIcon::Question,
                                  platform::MessageButtons::OkCancel) == platform::kAnswerOk) {
            const std::string name = FileNameOf(path);
            for (int i = 1; i < frames; ++i) {
                auto frame = std::make_unique<CRaster>(static_cast<uint32_t>(type));
                frame->SetFrame(i);
                frame->Load(path.c_str(), static_cast<uint32_t>(type));
                if (!frame->IsValid()) {
                    platform::ShowMessage(
                        *frame->GetLastError() ? frame->GetLastError() : "Cannot read the image.",
                        kCaption);
                    break;
                }
                CLumoDoc* extra = DocTemplate()->CreateDocument();
                if (!extra) break;
                extra->image = std::move(frame);
                extra->SetTitle(
                    QString::fromStdString(platform::FormatFixed("%s (%d)", name.c_str(), i + 1)));
                extra->UpdateAllViews(ids::kHintImageChanged);
            }
        }
    }
    return true;
}

bool CLumoDoc::OnSaveDocument(const std::string& path) {
    const int type = RasterTypeFromPath(path);
    if (type < 0) return false;
    CRaster* target = savingThumbnail ? thumbnailImage.get() : image.get();
    if (!target) return false;
    // A file the user may not write is left as it is, even where its folder would let a new
    // file take its place.
    if (const int refusal = platform::ReplaceRefusal(path)) {
        platform::ShowMessage(
            "Cannot save " + path + ": " + std::strerror(refusal) + ". The file is left as it was.",
            kCaption);
        return false;
    }
    target->SetLastError("");
    errno = 0;
    const bool saved = target->Save(path.c_str(), static_cast<uint32_t>(type));
    if (!saved) {
        const int error = errno;
        const std::string reason = *target->GetLastError() ? target->GetLastError()
                                   : error != 0            ? std::strerror(error)
                                                           : "the picture could not be written";
        platform::ShowMessage("Cannot save " + path + ": " + reason + ".", kCaption);
        return false;
    }
    // Only a file that was really written enters the session's lists.
    if (SaveListener()) SaveListener()(*this, path, savingThumbnail ? 1 : 0);
    return true;
}

bool CLumoDoc::DoSave(const std::string& path, bool replace) {
    if (!image) return false;
    std::string target = path;
    // Saving over a file of several images keeps only this one: the user says so first, or
    // chooses another name.
    if (!target.empty() && target == pathName_ && fileImageCount_ > 1) {
        const std::string question = platform::FormatFixed(
            "This file holds %d images; saving keeps only this one. Save it anyway?",
            fileImageCount_);
        if (platform::ShowMessage(question, kCaption, platform::MessageIcon::Question,
                                  platform::MessageButtons::YesNo) != platform::kAnswerYes)
            target.clear();
    }
    const int imageType = static_cast<int>(image->GetType());
    const ImageFilterRow* row = ImageFilterRowOf(imageType);
    if (target.empty() || !row || !row->save) {
        QString proposal = QString::fromStdString(pathName_);
        if (proposal.isEmpty() && replace) {
            proposal = title_;
            for (QChar c : QString("#%;/\\")) {
                if (proposal.contains(c)) {
                    proposal = "UntitledImage";
                    break;
                }
            }
            proposal += ImageTypeExtension(imageType);
        }
        int type = imageType;
        for (;;) {
            if (!PromptImageFile(proposal, QFileDialog::Options(), false, type)) return false;
            target = QFile::encodeName(proposal).toStdString();
            if (RasterTypeFromPath(target) >= 0) break;
            // A name the editor cannot write is said so, and the prompt comes back.
            platform::ShowMessage(UnwritableTypeMessage(target), kCaption);
        }
    }
    // What is saved is what the window shows: the marks go into the picture first.
    if (!savingThumbnail && !ApplyAnnotations()) return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = OnSaveDocument(target);
    QApplication::restoreOverrideCursor();
    // A failed save never deletes anything: the file that was there before stays as it was.
    if (!saved) return false;
    if (replace) {
        SetPathName(target);
        modified_ = false;
        fileImageCount_ = 1;
    }
    return true;
}

// --- workspace ----------------------------------------------------------------------------------

void CLumoDoc::CropTo(int left, int top, int right, int bottom) {
    if (!image || IsBusy() || !ApplyAnnotations()) return;
    // The cut goes into a new picture: the picture as it was becomes the undo state uncopied.
    auto result = std::make_unique<CRaster>(image->GetType());
    if (!image->Crop(left, top, right, bottom, result.get())) return;
    PushUndoState(std::move(image));
    image = std::move(result);
    modified_ = true;
    UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::SetWorkspacePaths(bool icon, const char* extension) {
    CQuilletApp* app = App();
    SettingsRecord& settings = app->settings;
    const std::string ext = extension ? extension : FieldText(settings.fileExtension);
    const char* session = app->sessionFolder.c_str();
    const char* thumbs = app->sessionThumbnailsFolder.c_str();
    if (settings.autoSave) {
        const std::string prefix = FieldText(settings.filePrefix);
        const int number = settings.startingNumber;
        imagePath =
            icon ? platform::FormatFixed("%s%s%d%cico", session, prefix.c_str(), number, '.')
                 : platform::FormatFixed("%s%s%d%s", session, prefix.c_str(), number, ext.c_str());
        thumbnailPath = platform::FormatFixed("%sT-%s%d%cjpg", thumbs, prefix.c_str(), number, '.');
        htmlPath = platform::FormatFixed("%sImage-%d%chtm", session, number, '.');
        settings.startingNumber = number + 1;
    } else {
        imagePath =
            icon ? platform::FormatFixed("%sImage-%d%cico", session, workspaceIndex, '.')
                 : platform::FormatFixed("%sImage-%d%s", session, workspaceIndex, ext.c_str());
        thumbnailPath = platform::FormatFixed("%sThumbnail-%d%cjpg", thumbs, workspaceIndex, '.');
        htmlPath = platform::FormatFixed("%sImage-%d%chtm", session, workspaceIndex, '.');
    }
}

bool CLumoDoc::SaveToWorkspace() {
    return DoSave(imagePath, true);
}

// --- annotations --------------------------------------------------------------------------------

bool CLumoDoc::ApplyAnnotations() {
    if (annotations.IsEmpty()) return true;
    if (!image || IsBusy()) return false;
    // The marks go into a copy: the picture as it was becomes the undo state uncopied.
    auto result = std::make_unique<CRaster>(*image);
    if (!result->IsValid() || !BurnIn(*result, annotations)) {
        platform::ShowMessage("Not enough memory to draw the annotations into the picture.",
                              kCaption);
        return false;
    }
    PushUndoState(std::move(image));
    image = std::move(result);
    annotations.Clear();
    modified_ = true;
    UpdateAllViews(ids::kHintImageChanged);
    return true;
}

void CLumoDoc::AnnotationsChanged() {
    modified_ = true;
    UpdateAllViews(ids::kHintAnnotationsChanged);
}

// --- commands -----------------------------------------------------------------------------------

bool CLumoDoc::Handles(int id) const {
    switch (id) {
        case ids::kCmdEditUndo:
        case ids::kCmdEditRedo:
        case ids::kCmdFileSave:
        case ids::kCmdFileSaveAs:
        case ids::kCmdEditCopy:
        case ids::kCmdZoomIn:
        case ids::kCmdZoomOut:
        case ids::kCmdReplicate:
        case ids::kCmdInformation:
        case ids::kCmdEncryption:
        case ids::kCmdImageAsHtml:
        case ids::kCmdThumbnailGallery:
        case ids::kCmdMailRecipient:
        case ids::kCmdApplyAnnotations:
            return true;
        default:
            return IsWorkerCommand(id);
    }
}

bool CLumoDoc::NeedsImage(int id) const {
    return id != ids::kCmdEncryption;
}

CommandState CLumoDoc::UpdateCommand(int id) const {
    CommandState state;
    // While an operation runs nothing of the document is read: everything waits for it.
    if (!Handles(id) || IsBusy()) return state;
    state.enabled = image != nullptr || !NeedsImage(id);
    switch (id) {
        case ids::kCmdEditUndo:
            // The marks' own history comes first, then the picture's ring.
            if (annotations.CanUndo()) {
                state.text = "Undo annotation\tCtrl+Z";
                break;
            }
            state.enabled = state.enabled && undoLevel > 0;
            state.text = QString("Undo (%1)\tCtrl+Z").arg(undoLevel);
            break;
        case ids::kCmdEditRedo:
            state.enabled =
                state.enabled &&
                (annotations.CanRedo() ||
                 (undoLevel < kUndoDepth && undoImages[static_cast<size_t>(undoLevel)] != nullptr));
            break;
        case ids::kCmdApplyAnnotations:
            state.enabled = state.enabled && !annotations.IsEmpty();
            break;
        case ids::kCmdZoomIn:
            state.enabled = state.enabled && zoom < kMaxZoom;
            break;
        case ids::kCmdZoomOut:
            state.enabled = state.enabled && zoom > 0.125f;
            break;
        case ids::kCmdAnnotate:
            state.checked = annotateMode == 3;
            break;
        case ids::kCmdMailRecipient:
            state.enabled = state.enabled && MailAvailable();
            break;
        case ids::kCmdImageAsHtml:
        case ids::kCmdThumbnailGallery:
            // Only workspace documents have the paths the pages are written to.
            state.enabled = state.enabled && !htmlPath.empty() && !imagePath.empty();
            break;
        default:
            break;
    }
    return state;
}

bool CLumoDoc::onCommand(int id) {
    if (!Handles(id)) return false;
    // Commands arriving while an operation runs (timers, other windows) are refused.
    if (IsBusy()) return true;
    if (!UpdateCommand(id).enabled) return true;
    if (BurnsInFirst(id) && !ApplyAnnotations()) return true;
    switch (id) {
        case ids::kCmdApplyAnnotations:
            break;  // burned in above
        case ids::kCmdEditUndo:
            Undo();
            break;
        case ids::kCmdEditRedo:
            Redo();
            break;
        case ids::kCmdFileSave:
            DoSave(pathName_, true);
            break;
        case ids::kCmdFileSaveAs:
            DoSave(std::string(), true);
            break;
        case ids::kCmdEditCopy:
            CopyToClipboard();
            break;
        case ids::kCmdZoomIn:
            ZoomIn();
            break;
        case ids::kCmdZoomOut:
            ZoomOut();
            break;
        case ids::kCmdReplicate:
            Replicate();
            break;
        case ids::kCmdInformation:
            ShowInformation();
            break;
        case ids::kCmdEncryption:
            ShowEncryption();
            break;
        case ids::kCmdLighten:
            RunWorker(id, 20, 100);
            break;
        case ids::kCmdDarken:
            RunWorker(id, -20, 100);
            break;
        case ids::kCmdMirror:
        case ids::kCmdGreyscale:
            RunWorker(id);
            break;
        case ids::kCmdRotateRight:
        case ids::kCmdRotateLeft:
            Rotate(id);
            break;
        case ids::kCmdColorsReduce:
            ReduceColors();
            break;
        case ids::kCmdColorsIncrease:
            IncreaseColors();
            break;
        case ids::kCmdResize:
            Resize();
            break;
        case ids::kCmdAnnotate:
            Annotate();
            break;
        case ids::kCmdImageAsHtml:
            WriteHtmlPage();
            break;
        case ids::kCmdThumbnailGallery:
            WriteGalleryPage();
            break;
        case ids::kCmdMailRecipient:
            // Only the file is written: the document keeps its path and modified flag.
            MailImage(title_.toStdString(), *image);
            break;
        default:
            return false;
    }
    return true;
}

void CLumoDoc::Undo() {
    if (annotations.CanUndo()) {
        annotations.Undo();
        AnnotationsChanged();
        return;
    }
    if (!image || undoLevel <= 0) return;
    --undoLevel;
    std::swap(image, undoImages[static_cast<size_t>(undoLevel)]);
    modified_ = true;
    UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::Redo() {
    if (annotations.CanRedo()) {
        annotations.Redo();
        AnnotationsChanged();
        return;
    }
    if (!image || undoLevel >= kUndoDepth || !undoImages[static_cast<size_t>(undoLevel)]) return;
    std::swap(image, undoImages[static_cast<size_t>(undoLevel)]);
    ++undoLevel;
    modified_ = true;
    UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::ZoomIn() {
    if (zoom < kMaxZoom) zoom *= 2.0f;
    UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::ZoomOut() {
    if (zoom > 0.0625f) zoom *= 0.5f;
    UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::CopyToClipboard() {
    if (!image) return;
    if (!PlaceOnClipboard(*image)) platform::ShowMessage("Unable to set Clipboard data", kCaption);
}

void CLumoDoc::Replicate() {
    if (!image || !DocTemplate()) return;
    auto copy = std::make_unique<CRaster>(*image);
    CLumoDoc* doc = DocTemplate()->CreateDocument();
    if (!doc) return;
    doc->image = std::move(copy);
    doc->SetTitle(title_ + " (copy)");
    doc->UpdateAllViews(ids::kHintImageChanged);
}

void CLumoDoc::ShowInformation() {
    if (!image) return;
    const std::string text = platform::FormatFixed(
        "%dx%d\r\n%d Bpp\r\n%d", static_cast<int>(image->GetWidth()),
        static_cast<int>(image->GetHeight()), static_cast<int>(image->GetBpp()),
        static_cast<int>(image->GetSize()));
    CInformationDlg dialog(QString::fromStdString(text), App() ? App()->mainFrame() : nullptr);
    dialog.exec();
}

void CLumoDoc::ShowEncryption() {
    CEncryptDecryptDlg dialog(App() ? QString::fromStdString(App()->sessionFolder) : QString(),
                              App() ? App()->mainFrame() : nullptr);
    dialog.exec();
}

void CLumoDoc::Rotate(int command) {
    if (!image) return;
    CRotateDlg dialog(App() ? App()->mainFrame() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return;
    RunWorker(command, dialog.QuarterTurns());
}

void CLumoDoc::ReduceColors() {
    if (!image) return;
    CDecreaseDepthDlg dialog(4, App() ? App()->mainFrame() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return;
    RunWorker(ids::kCmdColorsReduce, dialog.bits, dialog.method, dialog.diffusion);
}

void CLumoDoc::IncreaseColors() {
    if (!image) return;
    CIncreaseDepthDlg dialog(24, App() ? App()->mainFrame() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return;
    RunWorker(ids::kCmdColorsIncrease, dialog.bits);
}

void CLumoDoc::Resize() {
    if (!image) return;
    CResizeDlg dialog(image->GetWidth(), image->GetHeight(), App() ? App()->mainFrame() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return;
    RunWorker(ids::kCmdResize, static_cast<int32_t>(dialog.width),
              static_cast<int32_t>(dialog.height), dialog.fast ? 1 : 0);
}

void CLumoDoc::Annotate() {
    if (!image) return;
    CAnnotateDlg dialog(annotationText, annotationFont, annotationColor,
                        App() ? App()->mainFrame() : nullptr);
    if (dialog.exec() != QDialog::Accepted) return;
    annotationText = dialog.text;
    annotationFont = dialog.font;
    annotationColor = dialog.color;
    annotationDate = dialog.includeDate;
    annotationTime = dialog.includeTime;
    annotateMode = 3;
    RunWorker(ids::kCmdAnnotate);
}

// --- the worker ---------------------------------------------------------------------------------

bool CLumoDoc::RunWorker(int command, int32_t arg1, int32_t arg2, int32_t arg3) {
    if (!image || IsBusy() || !ApplyAnnotations()) return false;
    pendingCommand = command;
    commandArg1 = arg1;
    commandArg2 = arg2;
    commandArg3 = arg3;
    workerResult_ = false;
    workerError_.clear();
    // The operations that build a new picture read the picture through a borrowed view and
    // never write it; the others get their copy on the worker.
    workOnCopy_ = ChangesInPlace(command);
    workImage_ = std::make_unique<CRaster>(image->GetType());
    if (!workOnCopy_) workImage_->Ghost(image.get());
    workImage_->SetProgress(0);
    workImage_->SetEscape(0);
    workerDone_ = false;
    workerThread = std::make_unique<std::thread>(&CLumoDoc::WorkerMain, this);

    // The wait: repaints and timers go on, input waits until the operation is over. The worker
    // wakes this thread the moment it ends; the slices only pace the repaints and the progress.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool withProgress = ReportsProgress(command);
    QString shown;
    {
        const platform::InputHold hold;
        while (!workerDone_.load(std::memory_order_acquire)) {
            const QString status = withProgress
                                       ? QString("Working... %1%").arg(workImage_->GetProgress())
                                       : QString("Working...");
            if (status != shown) ShowStatus(shown = status);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
            std::unique_lock<std::mutex> lock(workerMutex_);
            workerEnded_.wait_for(lock, std::chrono::milliseconds(15),
                                  [this] { return workerDone_.load(std::memory_order_acquire); });
        }
    }
    workerThread->join();
    workerThread.reset();
    QApplication::restoreOverrideCursor();
    ShowStatus("Ready");

    const bool succeeded = workerResult_;
    if (succeeded) {
        CommitResult();
        modified_ = true;
    } else {
        // The picture was never written: it and the undo ring stay as they were.
        workImage_.reset();
        platform::ShowMessage(workerError_, kCaption);
    }
    UpdateAllViews(ids::kHintImageChanged);
    return succeeded;
}

bool CLumoDoc::ChangesInPlace(int command) const {
    switch (command) {
        case ids::kCmdLighten:
        case ids::kCmdDarken:
            return true;
        case ids::kCmdGreyscale:
            return image->GetBpp() == 8;  // an 8-bit picture keeps its rows, their values mapped
        case ids::kCmdAnnotate:
            return image->GetBpp() >= 24;  // a shallower one is raised into a new picture first
        default:
            return false;
    }
}

void CLumoDoc::CommitResult() {
    std::unique_ptr<CRaster> result = std::move(workImage_);
    if (result->GetGhostOf()) {
        // Nothing needed doing (the depth or the size asked for is the picture's): the state
        // before counts as a step all the same.
        result = std::make_unique<CRaster>(*image);
    }
    PushUndoState(std::move(image));
    image = std::move(result);
}

void CLumoDoc::WorkerMain(CLumoDoc* doc) {
    CRaster& work = *doc->workImage_;
    if (doc->workOnCopy_) {
        work.Copy(*doc->image);
        work.SetProgress(0);
        // The copy took the picture's escape: a close asked for meanwhile still stops the work.
        if (doc->abandoned_) work.SetEscape(1);
    }
    if (WorkerProbe()) WorkerProbe()(*doc);
    if (doc->workOnCopy_ && doc->image->IsValid() && !work.IsValid()) {
        doc->workerError_ = "Not enough memory to keep the picture as it was.";
    } else {
        // The state before the operation becomes an undo state only when the operation
        // succeeds, so a refused operation leaves the ring as it was.
        errno = 0;
        doc->workerResult_ = doc->PerformPending();
        if (!doc->workerResult_) doc->workerError_ = doc->FailureReason(errno);
    }
    std::lock_guard<std::mutex> lock(doc->workerMutex_);
    doc->workerDone_.store(true, std::memory_order_release);
    doc->workerEnded_.notify_all();
}

// Why the pending operation failed: the library's word when it gave one, else what is known
// of the request, else the system's.
std::string CLumoDoc::FailureReason(int error) const {
    const CRaster& work = *workImage_;
    if (*work.GetLastError()) return work.GetLastError();
    const std::string picture = platform::FormatFixed(
        "%dx%d, %d bits per pixel", static_cast<int>(image->GetWidth()),
        static_cast<int>(image->GetHeight()), static_cast<int>(image->GetBpp()));
    if (pendingCommand == ids::kCmdResize && (commandArg1 <= 0 || commandArg2 <= 0)) {
        return platform::FormatFixed(
            "The picture cannot be resized to %d x %d: both sizes must be at least 1 pixel.",
            commandArg1, commandArg2);
    }
    if (error == ENOMEM || pendingCommand == ids::kCmdResize) {
        return "There is not enough memory for the result (the picture is " + picture + ").";
    }
    if (error != 0)
        return "The operation failed on this picture (" + picture + "): " + std::strerror(error) +
               ".";
    return "The operation cannot be done on this picture (" + picture + ").";
}

bool CLumoDoc::PerformPending() {
    CRaster& picture = *workImage_;
    picture.SetLastError("");
    switch (pendingCommand) {
        case ids::kCmdLighten:
        case ids::kCmdDarken:
            return picture.Light(commandArg1, commandArg2);
        case ids::kCmdMirror:
            return picture.Mirror();
        case ids::kCmdRotateRight:
        case ids::kCmdRotateLeft: {
            // 90, 180 and 270 degrees are one, two and three quarter turns; pixels are only
            // moved, so three turns one way are done as the one turn the other way.
            const int turns = std::clamp(commandArg1, 1, 3);
            const bool right = (pendingCommand == ids::kCmdRotateRight) == (turns != 3);
            for (int i = 0; i < (turns == 3 ? 1 : turns); ++i) {
                if (!(right ? picture.RotateRight() : picture.RotateLeft())) return false;
            }
            return true;
        }
        case ids::kCmdColorsReduce:
            return ReduceColorDepth();
        case ids::kCmdColorsIncrease:
            return picture.IncreaseBpp(static_cast<uint32_t>(commandArg1));
        case ids::kCmdGreyscale:
            return picture.GrayScale();
        case ids::kCmdResize:
            return picture.Resample(commandArg1, commandArg2, commandArg3 != 0);
        case ids::kCmdAnnotate:
            return StampAnnotation();
        default:
            return false;
    }
}

bool CLumoDoc::ReduceColorDepth() {
    CRaster& picture = *workImage_;
    const uint32_t bits = static_cast<uint32_t>(commandArg1);
    if (!picture.IncreaseBpp(24)) return false;
    if (commandArg2 == 1 && (bits == 4 || bits == 8)) {
        const uint32_t colors = bits == 4 ? 16 : 256;
        RGBQUAD palette[256] = {};
        OctreePalette octree(colors, 7);
        if (!octree.AddImageColors(picture.GetDIB(), picture.GetSize())) return false;
        octree.WritePalette(palette);
        return picture.DecreaseBpp(bits, commandArg3 != 0, palette);
    }
    return picture.DecreaseBpp(bits, commandArg3 != 0, nullptr);
}

// The text (with the date and time when asked) at the picture's bottom-left corner, in the
// chosen font and colour, on a 24-bit picture.
bool CLumoDoc::StampAnnotation() {
    CRaster& picture = *workImage_;
    if (picture.GetBpp() < 24 && !picture.IncreaseBpp(24)) return false;
    QString text = annotationText;
    const QDateTime now = QDateTime::currentDateTime();
    if (annotationDate) text += ' ' + QLocale().toString(now.date(), QLocale::ShortFormat);
    if (annotationTime) text += ' ' + QLocale().toString(now.time(), QLocale::ShortFormat);
    text = text.trimmed();
    if (text.isEmpty()) return true;

    const QFontMetrics metrics(annotationFont);
    const int width =
        std::min(metrics.horizontalAdvance(text) + 2, static_cast<int>(picture.GetWidth()));
    const int height = std::min(metrics.height() + 2, static_cast<int>(picture.GetHeight()));
    if (width <= 0 || height <= 0) return true;
    QImage mask(width, height, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setFont(annotationFont);
        painter.setPen(Qt::black);
        painter.drawText(QRect(1, 1, width - 1, height - 1), Qt::AlignLeft | Qt::AlignBottom, text);
    }
    // The mask's bottom row lies on the picture's bottom row (row 0 of the bottom-up rows).
    const int red = annotationColor.red(), green = annotationColor.green(),
              blue = annotationColor.blue();
    for (int y = 0; y < height; ++y) {
        const uchar* coverage = mask.constScanLine(height - 1 - y);
        uint8_t* row = picture.GetBits(static_cast<uint32_t>(y));
        for (int x = 0; x < width; ++x) {
            const int a = coverage[x];
            if (a == 0) continue;
            uint8_t* pixel = row + 3 * x;
            pixel[0] = static_cast<uint8_t>((blue * a + pixel[0] * (255 - a) + 127) / 255);
            pixel[1] = static_cast<uint8_t>((green * a + pixel[1] * (255 - a) + 127) / 255);
            pixel[2] = static_cast<uint8_t>((red * a + pixel[2] * (255 - a) + 127) / 255);
        }
    }
    return true;
}

void CLumoDoc::PushUndoState(std::unique_ptr<CRaster> state) {
    if (undoLevel == kUndoDepth) {
        std::rotate(undoImages.begin(), undoImages.begin() + 1, undoImages.end());
        undoImages.back().reset();
        undoLevel = kUndoDepth - 1;
    }
    for (int i = undoLevel; i < kUndoDepth; ++i) undoImages[static_cast<size_t>(i)].reset();
    if (state && state->IsValid()) {
        undoImages[static_cast<size_t>(undoLevel)] = std::move(state);
        ++undoLevel;
    }
}

// --- HTML pages ---------------------------------------------------------------------------------

void CLumoDoc::WriteHtmlPage() {
    if (!image) return;
    if (App()) App()->EnsureSessionFolders();
    WriteImagePage("Image", htmlPath, imagePath, 0, 0);
    CHtmlPreviewDlg preview(QString::fromStdString(htmlPath), static_cast<int>(image->GetWidth()),
                            static_cast<int>(image->GetHeight()),
                            App() ? App()->mainFrame() : nullptr);
    preview.Run();
}

void CLumoDoc::WriteGalleryPage() {
    if (App()) App()->EnsureSessionFolders();
    const std::string page = WriteGallery("gallery");
    CHtmlPreviewDlg preview(QString::fromStdString(page), 500, 500,
                            App() ? App()->mainFrame() : nullptr);
    preview.Run();
}
