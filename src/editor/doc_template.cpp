#include "editor/doc_template.h"

#include "app/quillet_app.h"
#include "editor/child_frame.h"
#include "editor/image_prompt.h"
#include "editor/lumo_doc.h"
#include "editor/lumo_view.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "platform/fixed_path.h"
#include "platform/message_box.h"

#include <QFile>
#include <QMdiArea>

#include <algorithm>
#include <cstdlib>

namespace {

CDocTemplate* g_template = nullptr;

// The file's one name (links and "..", "." resolved), as bytes; empty when it does not exist.
std::string CanonicalPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string canonical = resolved;
    std::free(resolved);
    return canonical;
}

}  // namespace

CDocTemplate* DocTemplate() {
    return g_template;
}

CDocTemplate::CDocTemplate(QMdiArea* area) : area_(area) {
    g_template = this;
}

CDocTemplate::~CDocTemplate() {
    CloseAllDocuments();
    if (g_template == this) g_template = nullptr;
}

std::vector<CLumoDoc*> CDocTemplate::documents() const {
    std::vector<CLumoDoc*> list;
    for (const auto& doc : documentList_) list.push_back(doc.get());
    return list;
}

CLumoDoc* CDocTemplate::CreateDocument() {
    if (!area_) return nullptr;
    documentList_.push_back(std::make_unique<CLumoDoc>());
    CLumoDoc* doc = documentList_.back().get();
    doc->OnNewDocument();
    // Whatever changes a document (a picture loaded, an operation) refreshes the commands' states,
    // so shortcuts and tool bar buttons follow it before any menu is opened.
    QObject::connect(doc, &CLumoDoc::viewsUpdated, area_, [area = area_] {
        if (auto* main = qobject_cast<CMainFrame*>(area->window())) main->UpdateCommandUI();
    });
    auto* frame = new CChildFrame(doc);
    area_->addSubWindow(frame);
    frame->show();
    return doc;
}

CLumoDoc* CDocTemplate::OpenDocumentFile(const QString& path) {
    return OpenDocumentPath(QFile::encodeName(path).toStdString());
}

CLumoDoc* CDocTemplate::OpenDocumentPath(const std::string& file) {
    // A file that is open already comes forward instead of opening as a second document, whose
    // saves would overwrite the first one's.
    if (CLumoDoc* open = FindOpenFile(file)) {
        if (CChildFrame* frame = FrameOf(open)) {
            if (frame->isMinimized()) frame->showNormal();
            area_->setActiveSubWindow(frame);
        }
        return open;
    }
    CLumoDoc* doc = CreateDocument();
    if (!doc) return nullptr;
    if (!doc->OnOpenDocument(file)) {
        if (CChildFrame* frame = FrameOf(doc)) frame->CloseQuietly();
        return nullptr;
    }
    doc->SetPathName(file);
    if (CChildFrame* frame = FrameOf(doc)) area_->setActiveSubWindow(frame);
    return doc;
}

CLumoDoc* CDocTemplate::FindOpenFile(const std::string& path) const {
    const std::string wanted = CanonicalPath(path);
    if (wanted.empty()) return nullptr;
    for (const auto& doc : documentList_) {
        if (!doc->pathName().empty() && CanonicalPath(doc->pathName()) == wanted) return doc.get();
    }
    return nullptr;
}

void CDocTemplate::CloseDocument(CLumoDoc* doc) {
    auto found = std::find_if(documentList_.begin(), documentList_.end(),
                              [doc](const auto& owned) { return owned.get() == doc; });
    if (found == documentList_.end()) return;
    std::unique_ptr<CLumoDoc> owned = std::move(*found);
    documentList_.erase(found);
    owned.reset();
}

CChildFrame* CDocTemplate::FrameOf(const CLumoDoc* doc) const {
    if (!area_) return nullptr;
    for (QMdiSubWindow* window : area_->subWindowList()) {
        auto* frame = qobject_cast<CChildFrame*>(window);
        if (frame && frame->document() == doc) return frame;
    }
    return nullptr;
}

bool CDocTemplate::SaveAllModified() {
    std::vector<CLumoDoc*> modified;
    for (const auto& doc : documentList_) {
        if (doc->IsModified() && doc->image) modified.push_back(doc.get());
    }
    if (modified.empty()) return true;
    const int answer = platform::ShowMessage(
        modified.size() == 1 ? "Save changes to " + modified.front()->title().toStdString() + "?"
                             : platform::FormatFixed("Save changes to the %d modified images?",
                                                     static_cast<int>(modified.size())),
        "Quillet", platform::MessageIcon::Question, platform::MessageButtons::YesNoCancel);
    // Only an explicit Yes saves; No goes on without saving, anything else keeps everything.
    if (answer == platform::kAnswerNo) return true;
    if (answer != platform::kAnswerYes) return false;
    for (CLumoDoc* doc : modified) {
        if (!doc->DoSave(doc->pathName(), true)) return false;
    }
    return true;
}

void CDocTemplate::CloseAllDocuments() {
    while (!documentList_.empty()) {
        CLumoDoc* doc = documentList_.back().get();
        if (CChildFrame* frame = FrameOf(doc)) {
            frame->CloseQuietly();
        } else {
            CloseDocument(doc);
        }
    }
}

CLumoDoc* CDocTemplate::WorkspaceDocument(int index) const {
    const auto found = workspace_.find(index);
    return found == workspace_.end() ? nullptr : found->second;
}

void CDocTemplate::SetWorkspaceDocument(int index, CLumoDoc* doc) {
    workspace_[index] = doc;
}

void CDocTemplate::ForgetWorkspaceDocument(const CLumoDoc* doc) {
    for (auto& [index, entry] : workspace_) {
        if (entry == doc) entry = nullptr;
    }
}

CLumoDoc* NewWorkspaceDocument() {
    CQuilletApp* app = App();
    CDocTemplate* docTemplate = DocTemplate();
    // Each workspace document gets a number of its own.
    ++app->documentCounter;
    ++app->documentCount;
    CLumoDoc* doc = docTemplate ? docTemplate->CreateDocument() : nullptr;
    if (!doc) {
        platform::ShowMessage("bad document1\n", "Quillet");
        return nullptr;
    }
    docTemplate->SetWorkspaceDocument(app->documentCounter, doc);
    doc->workspaceIndex = app->documentCounter;
    doc->SetTitle(QString::fromStdString(platform::FormatFixed("Image-%d", app->documentCounter)));
    return doc;
}

void OpenImageFileCommand() {
    QString file;
    int type = -1;
    if (!PromptImageFile(file, QFileDialog::Options(), true, type)) return;
    if (DocTemplate()) DocTemplate()->OpenDocumentFile(file);
}
