#include "platform/icon_theme.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>

namespace platform {
namespace {

// The named icons every theme is asked for, context by context.
const char* const kStandardNames[] = {
    // Actions
    "address-book-new", "application-exit", "appointment-new", "call-start", "call-stop",
    "contact-new", "document-new", "document-open", "document-open-recent", "document-page-setup",
    "document-print", "document-print-preview", "document-properties", "document-revert",
    "document-save", "document-save-as", "document-send", "edit-clear", "edit-copy", "edit-cut",
    "edit-delete", "edit-find", "edit-find-replace", "edit-paste", "edit-redo", "edit-select-all",
    "edit-undo", "folder-new", "format-indent-less", "format-indent-more", "format-justify-center",
    "format-justify-fill", "format-justify-left", "format-justify-right",
    "format-text-direction-ltr", "format-text-direction-rtl", "format-text-bold",
    "format-text-italic", "format-text-underline", "format-text-strikethrough", "go-bottom",
    "go-down", "go-first", "go-home", "go-jump", "go-last", "go-next", "go-previous", "go-top",
    "go-up", "help-about", "help-contents", "help-faq", "insert-image", "insert-link",
    "insert-object", "insert-text", "list-add", "list-remove", "mail-forward",
    "mail-mark-important", "mail-mark-junk", "mail-mark-notjunk", "mail-mark-read",
    "mail-mark-unread", "mail-message-new", "mail-reply-all", "mail-reply-sender", "mail-send",
    "mail-send-receive", "media-eject", "media-playback-pause", "media-playback-start",
    "media-playback-stop", "media-record", "media-seek-backward", "media-seek-forward",
    "media-skip-backward", "media-skip-forward", "object-flip-horizontal", "object-flip-vertical",
    "object-rotate-left", "object-rotate-right", "process-stop", "system-lock-screen",
    "system-log-out", "system-run", "system-search", "system-reboot", "system-shutdown",
    "tools-check-spelling", "view-fullscreen", "view-refresh", "view-restore",
    "view-sort-ascending", "view-sort-descending", "window-close", "window-new", "zoom-fit-best",
    "zoom-in", "zoom-original", "zoom-out",
    // Animations
    "process-working",
    // Applications
    "accessories-calculator", "accessories-character-map", "accessories-dictionary",
    "accessories-text-editor", "help-browser", "multimedia-volume-control",
    "preferences-desktop-accessibility", "preferences-desktop-font", "preferences-desktop-keyboard",
    "preferences-desktop-locale", "preferences-desktop-multimedia",
    "preferences-desktop-screensaver", "preferences-desktop-theme", "preferences-desktop-wallpaper",
    "system-file-manager", "system-software-install", "system-software-update",
    "utilities-system-monitor", "utilities-terminal",
    // Categories
    "applications-accessories", "applications-development", "applications-engineering",
    "applications-games", "applications-graphics", "applications-internet",
    "applications-multimedia", "applications-office", "applications-other", "applications-science",
    "applications-system", "applications-utilities", "preferences-desktop",
    "preferences-desktop-peripherals", "preferences-desktop-personal", "preferences-other",
    "preferences-system", "preferences-system-network", "system-help",
    // Devices
    "audio-card", "audio-input-microphone", "battery", "camera-photo", "camera-video", "camera-web",
    "computer", "drive-harddisk", "drive-optical", "drive-removable-media", "input-gaming",
    "input-keyboard", "input-mouse", "input-tablet", "media-flash", "media-floppy", "media-optical",
    "media-tape", "modem", "multimedia-player", "network-wired", "network-wireless", "pda", "phone",
    "printer", "scanner", "video-display",
    // Emblems
    "emblem-default", "emblem-documents", "emblem-downloads", "emblem-favorite", "emblem-important",
    "emblem-mail", "emblem-photos", "emblem-readonly", "emblem-shared", "emblem-symbolic-link",
    "emblem-synchronized", "emblem-system", "emblem-unreadable",
    // Emotes
    "face-angel", "face-angry", "face-cool", "face-crying", "face-devilish", "face-embarrassed",
    "face-kiss", "face-laugh", "face-monkey", "face-plain", "face-raspberry", "face-sad",
    "face-sick", "face-smile", "face-smile-big", "face-smirk", "face-surprise", "face-tired",
    "face-uncertain", "face-wink", "face-worried",
    // MIME types
    "application-x-executable", "audio-x-generic", "font-x-generic", "image-x-generic",
    "package-x-generic", "text-html", "text-x-generic", "text-x-generic-template", "text-x-script",
    "video-x-generic", "x-office-address-book", "x-office-calendar", "x-office-document",
    "x-office-presentation", "x-office-spreadsheet",
    // Places
    "folder", "folder-remote", "network-server", "network-workgroup", "start-here",
    "user-bookmarks", "user-desktop", "user-home", "user-trash",
    // Status
    "appointment-missed", "appointment-soon", "audio-volume-high", "audio-volume-low",
    "audio-volume-medium", "audio-volume-muted", "battery-caution", "battery-low", "dialog-error",
    "dialog-information", "dialog-password", "dialog-question", "dialog-warning",
    "folder-drag-accept", "folder-open", "folder-visiting", "image-loading", "image-missing",
    "mail-attachment", "mail-unread", "mail-read", "mail-replied", "mail-signed",
    "mail-signed-verified", "media-playlist-repeat", "media-playlist-shuffle", "network-error",
    "network-idle", "network-offline", "network-receive", "network-transmit",
    "network-transmit-receive", "printer-error", "printer-printing", "security-high",
    "security-medium", "security-low", "software-update-available", "software-update-urgent",
    "sync-error", "sync-synchronizing", "task-due", "task-past-due", "user-available", "user-away",
    "user-idle", "user-offline", "user-trash-full", "weather-clear", "weather-clear-night",
    "weather-few-clouds", "weather-few-clouds-night", "weather-fog", "weather-overcast",
    "weather-severe-alert", "weather-showers", "weather-showers-scattered", "weather-snow",
    "weather-storm"};

// Themes taken, in this order, when the program has none. "hicolor" is every theme's base, which
// holds the icons of programs rather than the standard ones: it counts as no theme.
const char* const kFallbackThemes[] = {"Adwaita", "breeze", "oxygen", "Tango", "hicolor"};

bool ThemeInstalled(const QString& theme, const QStringList& searchPaths) {
    for (const QString& folder : searchPaths) {
        if (QFileInfo::exists(QDir(folder).filePath(theme + "/index.theme"))) return true;
    }
    return false;
}

// The folders where the desktop keeps icon themes, after those the program searches already.
QStringList DesktopIconFolders() {
    QStringList folders = QIcon::themeSearchPaths();
    auto add = [&folders](const QString& folder) {
        if (!folder.isEmpty() && !folders.contains(folder)) folders << folder;
    };
    add(QDir::homePath() + "/.icons");
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        add(QDir(data).filePath("icons"));
    }
    add("/usr/share/icons");
    return folders;
}

}  // namespace

