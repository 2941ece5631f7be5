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
#include <filesystem>

namespace {

// Looked up by the bytes of its name: a name that is not UTF-8 does not survive a QString.
bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

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

int CCaptureRecord::FailWithImageError(const CRaster& picture) {
    platform::ShowMessage(picture.GetLastError(), "Quillet");
    return 0;
}

int CCaptureRecord::FromBitmap(const QImage& source, const std::string& imagePath) {
    auto picture = std::make_unique<CRaster>();
    CreateFromHBITMAP(*picture, source);
    cachePath = imagePath;
    const bool stored = picture->Save(cachePath.c_str(), kTypeBmp);
    if (!stored) {
        // The capture stays in the table; the user learns that its file is missing.
        platform::ShowMessage("Unable to write " + cachePath, "Quillet",
                              platform::MessageIcon::Warning);
    }
    size = static_cast<int>(picture->GetSize());
    StampNow();
    Keep(std::move(picture), stored);
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

    auto picture = std::make_unique<CRaster>();
    if (!picture->Load(cachePath.c_str(), static_cast<uint32_t>(type)) || !picture->IsValid()) {
        if (!picture->GetLastError()[0]) picture->SetLastError(("Unable to read " + path).c_str());
        return FailWithImageError(*picture);
    }
    size = static_cast<int>(picture->GetSize());
    StampNow();
    app->captureCounter += 1;
    Keep(std::move(picture), true);  // read from its cache file
    return 1;
}

int CCaptureRecord::FromIcon(const QImage& colourBitmap) {
    CQuilletApp* app = App();
    cachePath =
        platform::FormatFixed("%sIcon-%d%cico", app->cacheFolder.c_str(), app->captureCounter, '.');
    app->captureCounter += 1;
    auto picture = std::make_unique<CRaster>();
    CreateFromHBITMAP(*picture, colourBitmap);
    const bool stored = picture->Save(cachePath.c_str(), kTypeIco);
    if (!stored) {
        platform::ShowMessage(picture->GetLastError(), "Quillet", platform::MessageIcon::Warning);
    }
    size = static_cast<int>(picture->GetSize());
    StampNow();
    iconFlag = 1;
    Keep(std::move(picture), stored);
    return 1;
}

int CCaptureRecord::FromTypedFile(const std::string& path, uint32_t type) {
    cachePath = naming::NextScreenCapture().image;
    auto picture = std::make_unique<CRaster>();
    if (!picture->Load(path.c_str(), type) || !picture->IsValid()) {
        if (!picture->GetLastError()[0]) picture->SetLastError(("Unable to read " + path).c_str());
        return FailWithImageError(*picture);
    }
    const bool stored = picture->Save(cachePath.c_str(), kTypeBmp);
    size = static_cast<int>(picture->GetSize());
    StampNow();
    Keep(std::move(picture), stored);
    return 1;
}

int CCaptureRecord::FromClipboardDib(const uint8_t* dib, size_t length) {
    auto picture = std::make_unique<CRaster>();
    if (!dib || !picture->CreateFromHANDLE(dib, length)) return 0;  // damaged: no capture
    cachePath = naming::NextScreenCapture().image;
    const bool stored = picture->Save(cachePath.c_str(), kTypeBmp);
    size = static_cast<int>(picture->GetSize());
    StampNow();
    Keep(std::move(picture), stored);
    return 1;
}

// ---------------------------------------------------------------------------------------------
// The picture in memory or in its file

void CCaptureRecord::Keep(std::unique_ptr<CRaster> picture, bool stored) {
    held_ = std::move(picture);
    inUse_ = held_;
    holding_ = true;
    onlyInMemory_ = !stored;
    imageError_.clear();
    fileMissing_ = false;
}

std::shared_ptr<const CRaster> CCaptureRecord::Image() const {
    if (held_) return held_;
    std::shared_ptr<const CRaster> picture = inUse_.lock();
    if (!picture) {
        picture = ReadCacheFile();
        inUse_ = picture;
    }
    if (holding_) held_ = picture;
    return picture;
}

std::string CCaptureRecord::MissingFileText(const std::string& file) {
    return "The capture's file is missing: " + file;
}

std::shared_ptr<CRaster> CCaptureRecord::ReadCacheFile() const {
    imageError_.clear();
    fileMissing_ = false;
    const int type = RasterTypeFromPath(cachePath);
    auto picture = std::make_shared<CRaster>();
    if (type >= 0 && picture->Load(cachePath.c_str(), static_cast<uint32_t>(type)) &&
        picture->IsValid()) {
        return picture;
    }
    fileMissing_ = !FileExists(cachePath);
    if (fileMissing_) {
        imageError_ = MissingFileText(cachePath);
    } else {
        imageError_ =
            picture->GetLastError()[0] ? picture->GetLastError() : "Unable to read " + cachePath;
    }
    return nullptr;
}

void CCaptureRecord::HoldImage() {
    holding_ = true;
    Image();
}

void CCaptureRecord::ReleaseImage() {
    if (onlyInMemory_) return;
    if (held_ && !thumbnail) MakeMemoryThumbnail(*held_);
    holding_ = false;
    held_.reset();
}

// Captures that write no thumbnail file still show one when their file is gone.
void CCaptureRecord::MakeMemoryThumbnail(const CRaster& picture) {
    if (int(picture.GetWidth()) <= boxWidth && int(picture.GetHeight()) <= boxHeight) {
        thumbnail = std::make_unique<CRaster>(picture);  // small enough as it is
        return;
    }
    int width = 0, height = 0;
    ThumbnailSize(static_cast<int>(picture.GetWidth()), static_cast<int>(picture.GetHeight()),
                  boxWidth, boxHeight, width, height);
    if (width <= 0 || height <= 0) return;
    auto reduced = std::make_unique<CRaster>();
    if (CreateFromHBITMAP(*reduced, ResizeBitmap(MakeBitmap(picture), width, height))) {
        thumbnail = std::move(reduced);
    }
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
