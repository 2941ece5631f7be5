#include "app/quillet_app.h"

#include "app/about_dlg.h"
#include "platform/folders.h"
#include "app/profile.h"
#include "capture/mw.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/tray_icon.h"
#include "platform/fixed_path.h"
#include "platform/message_box.h"
#include "platform/path_separator.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr const char* kTitle = "Quillet";
constexpr char kSep = platform::kPathSeparator;
}  // namespace

CQuilletApp* App() {
    return static_cast<CQuilletApp*>(QCoreApplication::instance());
}

void InitQuilletResources() {
    Q_INIT_RESOURCE(quillet);
    Q_INIT_RESOURCE(skins);
}

CQuilletApp::CQuilletApp(int& argc, char** argv) : QApplication(argc, argv) {
    InitQuilletResources();
}

CQuilletApp::~CQuilletApp() = default;

bool CQuilletApp::InitInstance() {
    // The command line is ignored: no file named on it is opened.
    if (!AcquireSingleInstance()) return false;

    setApplicationName(profile::kApplication);
    setOrganizationName(profile::kOrganisation);
    recentFiles.Load();
    profile::EnsureExtensionDefaults();

    quitting = expertMode = sessionUsed = sessionLoaded = captureCounter = 0;

    settings = SettingsRecord{};
    BuildFolderPaths();
    SetSessionPaths(0);
    SetTextField(settings.fileExtension, ".bmp");
    SetTextField(settings.filePrefix, "IMG");

    LoadOrCreateSettings();
    SetSessionPaths(settings.sessionNumber);
    SetTextField(settings.defaultSaveDir, sessionFolder);
    WriteSettings(SettingsPath(), settings);  // a failed write leaves the record in memory only

    if (settings.expertMode != 0) expertMode = 1;
    ApplyDialogColours();

    documentCounter = documentCount = 0;
    frozenScreen = QImage();

    if (!CreateMainFrame()) return false;

    coordinator_ = std::make_unique<CMW>();
    panel_ = std::make_unique<CControlPanel>(coordinator_.get());
    if (!InstallTrayIcon()) return false;

    coordinator_->raise();
    coordinator_->onCommand(ids::kCmdStart);
    return true;
}

int CQuilletApp::ExitInstance(int loopResult) {
    if (instanceMarker_) instanceMarker_->unlock();
    AppendSessionToHistory();
    if (trayIcon_) trayIcon_->Destroy();
    return loopResult;
}

bool CQuilletApp::AcquireSingleInstance() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    auto marker = std::make_unique<QLockFile>(folder + '/' + kTitle + ".lock");
    marker->setStaleLockTime(0);  // only a live holder counts; a crashed one's lock is taken over
    if (marker->tryLock(0)) {
        instanceMarker_ = std::move(marker);
        return true;
    }
    const bool running = marker->error() == QLockFile::LockFailedError;
    platform::ShowMessage(
        running ? "Application is already running." : "Error creating file mapping", kTitle);
    return false;
}

void CQuilletApp::BuildFolderPaths() {
    char cwd[platform::kMaxPath] = "";
    if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    baseFolder = platform::FormatFixed("%s%c", cwd, kSep);
    cacheFolder = platform::FormatFixed("%s%ccache%c", cwd, kSep, kSep);
    cacheThumbnailsFolder = platform::FormatFixed("%s%ccache%cthumbnails%c", cwd, kSep, kSep, kSep);
    binFolder = platform::FormatFixed("%s%cbin%c", cwd, kSep, kSep);
    binThumbnailsFolder = platform::FormatFixed("%s%cbin%cthumbnails%c", cwd, kSep, kSep, kSep);
}

void CQuilletApp::SetSessionPaths(int sessionNumber) {
    const char* bin = binFolder.c_str();
    sessionFolder = platform::FormatFixed("%ssession%d%c", bin, sessionNumber, kSep);
    sessionThumbnailsFolder =
        platform::FormatFixed("%ssession%d%cthumbnails%c", bin, sessionNumber, kSep, kSep);
    sessionHtmlFolder =
        platform::FormatFixed("%ssession%d%chtml%c", bin, sessionNumber, kSep, kSep);
}

void CQuilletApp::LoadOrCreateSettings() {
    const bool existed = ReadSettings(SettingsPath(), settings);
    if (existed) {
        settings.sessionNumber += 1;
    } else {
        WriteSettings(SettingsPath(), settings);
    }
    // The first start makes the folders; later starts put back any that were deleted, so
    // captures always have somewhere to go.
    for (const std::string* folder :
         {&cacheFolder, &binFolder, &binThumbnailsFolder, &cacheThumbnailsFolder}) {
        platform::MakeFolder(*folder);
    }
}

void CQuilletApp::ApplyDialogColours() {
    const QString background = QColor(kDialogBackground).name();
    const QString text = QColor(kDialogText).name();
    setStyleSheet(QString("QDialog { background-color: %1; }"
                          " QDialog QLabel, QDialog QCheckBox, QDialog QRadioButton,"
                          " QDialog QGroupBox { color: %2; }")
                      .arg(background, text));
}

bool CQuilletApp::CreateMainFrame() {
    mainFrame_ = std::make_unique<CMainFrame>();
    return mainFrame_->Create();
}

bool CQuilletApp::InstallTrayIcon() {
    trayIcon_ = std::make_unique<CTrayIcon>();
    const bool added = trayIcon_->Create(coordinator_.get(), ids::kTrayCallbackMessage, kTitle,
                                         QIcon(":/icons/tray.png"), ids::kTrayMenu);
    if (added) {
        trayIcon_->SetTarget(coordinator_.get());
        trayIcon_->SetDefaultItem(ids::kCmdStart, false);
        return true;
    }
    platform::ShowMessage("Tray icon initialization failed", kTitle,
                          platform::MessageIcon::Warning);
    return false;
}

void CQuilletApp::EnsureSessionFolders() {
    if (sessionUsed != 0) return;
    platform::MakeFolder(sessionFolder);
    platform::MakeFolder(sessionThumbnailsFolder);
    platform::MakeFolder(sessionHtmlFolder);
    sessionUsed = 1;
}

void CQuilletApp::AppendSessionToHistory() {
    if (sessionUsed != 1 || sessionLoaded != 0) return;
    std::FILE* history = std::fopen(HistoryPath().c_str(), "a");
    if (!history) return;  // the history is skipped, the program still ends normally
    std::fprintf(history, "%s\n", sessionFolder.c_str());
    std::fclose(history);
}

bool CQuilletApp::onCommand(int id) {
    if (id == ids::kCmdAppAbout) {
        ShowAboutBox();
        return true;
    }
    return false;
}

void CQuilletApp::ShowAboutBox() {
    CAboutDlg about(mainFrame_.get());
    about.exec();
}
