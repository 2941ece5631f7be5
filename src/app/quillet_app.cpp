#include "app/quillet_app.h"

#include "app/about_dlg.h"
#include "platform/folders.h"
#include "app/profile.h"
#include "app/remote_command.h"
#include "app/properties_dlg.h"
#include "app/session_lists.h"
#include "editor/lumo_doc.h"
#include "capture/hook_messages.h"
#include "capture/mw.h"
#include "editor/doc_template.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/tray_icon.h"
#include "platform/fixed_path.h"
#include "platform/global_keys.h"
#include "platform/message_box.h"
#include "platform/path_separator.h"
#include "platform/portal_shortcuts.h"
#include "platform/replacing_file.h"
#include "platform/screen_grab.h"

#include <QDir>
#include <QLockFile>
#include <QSessionManager>
#include <QTimer>
#include <QStandardPaths>

#include <cstdio>
#include <filesystem>
#include <system_error>

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
    // Closing a window or a dialog never ends the program: only Shutdown does.
    setQuitOnLastWindowClosed(false);
    connect(this, &QGuiApplication::commitDataRequest, this, &CQuilletApp::CommitSessionData,
            Qt::DirectConnection);
}

CQuilletApp::~CQuilletApp() = default;

bool CQuilletApp::InitInstance() {
    // The command line is ignored: no file named on it is opened.
    if (!AcquireSingleInstance()) return false;

    // Everything lives under the working folder: without it nothing may be written anywhere.
    if (!BuildFolderPaths()) return false;
    setApplicationName(profile::kApplication);
    setOrganizationName(profile::kOrganisation);
    recentFiles.Load();
    profile::EnsureExtensionDefaults();

    quitting = expertMode = sessionUsed = sessionLoaded = captureCounter = 0;
    usedOwnSession.clear();
    CLumoDoc::SetSaveListener(&RecordSavedImage);

    LoadSettings();
    ApplyDialogColours();

    documentCounter = documentCount = 0;
    frozenScreen = QImage();

    if (!CreateMainFrame()) return false;

    RegisterHookMessages();
    captureChangeSwallow = 1;
    coordinator_ = std::make_unique<CMW>();
    panel_ = std::make_unique<CControlPanel>(coordinator_.get());
    // Many desktops have no tray (on Wayland most): the panel alone carries the commands there.
    const bool wayland = platform::RunsOnWayland();
    InstallTrayIcon();
    // Keys held for the whole desktop: X11 grabs them; on Wayland the desktop portal may bind
    // them for us.
    if (wayland)
        BindPortalShortcuts();
    else
        GrabCaptureKeys();

    coordinator_->raise();
    coordinator_->onCommand(ids::kCmdStart);

    // Commands from the command line (a later `quillet --capture ...`) come in here.
    commandServer_ = std::make_unique<remote::CCommandServer>();
    if (!commandServer_->Listen(remote::SocketPath()))
        std::fprintf(stderr, "Quillet cannot take commands at %s\n",
                     qPrintable(remote::SocketPath()));
    // Told from the event loop, so that commands already waiting are served meanwhile.
    // (On Wayland a desktop without a tray is the rule, and the panel says nothing of it.)
    if (!HasTray() && !platform::RunsOnWayland())
        QTimer::singleShot(0, this, &CQuilletApp::TellRunningWithoutTray);
    return true;
}

int CQuilletApp::ExitInstance(int loopResult) {
    commandServer_.reset();
    if (instanceMarker_) instanceMarker_->unlock();
    AppendSessionToHistory();
    if (trayIcon_) trayIcon_->Destroy();
    return loopResult;
}

bool CQuilletApp::Shutdown() {
    if (askingToEnd_) {
        if (QWidget* question = activeModalWidget()) {
            question->raise();
            question->activateWindow();
        }
        return false;
    }
    if (!OfferModifiedPictures()) return false;
    EndEventLoop();
    return true;
}

bool CQuilletApp::OfferModifiedPictures() {
    askingToEnd_ = true;
    const bool goOn = !DocTemplate() || DocTemplate()->SaveAllModified();
    askingToEnd_ = false;
    return goOn;
}

void CQuilletApp::EndEventLoop() {
    quitting = 1;
    QCoreApplication::exit(0);
}

bool CQuilletApp::event(QEvent* event) {
    if (event->type() == QEvent::Quit) {
        event->ignore();  // Shutdown ends the loop itself when the user lets it
        Shutdown();
        return true;
    }
    return QApplication::event(event);
}

void CQuilletApp::CommitSessionData(QSessionManager& manager) {
    if (askingToEnd_ || !manager.allowsInteraction()) return;  // nothing is saved unasked
    const bool goOn = OfferModifiedPictures();
    manager.release();
    if (!goOn) {
        manager.cancel();
        return;
    }
    // Answered: the program ends with the session rather than asking again when it is told to.
    EndEventLoop();
}