const QStringList& StandardIconNames() {
    static const QStringList names = [] {
        QStringList list;
        for (const char* name : kStandardNames) list << QString::fromLatin1(name);
        return list;
    }();
    return names;
}

void EnsureIconTheme() {
    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != "hicolor" &&
        ThemeInstalled(current, QIcon::themeSearchPaths())) {
        return;
    }
    const QStringList folders = DesktopIconFolders();
    for (const char* theme : kFallbackThemes) {
        if (!ThemeInstalled(theme, folders)) continue;
        QIcon::setThemeSearchPaths(folders);
        QIcon::setThemeName(theme);
        return;
    }
}

QStringList ThemeIconNames() {
    QStringList provided;
    // hasThemeIcon asks for the exact name (fromTheme would settle for a shorter one).
    for (const QString& name : StandardIconNames()) {
        if (QIcon::hasThemeIcon(name)) provided << name;
    }
    return provided;
}

QImage ThemeIconPicture(const QString& name, int side) {
    if (!QIcon::hasThemeIcon(name)) return {};
    // Device pixels: a ratio of 1 keeps a scaled screen from doubling the picture.
    const QPixmap pixmap = QIcon::fromTheme(name).pixmap(QSize(side, side), 1.0);
    if (pixmap.isNull()) return {};
    QImage picture = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(1.0);
    if (picture.width() == side && picture.height() == side) return picture;
    // A theme without that size: the nearest one scaled into the square, centred.
    const QImage fitted = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage square(side, side, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((side - fitted.width()) / 2, (side - fitted.height()) / 2, fitted);
    return square;
}

}  // namespace platform
