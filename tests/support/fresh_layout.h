#pragma once

#include "app/quillet_app.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QRect>

#include <string>

// Points the application object at a fresh folder layout inside `home`: cache/ and bin/ with the
// cache's thumbnails, session `session` not yet used, no captures, default settings, and the panel
// rectangle near the screen's corner.
inline void UseFreshLayout(const TempFolder& home, int session) {
    CQuilletApp* app = App();
    const std::string base = home.path().toStdString() + "/";
    app->baseFolder = base;
    app->cacheFolder = base + "cache/";
    app->cacheThumbnailsFolder = base + "cache/thumbnails/";
    app->binFolder = base + "bin/";
    app->SetSessionPaths(session);
    app->sessionUsed = 0;
    QDir().mkpath(home.File("cache/thumbnails"));
    QDir().mkpath(home.File("bin"));
    app->captureCounter = app->captureExists = 0;
    app->settings = SettingsRecord{};
    app->panelRect = QRect(900, 600, 248, 170);
}