bool CQuilletApp::AcquireSingleInstance() {
    if (remote::RuntimeFolder().isEmpty()) {
        platform::ShowMessage(remote::RuntimeFolderProblem().toStdString(), kTitle,
                              platform::MessageIcon::Error);
        return false;
    }
    auto marker = std::make_unique<QLockFile>(remote::LockPath());
    marker->setStaleLockTime(0);  // only a live holder counts; a crashed one's lock is taken over
    if (marker->tryLock(0)) {
        instanceMarker_ = std::move(marker);
        return true;
    }
    const bool running = marker->error() == QLockFile::LockFailedError;
    // Without a tray the running instance's panel is its only face: it comes forward instead.
    if (running && remote::ShowPanelOfInstanceWithoutTray()) {
        handedToRunningInstance = 1;
        return false;
    }
    platform::ShowMessage(
        running ? "Application is already running." : "Error creating file mapping", kTitle);
    return false;
}

bool CQuilletApp::BuildFolderPaths() {
    std::error_code error;
    const std::string cwd = std::filesystem::current_path(error).string();
    if (error || cwd.empty()) {
        platform::ShowMessage("Quillet cannot tell which folder it was started from (" +
                                  error.message() + "), so it has nowhere to keep its files.",
                              kTitle, platform::MessageIcon::Error);
        return false;
    }
    // The folder's paths are cut in the fixed buffers beyond this length: refused, not cut.
    if (cwd.size() > static_cast<std::size_t>(platform::kMaxBaseFolderLength)) {
        platform::ShowMessage(
            "The folder Quillet was started from has a path of " + std::to_string(cwd.size()) +
                " characters; Quillet keeps its files under it and needs one of at most " +
                std::to_string(platform::kMaxBaseFolderLength) +
                ". Start Quillet from a folder with a shorter path.",
            kTitle, platform::MessageIcon::Error);
        return false;
    }
    const char* base = cwd.c_str();
    baseFolder = platform::FormatFixed("%s%c", base, kSep);
    cacheFolder = platform::FormatFixed("%s%ccache%c", base, kSep, kSep);
    cacheThumbnailsFolder =
        platform::FormatFixed("%s%ccache%cthumbnails%c", base, kSep, kSep, kSep);
    binFolder = platform::FormatFixed("%s%cbin%c", base, kSep, kSep);
    binThumbnailsFolder = platform::FormatFixed("%s%cbin%cthumbnails%c", base, kSep, kSep, kSep);
    return true;
}

void CQuilletApp::SetSessionPaths(int sessionNumber) {
    const char* bin = binFolder.c_str();
    sessionFolder = platform::FormatFixed("%ssession%d%c", bin, sessionNumber, kSep);
    sessionThumbnailsFolder =
        platform::FormatFixed("%ssession%d%cthumbnails%c", bin, sessionNumber, kSep, kSep);
    sessionHtmlFolder =
        platform::FormatFixed("%ssession%d%chtml%c", bin, sessionNumber, kSep, kSep);
}

void CQuilletApp::LoadSettings() {
    settings = SettingsRecord{};
    SetSessionPaths(0);
    SetTextField(settings.fileExtension, ".bmp");
    SetTextField(settings.filePrefix, "IMG");

    LoadOrCreateSettings();
    SetSessionPaths(settings.sessionNumber);
    SetTextField(settings.defaultSaveDir, sessionFolder);
    // A failed write leaves the record in memory only.
    const bool saved = settingsReadOnly == 0 && WriteSettings(SettingsPath(), settings);
    ReportUnsavedOptions(saved);

    if (settings.expertMode != 0) expertMode = 1;
}

