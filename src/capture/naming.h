#pragma once

#include <string>

struct SettingsRecord;

// Every file name a capture or a workspace document gets.
namespace naming {

// Screen capture names with the application's capture counter N: "IT-N.bmp" in the cache
// folder and "TT-N.bmp" in the cache thumbnails folder. Stores them as the application's
// current image and thumbnail paths and advances N.
struct CaptureNames {
    std::string image;
    std::string thumbnail;
};
CaptureNames NextScreenCapture();
// The names the next screen capture will get, with nothing stored or advanced.
CaptureNames PendingScreenCapture();

// The file names of a workspace document (image, thumbnail, web page).
struct WorkspacePaths {
    std::string imagePath;
    std::string thumbnailPath;
    std::string htmlPath;
};

// With autoSave on: prefix and starting number (advanced for each document); otherwise the
// document's workspace index. An empty extension takes the settings' fileExtension; the
// extension is cut to 11 characters. Icons get ".ico" image names.
WorkspacePaths MakeWorkspacePaths(SettingsRecord& settings, const std::string& sessionFolder,
                                  const std::string& sessionThumbnailsFolder, int workspaceIndex,
                                  const std::string& extension, bool icon);

}  // namespace naming
