#pragma once

#include "app/command_target.h"
#include "app/recent_file_list.h"
#include "app/settings_record.h"

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QRect>

#include <memory>
#include <string>

class QLockFile;
class QSessionManager;
class CMW;
class CControlPanel;
class CMainFrame;
class CTrayIcon;
namespace remote {
class CCommandServer;
}
namespace platform {
class GlobalKeys;
class PortalShortcuts;
}  // namespace platform

// The one application object: start-up and shut-down, the folders of the session, the settings
// record, the run's flags and counters, and the windows that live as long as the program.
class CQuilletApp : public QApplication, public CCommandTarget {
    Q_OBJECT

  public:
    CQuilletApp(int& argc, char** argv);
    ~CQuilletApp() override;

    // Start-up; false ends the process at once.
    bool InitInstance();
    // Shut-down after the event loop ended; returns the exit code.
    int ExitInstance(int loopResult);
    // The one way the program ends (EXIT, the panel's exit, `quillet --quit`, the termination
    // signals, the desktop session's end): modified pictures are offered for saving once, and the
    // event loop ends unless the user keeps the program. While the question is up, another
    // request only brings it to the front. False when the program goes on.
    bool Shutdown();

    // Creates the session folder and its "thumbnails" and "html" folders on the run's first write.
    void EnsureSessionFolders();
    // Appends the run's own session folder to the history when it was used (a loaded older
    // session never enters it again).
    void AppendSessionToHistory();
    // The Properties dialog, modal.
    void ShowProperties();

    // Whether the desktop shows the tray icon; without one the program runs from its panel.
    bool HasTray() const;
    static constexpr const char* kNoTrayMessage =
        "This desktop shows no system tray, so Quillet runs from its panel: its buttons capture "
        "and open the options, its right-click menu has About, and its X button ends Quillet. "
        "A hidden panel comes back with the next capture, with \"quillet --show\" or with the "
        "menu entry's \"Show Panel\".";

    bool onCommand(int id) override;
    void ShowAboutBox();
    // Runs the picking balloon in a pick mode, then restores the panel and the preview.
    void Pick(int mode);

    // Folders, each ending in the path separator.
    std::string baseFolder;
    std::string cacheFolder;
    std::string cacheThumbnailsFolder;
    std::string binFolder;
    std::string binThumbnailsFolder;
    std::string sessionFolder;
    std::string sessionThumbnailsFolder;
    std::string sessionHtmlFolder;

    SettingsRecord settings;

    int quitting = 0;
    // A plain start that brought the running instance's panel forward instead of starting.
    int handedToRunningInstance = 0;
    int expertMode = 0;
    int sessionUsed = 0;
    int sessionLoaded = 0;
    std::string usedOwnSession;  // the run's own session when it was used before a load
    int captureCounter = 0;
    int documentCounter = 0;
    int documentCount = 0;
    QImage frozenScreen;           // the last full-screen snapshot
    std::string currentImagePath;  // names of the capture being made
    std::string currentThumbnailPath;
    int captureExists = 0;  // set by every capture added to the preview's table
    // Set at start for a settings file that exists but cannot be written: the run uses its
    // values and nothing replaces it.
    int settingsReadOnly = 0;
    int mailSettingsReadOnly = 0;

    int picking = 0;  // the picking balloon is up

    // Losing the pointer grab is ignored until a pick starts its mode.
    int captureChangeSwallow = 1;

    // Shared by the panel, the capture preview and its two lists.
    int previewHidden = 1;
    int captureListHidden = 1;
    int dropListHidden = 1;
    QRect panelRect;    // screen rectangle of the panel, rewritten when it is placed or moves
    QRect previewRect;  // screen rectangle of the preview, written when its lists are placed
    QCursor crossCursor{Qt::CrossCursor};
    CRecentFileList recentFiles{4};

    // Colours of the program's dialogs.
    static constexpr QRgb kDialogBackground = 0xFFD0D0D0;  // RGB(208,208,208)
    static constexpr QRgb kDialogText = 0xFFCC0D0D;        // RGB(204,13,13)

    CMW* coordinator() const { return coordinator_.get(); }
    CControlPanel* panel() const { return panel_.get(); }
    CMainFrame* mainFrame() const { return mainFrame_.get(); }
    CTrayIcon* trayIcon() const { return trayIcon_.get(); }

    std::string SettingsPath() const { return baseFolder + "quillet.ini"; }
    std::string MailSettingsPath() const { return baseFolder + "quilletemail.ini"; }
    std::string HistoryPath() const { return baseFolder + "SESSIONS.INI"; }

    // Builds the three session paths for a session number.
    void SetSessionPaths(int sessionNumber);
    // Start-up's settings steps, with the folders already built: defaults, the settings file
    // read and advanced, the session paths, the file rewritten, the expert mode flag. Tells the
    // user once when the options cannot be saved.
    void LoadSettings();
    // The base, cache and bin folders from the working folder; false (after telling the user)
    // when it cannot be named or is too long for the path buffers.
    bool BuildFolderPaths();

  protected:
    // A quit request from anywhere (the session manager's, Qt's own) goes through Shutdown.
    bool event(QEvent* event) override;

  private:
    // Offers the modified pictures once (Yes/No/Cancel); false when the program must go on.
    bool OfferModifiedPictures();
    void EndEventLoop();
    // The desktop session is ending: the same question, where the session manager lets us ask.
    void CommitSessionData(QSessionManager& manager);
    bool AcquireSingleInstance();
    void LoadOrCreateSettings();
    void ReportRepairedSettings(const std::vector<std::string>& fields);
    void ReportUnsavedOptions(bool settingsSaved);
    void ApplyDialogColours();
    bool CreateMainFrame();
    void InstallTrayIcon();
    void TellRunningWithoutTray();
    // Print, Shift+Print and Alt+Print capture while the program runs; keys held by another
    // program are named once and left to it.
    void GrabCaptureKeys();
    // On Wayland: Desktop and Rectangle on keys the desktop portal binds, where it offers that.
    void BindPortalShortcuts();
    // A capture key was pressed.
    void RunCaptureKey(int id);

    std::unique_ptr<QLockFile> instanceMarker_;
    std::unique_ptr<CMainFrame> mainFrame_;
    std::unique_ptr<CMW> coordinator_;
    std::unique_ptr<platform::GlobalKeys> captureKeys_;
    std::unique_ptr<platform::PortalShortcuts> portalShortcuts_;
    std::unique_ptr<CControlPanel> panel_;  // owned by the coordinator window, destroyed first
    std::unique_ptr<CTrayIcon> trayIcon_;
    std::unique_ptr<remote::CCommandServer> commandServer_;
    bool askingToEnd_ = false;  // the shut-down's question is up
};

// The running application object.
CQuilletApp* App();

// Makes the program's pictures (icons, skins) available; the application object calls it.
void InitQuilletResources();