void CQuilletApp::LoadOrCreateSettings() {
    const bool existed = ReadSettings(SettingsPath(), settings);
    settingsReadOnly = platform::ExistsButIsNotWritable(SettingsPath()) ? 1 : 0;
    mailSettingsReadOnly = platform::ExistsButIsNotWritable(MailSettingsPath()) ? 1 : 0;
    if (existed) {
        ReportRepairedSettings(RepairSettings(settings));
        settings.sessionNumber = NextSessionNumber(settings.sessionNumber);
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

void CQuilletApp::ReportRepairedSettings(const std::vector<std::string>& fields) {
    if (fields.empty()) return;
    std::string names;
    for (const std::string& field : fields) names += (names.empty() ? "" : ", ") + field;
    platform::ShowMessage("quillet.ini in " + baseFolder + " held values Quillet cannot use (" +
                              names +
                              "). Those options are back to their defaults; the others are kept.",
                          kTitle, platform::MessageIcon::Warning);
}

void CQuilletApp::ReportUnsavedOptions(bool settingsSaved) {
    std::string files;
    if (!settingsSaved) files = "quillet.ini";
    if (mailSettingsReadOnly != 0)
        files += files.empty() ? "quilletemail.ini" : " and quilletemail.ini";
    if (files.empty()) return;
    platform::ShowMessage("Quillet cannot write " + files + " in " + baseFolder +
                              ": the options are used as they are, but changes to them "
                              "cannot be saved.",
                          kTitle, platform::MessageIcon::Warning);
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

void CQuilletApp::InstallTrayIcon() {
    trayIcon_ = std::make_unique<CTrayIcon>();
    const bool added = trayIcon_->Create(coordinator_.get(), ids::kTrayCallbackMessage, kTitle,
                                         QIcon(":/icons/tray.png"), ids::kTrayMenu);
    if (!added) return;  // the program runs from its panel
    trayIcon_->SetTarget(coordinator_.get());
    trayIcon_->SetDefaultItem(ids::kCmdStart, false);
}

bool CQuilletApp::HasTray() const {
    return trayIcon_ && !trayIcon_->hidden();
}

// Many desktops show no tray (GNOME without its extension, bars without one): the panel is then
// the program's window. Said once per profile, not at every start.
void CQuilletApp::TellRunningWithoutTray() {
    if (profile::ReadString("NOTRAYTOLD") == "1") return;
    profile::WriteString("NOTRAYTOLD", "1");
    platform::ShowMessage(kNoTrayMessage, kTitle, platform::MessageIcon::Information);
}

void CQuilletApp::EnsureSessionFolders() {
    if (sessionUsed != 0) return;
    platform::MakeFolder(sessionFolder);
    platform::MakeFolder(sessionThumbnailsFolder);
    platform::MakeFolder(sessionHtmlFolder);
    sessionUsed = 1;
}

void CQuilletApp::AppendSessionToHistory() {
    const std::string& folder =
        sessionLoaded == 0 ? (sessionUsed == 1 ? sessionFolder : usedOwnSession) : usedOwnSession;
    if (folder.empty()) return;
    std::FILE* history = std::fopen(HistoryPath().c_str(), "a");
    if (!history) return;  // the history is skipped, the program still ends normally
    std::fprintf(history, "%s\n", folder.c_str());
    std::fclose(history);
}

bool CQuilletApp::onCommand(int id) {
    if (id == ids::kCmdAppAbout) {
        ShowAboutBox();
        return true;
    }
    if (id == ids::kCmdFileNew) {
        NewWorkspaceDocument();
        return true;
    }
    if (id == ids::kCmdFileOpen) {
        OpenImageFileCommand();
        return true;
    }
    return false;
}

void CQuilletApp::ShowProperties() {
    CPropertiesDlg dialog;
    dialog.exec();
}

void CQuilletApp::ShowAboutBox() {
    CAboutDlg about(mainFrame_.get());
    about.exec();
}

void CQuilletApp::RunCaptureKey(int id) {
    // Never a second capture or balloon inside one under way (commands over the socket are
    // refused then too).
    if (remote::CCommandServer::Busy()) {
        platform::Beep();
        return;
    }
    coordinator_->onCommand(id);
}

void CQuilletApp::BindPortalShortcuts() {
    // The same keys as X11's Print and Shift+Print, which the desktop may change.
    portalShortcuts_ = std::make_unique<platform::PortalShortcuts>();
    connect(
        portalShortcuts_.get(), &platform::PortalShortcuts::activated, this,
        [this](const QString& id) {
            if (id == "desktop") RunCaptureKey(ids::kCmdScreen);
            if (id == "rectangle") RunCaptureKey(ids::kCmdRectangle);
        },
        Qt::QueuedConnection);
    portalShortcuts_->Register({{"desktop", "Capture Desktop", "Print"},
                                {"rectangle", "Capture Rectangle", "SHIFT+Print"}});
}

void CQuilletApp::GrabCaptureKeys() {
    constexpr unsigned long kPrintKey = 0xff61;  // XK_Print
    using Keys = platform::GlobalKeys;
    auto command = [this](int id) { return [this, id] { RunCaptureKey(id); }; };
    captureKeys_ = std::make_unique<Keys>();
    const std::vector<std::string> refused = captureKeys_->Grab({
        {"Print", kPrintKey, Keys::kNone, command(ids::kCmdScreen)},
        {"Shift+Print", kPrintKey, Keys::kShift, command(ids::kCmdRectangle)},
        {"Alt+Print", kPrintKey, Keys::kAlt, command(ids::kCmdWindowClient)},
    });
    std::string names;
    for (const std::string& name : refused) names += (names.empty() ? "" : ", ") + name;
    // Said once: a desktop that keeps Print for itself is not announced again at every start,
    // only when the held keys change.
    const QString held = QString::fromStdString(names);
    if (profile::ReadString("HELDKEYS") == held) return;
    profile::WriteString("HELDKEYS", held);
    if (refused.empty()) return;
    platform::ShowMessage("Another program already uses " + names +
                              ", so Quillet goes on without " +
                              (refused.size() == 1 ? "that key." : "those keys."),
                          kTitle, platform::MessageIcon::Information);
}
