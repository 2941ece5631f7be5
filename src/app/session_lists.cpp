#include "app/session_lists.h"

#include "app/quillet_app.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/main_frame.h"
#include "platform/fixed_path.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/replacing_file.h"

#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr const char* kCaption = "Quillet";
constexpr const char* kListName = "SESSION.MRU";
constexpr const char* kScratchName = "SESSION.TMP";
// The longest name made inside a session: "thumbnails/T-<prefix><number>.jpg".
constexpr std::size_t kLongestNameInSession = 11 + 2 + 31 + 11 + 4;
constexpr std::size_t kMaxSessionFolderLength = platform::kMaxPath - 1 - kLongestNameInSession;

std::string CutAtLineEnd(const std::string& line) {
    return line.substr(0, line.find_first_of("\r\n"));
}

bool WriteLines(std::FILE* file, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (std::fprintf(file, "%s\n", line.c_str()) < 0) return false;
    }
    return true;
}

// Appends one line; a last line without its line feed gets one first, so the new line is the
// list's next.
bool AppendLine(const std::string& listPath, const std::string& line) {
    bool needsBreak = false;
    if (std::FILE* old = std::fopen(listPath.c_str(), "rb")) {
        if (std::fseek(old, -1, SEEK_END) == 0) needsBreak = std::fgetc(old) != '\n';
        std::fclose(old);
    }
    std::FILE* list = std::fopen(listPath.c_str(), "a");
    if (!list) return false;
    bool written = (!needsBreak || std::fputc('\n', list) != EOF) &&
                   std::fprintf(list, "%s\n", line.c_str()) >= 0;
    written = std::fclose(list) == 0 && written;
    return written;
}

// The scratch file, made new: whatever lies at its name (a file a crash left, a link planted
// there) is removed first, never written through.
std::FILE* CreateScratch(const std::string& path) {
    unlink(path.c_str());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "w");
    if (!file) close(fd);
    return file;
}

// The rewrite: the list with line `lineNumber` replaced goes to the scratch file, which is then
// copied back. A list shortened since the document's line was given gets the line at its end,
// which the document then owns.
bool RewriteLine(const std::string& folder, const std::string& listPath, int& lineNumber,
                 const std::string& line) {
    const std::string scratchPath = folder + kScratchName;
    std::FILE* scratch = CreateScratch(scratchPath);
    if (!scratch) return false;
    std::vector<std::string> lines = ReadTextLines(listPath);
    int owned = lineNumber;
    if (owned < 1 || static_cast<std::size_t>(owned) > lines.size()) {
        lines.push_back(line);
        owned = static_cast<int>(lines.size());
    } else {
        lines[static_cast<std::size_t>(owned - 1)] = line;
    }
    const bool written = WriteLines(scratch, lines);
    if (std::fclose(scratch) != 0 || !written) return false;
    if (CopyListBack(scratchPath, listPath) != 0) return false;
    lineNumber = owned;
    return true;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

bool ExistsAtAll(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
               std::filesystem::file_type::not_found &&
           !error;
}

void RaiseEditorBelow(QWidget* keepAbove) {
    CMainFrame* frame = App()->mainFrame();
    if (frame) {
        if (frame->isHidden() || frame->isMinimized()) frame->showNormal();
        frame->raise();
        frame->activateWindow();
    }
    if (keepAbove) {
        keepAbove->raise();
        keepAbove->activateWindow();
    }
}

}  // namespace

std::vector<std::string> ReadTextLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(CutAtLineEnd(line));
    return lines;
}

int CopyListBack(const std::string& scratchPath, const std::string& listPath) {
    std::FILE* source = std::fopen(scratchPath.c_str(), "rb");
    if (!source) return -1;
    platform::CReplacingFile target;
    if (!target.Open(listPath)) {
        std::fclose(source);
        return -2;
    }
    char buffer[4096];
    bool copied = true;
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, source)) > 0) {
        if (std::fwrite(buffer, 1, count, target.file()) != count) copied = false;
    }
    copied = copied && !std::ferror(source);
    std::fclose(source);
    if (!copied) {
        target.Abandon();
        return -2;
    }
    return target.Commit(platform::ReplacementPermissions(listPath), false) ? 0 : -2;
}

