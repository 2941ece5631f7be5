#include "capture/capture_record.h"

#include "app/quillet_app.h"
#include "capture/bitmap_helpers.h"
#include "capture/naming.h"
#include "image/qt/raster_qt.h"
#include "platform/fixed_path.h"
#include "platform/message_box.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <ctime>

namespace {

std::string LowerExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// Copies a file over any existing one; copying a file onto itself leaves it as it is.
bool CopyReplacing(const std::string& from, const std::string& to) {
    const QString source = QString::fromStdString(from), target = QString::fromStdString(to);
    if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath() &&
        QFileInfo::exists(target)) {
        return true;
    }
    QFile::remove(target);
    return QFile::copy(source, target);
}

}  // namespace

CCaptureRecord::CCaptureRecord(int boxWidth, int boxHeight)
    : boxWidth(boxWidth), boxHeight(boxHeight) {}

CCaptureRecord::~CCaptureRecord() = default;

void CCaptureRecord::StampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    timeText = text;
    std::strftime(text, sizeof text, "%m/%d/%y", &local);
    dateText = text;
}

int CCaptureRecord::FailWithImageError() {
    platform::ShowMessage(image ? image->GetLastError() : "", "Quillet");
    image.reset();
    return 0;
}

int CCaptureRecord::FromBitmap(const QImage& source, const std::string& imagePath) {
    image = std::make_unique<CRaster>();
    CreateFromHBITMAP(*image, source);
    cachePath = imagePath;
    if (!image->Save(cachePath.c_str(), kTypeBmp)) {
        // The capture stays in the table; the user learns that its file is missing.
        platform::ShowMessage("Unable to write " + cachePath, "Quillet",
                              platform::MessageIcon::Warning);
    }
    size = static_cast<int>(image->GetSize());
    StampNow();
    return 1;
}

int CCaptureRecord::FromFile(const std::string& path) {
    sourcePath = path;
    const std::string ext = LowerExtension(path);
    const int type = RasterTypeFromPath(path);
    if (ext.empty() || type < 0) return 0;

    importedFlag = 1;
    CQuilletApp* app = App();
    cachePath = platform::FormatFixed("%sImage-%d%c%s", app->cacheFolder.c_str(),
                                      app->captureCounter, '.', ext.c_str());
    app->currentImagePath = cachePath;
    CopyReplacing(path, cachePath);

    image = std::make_unique<CRaster>();
    if (!image->Load(cachePath.c_str(), static_cast<uint32_t>(type)) || !image->IsValid()) {
        if (!image->GetLastError()[0]) image->SetLastError(("Unable to read " + path).c_str());
        return FailWithImageError();
    }
    size = static_cast<int>(image->GetSize());
    StampNow();
    app->captureCounter += 1;
    return 1;
}

int CCaptureRecord::FromIcon(const QImage& colourBitmap) {
    CQuilletApp* app = App();
    cachePath =
        platform::FormatFixed("%sIcon-%d%cico", app->cacheFolder.c_str(), app->captureCounter, '.');
    app->captureCounter += 1;
    image = std::make_unique<CRaster>();
    CreateFromHBITMAP(*image, colourBitmap);
    if (!image->Save(cachePath.c_str(), kTypeIco)) {
        platform::ShowMessage(image->GetLastError(), "Quillet", platform::MessageIcon::Warning);
    }
    size = static_cast<int>(image->GetSize());
    StampNow();
    iconFlag = 1;
    return 1;
}

int CCaptureRecord::FromTypedFile(const std::string& path, uint32_t type) {
    cachePath = naming::NextScreenCapture().image;
    image = std::make_unique<CRaster>();
    if (!image->Load(path.c_str(), type) || !image->IsValid()) {
        if (!image->GetLastError()[0]) image->SetLastError(("Unable to read " + path).c_str());
        return FailWithImageError();
    }
    image->Save(cachePath.c_str(), kTypeBmp);
    size = static_cast<int>(image->GetSize());
    StampNow();
    return 1;
}

int CCaptureRecord::FromClipboardDib(const uint8_t* dib, size_t length) {
    image = std::make_unique<CRaster>();
    if (!dib || !image->CreateFromHANDLE(dib, length)) {
        image.reset();  // a damaged clipboard block makes no capture
        return 0;
    }
    cachePath = naming::NextScreenCapture().image;
    image->Save(cachePath.c_str(), kTypeBmp);
    size = static_cast<int>(image->GetSize());
    StampNow();
    return 1;
}

void CCaptureRecord::ThumbnailSize(int fullWidth, int fullHeight, int boxWidth, int boxHeight,
                                   int& width, int& height) {
    width = boxWidth;
    height = boxHeight;
    if (fullWidth <= 0 || fullHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return;
    const long long wide = 1LL * fullWidth * boxHeight, tall = 1LL * fullHeight * boxWidth;
    if (wide > tall) {
        height = std::max(1, static_cast<int>(1LL * fullHeight * boxWidth / fullWidth));
    } else if (wide < tall) {
        width = std::max(1, static_cast<int>(1LL * fullWidth * boxHeight / fullHeight));
    }
}

int CCaptureRecord::MakeThumbnail(const QImage& source, int width, int height,
                                  const std::string& thumbnailFile) {
    fullWidth = width;
    fullHeight = height;
    ThumbnailSize(fullWidth, fullHeight, boxWidth, boxHeight, thumbWidth, thumbHeight);
    thumbnailPath = thumbnailFile;
    const QImage reduced = ResizeBitmap(source, thumbWidth, thumbHeight);
    thumbnail = std::make_unique<CRaster>();
    CreateFromHBITMAP(*thumbnail, reduced);
    thumbnail->Save(thumbnailPath.c_str(), kTypeBmp);
    return 1;
}

std::string CCaptureRecord::FileName() const {
    const size_t slash = cachePath.find_last_of('/');
    return slash == std::string::npos ? cachePath : cachePath.substr(slash + 1);
}
