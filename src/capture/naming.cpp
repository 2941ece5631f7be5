#include "capture/naming.h"

#include "app/quillet_app.h"
#include "app/settings_record.h"
#include "platform/fixed_path.h"

namespace naming {

CaptureNames PendingScreenCapture() {
    const CQuilletApp* app = App();
    const int n = app->captureCounter;
    return {platform::FormatFixed("%sIT-%d%cbmp", app->cacheFolder.c_str(), n, '.'),
            platform::FormatFixed("%sTT-%d%cbmp", app->cacheThumbnailsFolder.c_str(), n, '.')};
}

CaptureNames NextScreenCapture() {
    CQuilletApp* app = App();
    CaptureNames names = PendingScreenCapture();
    app->currentImagePath = names.image;
    app->currentThumbnailPath = names.thumbnail;
    app->captureCounter += 1;
    return names;
}

WorkspacePaths MakeWorkspacePaths(SettingsRecord& settings, const std::string& sessionFolder,
                                  const std::string& sessionThumbnailsFolder, int workspaceIndex,
                                  const std::string& extension, bool icon) {
    // The extension passes through a 12-byte buffer.
    const std::string ext =
        (extension.empty() ? std::string(settings.fileExtension) : extension).substr(0, 11);
    const char* session = sessionFolder.c_str();
    const char* thumbnails = sessionThumbnailsFolder.c_str();
    WorkspacePaths paths;
    if (settings.autoSave) {
        const int d = settings.startingNumber;
        const char* prefix = settings.filePrefix;
        paths.imagePath = icon ? platform::FormatFixed("%s%s%d%cico", session, prefix, d, '.')
                               : platform::FormatFixed("%s%s%d%s", session, prefix, d, ext.c_str());
        paths.thumbnailPath = platform::FormatFixed("%sT-%s%d%cjpg", thumbnails, prefix, d, '.');
        paths.htmlPath = platform::FormatFixed("%sImage-%d%chtm", session, d, '.');
        settings.startingNumber = d + 1;
    } else {
        const int k = workspaceIndex;
        paths.imagePath = icon ? platform::FormatFixed("%sImage-%d%cico", session, k, '.')
                               : platform::FormatFixed("%sImage-%d%s", session, k, ext.c_str());
        paths.thumbnailPath = platform::FormatFixed("%sThumbnail-%d%cjpg", thumbnails, k, '.');
        paths.htmlPath = platform::FormatFixed("%sImage-%d%chtm", session, k, '.');
    }
    return paths;
}

}  // namespace naming