void RecordSavedImage(CLumoDoc& doc, const std::string& path, int folderKind) {
    if (doc.loadingSession || folderKind < 0 || folderKind > 1) return;
    CQuilletApp* app = App();
    app->EnsureSessionFolders();
    const std::string& folder = folderKind == 0 ? app->sessionFolder : app->sessionThumbnailsFolder;
    const std::string listPath = folder + kListName;

    // The line the document owns, in this very list and still there.
    int& owned = doc.sessionLine[folderKind];
    const bool listed = owned > 0 && doc.sessionList[folderKind] == listPath &&
                        static_cast<std::size_t>(owned) <= ReadTextLines(listPath).size();
    if (listed) {
        RewriteLine(folder, listPath, owned, path);  // a failure keeps the old line
        return;
    }
    const int next = static_cast<int>(ReadTextLines(listPath).size()) + 1;
    if (!AppendLine(listPath, path)) return;
    owned = next;
    doc.sessionList[folderKind] = listPath;
}

bool LoadSession(const std::string& sessionFolder, QWidget* keepAbove) {
    if (sessionFolder.empty()) return false;
    std::error_code error;
    if (!std::filesystem::is_directory(sessionFolder, error)) {
        platform::ShowMessage("This session's folder does not exist any more:\n" + sessionFolder,
                              kCaption, platform::MessageIcon::Warning);
        return false;
    }
    std::string folder = sessionFolder;
    if (folder.back() != '/') folder += '/';
    // Names in the session are built in the fixed path buffers: a folder they do not fit in
    // would get copies under cut names.
    if (folder.size() > kMaxSessionFolderLength) {
        platform::ShowMessage("This session's folder has a path of " +
                                  std::to_string(folder.size()) +
                                  " characters; Quillet keeps sessions in folders of at most " +
                                  std::to_string(kMaxSessionFolderLength) + ":\n" + folder,
                              kCaption, platform::MessageIcon::Warning);
        return false;
    }

    CQuilletApp* app = App();
    // The run's own session still enters the history at exit if it was used.
    if (app->sessionLoaded == 0 && app->sessionUsed == 1) app->usedOwnSession = app->sessionFolder;
    app->sessionLoaded = 1;
    app->sessionUsed = 1;
    app->sessionFolder = folder;
    app->sessionThumbnailsFolder = folder + "thumbnails/";
    app->sessionHtmlFolder = folder + "html/";
    platform::MakeFolder(app->sessionThumbnailsFolder);
    platform::MakeFolder(app->sessionHtmlFolder);
    SetTextField(app->settings.defaultSaveDir, folder);

    const std::string listPath = folder + kListName;
    if (!std::filesystem::exists(listPath, error)) return true;
    const std::vector<std::string> lines = ReadTextLines(listPath);
    RaiseEditorBelow(keepAbove);

    // Every listed image is read before any copy is written, so no copy can replace a file that
    // a later line names.
    std::vector<std::pair<CLumoDoc*, std::string>> loaded;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        CLumoDoc* doc = NewWorkspaceDocument();
        if (!doc) continue;
        doc->sessionLine[0] = static_cast<int>(i + 1);
        doc->sessionList[0] = listPath;
        doc->loadingSession = true;
        doc->OnOpenDocument(lines[i]);
        loaded.emplace_back(doc, lines[i]);
    }
    std::string skipped;
    for (auto& [doc, source] : loaded) {
        doc->SetModifiedFlag(true);
        doc->SetWorkspacePaths(false, nullptr);
        RaiseEditorBelow(keepAbove);
        // A file of the new name that is not this document's own source is never replaced.
        if (ExistsAtAll(doc->imagePath) && !IsSameFile(doc->imagePath, source)) {
            skipped += "\n" + doc->imagePath;
        } else if (doc->SaveToWorkspace()) {
            doc->SetModifiedFlag(false);
        }
        doc->loadingSession = false;
    }
    if (!skipped.empty()) {
        platform::ShowMessage(
            "These copies were not saved, because files of their names are "
            "already in the session:" +
                skipped,
            kCaption, platform::MessageIcon::Warning);
    }
    return true;
}
