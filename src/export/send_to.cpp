#include "export/send_to.h"

#include "app/profile.h"
#include "app/quillet_app.h"
#include "capture/bitmap_helpers.h"
#include "capture/capture_record.h"
#include "editor/doc_template.h"
#include "editor/image_prompt.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"
#include "editor/main_frame.h"
#include "editor/child_frame.h"
#include "export/html_writer.h"
#include "ids.h"
#include "image/qt/raster_qt.h"
#include "platform/message_box.h"
#include "platform/path_separator.h"
#include "platform/shell.h"
#include "workspace/capture_preview_dlg.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <filesystem>

namespace {

// Looked up by the bytes of its name: a name that is not UTF-8 does not survive a QString.
bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

constexpr const char* kCaption = "Quillet";

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of(platform::kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path without the file name's extension ("%s%s%s" of drive, folder and base name).
std::string WithoutExtension(const std::string& path) {
    const size_t slash = path.find_last_of(platform::kPathSeparator);
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

// Brings the editor to the front, restored when it was hidden or minimised.
void RaiseEditor(CMainFrame* frame) {
    if (!frame) return;
    if (frame->isHidden() || frame->isMinimized()) frame->showNormal();
    frame->raise();
    frame->activateWindow();
}

// The document's window goes, and the document with it.
void DiscardDocument(CLumoDoc* doc) {
    CDocTemplate* docTemplate = DocTemplate();
    if (!docTemplate) return;
    if (CChildFrame* frame = docTemplate->FrameOf(doc)) {
        frame->CloseQuietly();
    } else {
        docTemplate->CloseDocument(doc);
    }
}

}  // namespace

bool SaveJpegCopy(const CRaster& image, const std::string& path) {
    CRaster copy(image);
    if (!copy.IsValid() || !copy.AlphaStrip()) return false;
    copy.AlphaDelete();
    if (copy.GetBpp() != 24 && !copy.IncreaseBpp(24)) return false;
    return copy.Save(path.c_str(), kTypeJpeg);
}

// --- the workspace ------------------------------------------------------------------------------

CLumoDoc* SendToWorkspace(const CCaptureRecord* record) {
    CQuilletApp* app = App();
    if (!app->captureExists || !record) {
        platform::ShowMessage(kNoCaptureMessage, kCaption);
        return nullptr;
    }
    // A capture whose file is gone stops here, before a document number is used. A picture that
    // never reached its file is sent from memory.
    const std::shared_ptr<const CRaster> picture = record->Image();
    if (!picture || !picture->IsValid()) {
        platform::ShowMessage(record->ImageError().empty() ? "Cannot open " + record->cachePath
                                                           : record->ImageError(),
                              kCaption);
        return nullptr;
    }
    const bool fromFile = FileExists(record->cachePath);

    app->EnsureSessionFolders();
    CLumoView::SetThumbnailMaker(&MakeWorkspaceThumbnail);
    CLumoDoc* doc = NewWorkspaceDocument();
    if (!doc) return nullptr;
    CMainFrame* frame = app->mainFrame();
    RaiseEditor(frame);

    if (fromFile) {
        if (!doc->OnOpenDocument(record->cachePath)) {
            DiscardDocument(doc);
            return nullptr;
        }
    } else {
        doc->image = std::make_unique<CRaster>(*picture);
        doc->UpdateAllViews(ids::kHintImageChanged);
    }
    doc->SetModifiedFlag(true);
    doc->SetWorkspacePaths(record->iconFlag != 0, nullptr);
    doc->thumbnailPending = true;
    RaiseEditor(frame);
    // A failed save leaves the document modified (the save said why).
    if (doc->SaveToWorkspace()) doc->SetModifiedFlag(false);
    return doc;
}

QSize WorkspaceThumbnailSize(int imageWidth, int imageHeight, int boxWidth, int boxHeight) {
    if (boxWidth >= imageWidth && boxHeight >= imageHeight) return {imageWidth, imageHeight};
    const double imageRatio = double(imageWidth) / imageHeight;
    const double boxRatio = double(boxWidth) / boxHeight;
    QSize fitted(boxWidth, boxHeight);
    if (imageRatio > boxRatio) {
        fitted.setHeight(static_cast<int>(int64_t{imageHeight} * boxWidth / imageWidth));
    } else if (imageRatio < boxRatio) {
        fitted.setWidth(static_cast<int>(int64_t{imageWidth} * boxHeight / imageHeight));
    }
    return fitted.expandedTo(QSize(1, 1));
}

void MakeWorkspaceThumbnail(CLumoDoc& doc) {
    if (!doc.image || !doc.image->IsValid() || doc.thumbnailPath.empty()) return;
    const CRaster& image = *doc.image;
    const SettingsRecord& settings = App()->settings;
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    const QSize size =
        WorkspaceThumbnailSize(width, height, settings.thumbWidth, settings.thumbHeight);
    auto thumbnail = std::make_unique<CRaster>(image);
    if (size != QSize(width, height)) {
        const QImage scaled = ResizeBitmap(MakeBitmap(image), size.width(), size.height());
        if (scaled.isNull() || !CreateFromHBITMAP(*thumbnail, scaled)) {
            platform::ShowMessage("New", kCaption);
            return;
        }
    }
    // The thumbnail is a JPEG: true colour, transparency flattened.
    thumbnail->AlphaStrip();
    thumbnail->AlphaDelete();
    if (thumbnail->GetBpp() != 24) thumbnail->IncreaseBpp(24);
    doc.thumbnailImage = std::move(thumbnail);
    doc.savingThumbnail = true;
    doc.OnSaveDocument(doc.thumbnailPath);
    doc.savingThumbnail = false;
}

// --- pages --------------------------------------------------------------------------------------

bool MakeWebImage(const CCaptureRecord& record, std::string& webImagePath, std::string& pagePath) {
    const std::string web = CCapturePreviewDlg::WebImagePath(record);
    if (web.empty()) {
        platform::ShowMessage(record.ImageError().empty()
                                  ? "Cannot write " + WithoutExtension(record.cachePath) + ".jpg"
                                  : record.ImageError(),
                              kCaption);
        return false;
    }
    webImagePath = web;
    pagePath = WithoutExtension(record.cachePath) + ".htm";
    return true;
}

namespace {

// The web image and its page; the picture's size when `sized`.
bool WritePageFor(const CCaptureRecord* record, bool sized, std::string& webImagePath,
                  std::string& pagePath) {
    if (!App()->captureExists || !record) {
        platform::ShowMessage(kNoCaptureMessage, kCaption);
        return false;
    }
    if (!MakeWebImage(*record, webImagePath, pagePath)) return false;
    int width = 0, height = 0;
    if (sized) {
        const std::shared_ptr<const CRaster> picture = record->Image();
        if (picture) {
            width = static_cast<int>(picture->GetWidth());
            height = static_cast<int>(picture->GetHeight());
        }
    }
    const std::string base = FileNameOf(WithoutExtension(webImagePath));
    WriteImagePage(base, pagePath, webImagePath, width, height);
    return true;
}

}  // namespace

bool SendToExplorer(const CCaptureRecord* record, std::string& webImagePath,
                    std::string& pagePath) {
    if (!WritePageFor(record, true, webImagePath, pagePath)) return false;
    if (!platform::OpenWithShell(pagePath)) {
        platform::ShowMessage("No program could be found to show " + pagePath, kCaption);
        return false;
    }
    return true;
}

bool SendToHtmlEditor(const CCaptureRecord* record, std::string& webImagePath,
                      std::string& pagePath) {
    if (!WritePageFor(record, false, webImagePath, pagePath)) return false;
    const std::string editor = profile::ReadString("HTMED").toStdString();
    if (editor.empty()) {
        platform::ShowMessage(kNoEditorMessage, kCaption);
        return false;
    }
    if (!platform::StartProgram(editor, {pagePath})) {
        platform::ShowMessage("The HTML editor could not be started: " + editor, kCaption);
        return false;
    }
    return true;
}

// --- mail ---------------------------------------------------------------------------------------

bool MailAvailable() {
    return !platform::MailProgram().empty();
}

std::string MailAttachmentName(const std::string& title, int imageType) {
    std::string name = FileNameOf(title);
    if (name.empty()) name = "Image";
    const std::string extension = ImageTypeExtension(imageType).toStdString();
    const QString lower = QString::fromStdString(name).toLower();
    const bool hasIt = lower.endsWith(QString::fromStdString(extension)) ||
                       (imageType == kTypeJpeg && lower.endsWith(".jpeg"));
    return hasIt ? name : name + extension;
}

bool MailImage(const std::string& title, const CRaster& image) {
    const std::string program = platform::MailProgram();
    if (program.empty()) {
        platform::ShowMessage("No mail program was found (xdg-email).", kCaption);
        return false;
    }
    // One folder for the run, one subfolder per message: a composer still reading an earlier
    // attachment keeps it.
    static std::unique_ptr<QTemporaryDir> folder;
    static int serial = 0;
    if (!folder)
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/quillet-mail-XXXXXX");
    const QString messageFolder = folder->path() + QString("/%1").arg(++serial);
    int type = static_cast<int>(image.GetType());
    const ImageFilterRow* row = ImageFilterRowOf(type);
    if (!row || !row->save) type = kTypeBmp;
    const std::string path = messageFolder.toStdString() + "/" + MailAttachmentName(title, type);
    CRaster copy(image);
    const bool written = folder->isValid() && QDir().mkpath(messageFolder) &&
                         (type == kTypeJpeg ? SaveJpegCopy(image, path)
                                            : copy.Save(path.c_str(), static_cast<uint32_t>(type)));
    if (!written) {
        platform::ShowMessage("The attachment could not be written: " + path, kCaption);
        return false;
    }
    if (!platform::ComposeMail(FileNameOf(path), path)) {
        platform::ShowMessage("The mail program could not be started: " + program, kCaption);
        return false;
    }
    return true;
}
