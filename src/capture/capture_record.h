#pragma once

#include "image/raster.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One capture of the session: its picture, its thumbnail, the files that hold them and when it
// was made. Owned by the capture preview window's table.
//
// The full picture lives in the cache file. In memory the record keeps its thumbnail, its texts
// and sizes, and its picture only while it holds it (the current capture) or while a caller still
// uses the picture it was given. Image() is the way to a record's picture.
class CCaptureRecord {
  public:
    // The box is the settings' thumbnail box (thumbWidth x thumbHeight).
    CCaptureRecord(int boxWidth, int boxHeight);
    ~CCaptureRecord();

    // A grabbed screen bitmap: saved as a ".bmp" file under imagePath.
    int FromBitmap(const QImage& bitmap, const std::string& imagePath);
    // An image file (a drop): copied into the cache folder as "Image-N.ext" and loaded by its
    // extension. 0 for a name that is not an image; a file that does not load shows its error.
    int FromFile(const std::string& path);
    // An icon's colour bitmap: saved as "Icon-N.ico" in the cache folder.
    int FromIcon(const QImage& colourBitmap);
    // An image file of a known type (Open File): loaded and kept as "IT-N.bmp" in the cache.
    int FromTypedFile(const std::string& path, uint32_t type);
    // The clipboard's packed block: kept as "IT-N.bmp" in the cache.
    int FromClipboardDib(const uint8_t* dib, size_t size);
    // Reduces the bitmap into the thumbnail box and saves it as a ".bmp" file.
    int MakeThumbnail(const QImage& bitmap, int width, int height,
                      const std::string& thumbnailPath);

    // The thumbnail size for a picture in the box: the box itself when the aspect ratios agree,
    // otherwise the largest size of the picture's aspect ratio that fits inside the box.
    static void ThumbnailSize(int fullWidth, int fullHeight, int boxWidth, int boxHeight,
                              int& width, int& height);

    // File name with extension of the cache path ("IT-3.bmp").
    std::string FileName() const;

    // The full picture: the one in memory, or else read back from the cache file. Null when the
    // file is missing or does not read; ImageError() then says why. A caller may keep the picture
    // as long as it needs it, whatever the record does meanwhile. User-interface thread only.
    std::shared_ptr<const CRaster> Image() const;
    // "The capture's file is missing: <cache path>", or the reader's error, after a failed read.
    const std::string& ImageError() const { return imageError_; }
    bool FileMissing() const { return fileMissing_; }
    static std::string MissingFileText(const std::string& file);
    // The current capture holds its picture in memory; the others let theirs go. A picture whose
    // file could not be written is always held.
    void HoldImage();
    void ReleaseImage();
    bool HoldsImage() const { return held_ != nullptr; }

    std::string timeText;  // hh:mm:ss
    std::string dateText;  // mm/dd/yy
    // Made by MakeThumbnail (saved) or, for captures without one, in memory when the picture is
    // first let go.
    std::unique_ptr<CRaster> thumbnail;
    QImage bitmap;
    std::string cachePath;
    std::string thumbnailPath;
    std::string sourcePath;
    int size = 0;
    int iconFlag = 0;
    int importedFlag = 0;
    int thumbWidth = 0;
    int thumbHeight = 0;
    int boxWidth = 0;
    int boxHeight = 0;
    int fullWidth = 0;
    int fullHeight = 0;

  private:
    void StampNow();
    // Shows the picture's last error; the record keeps no picture.
    static int FailWithImageError(const CRaster& picture);
    // Takes a new picture as the one in memory; `stored` tells whether its file was written.
    void Keep(std::unique_ptr<CRaster> picture, bool stored);
    std::shared_ptr<CRaster> ReadCacheFile() const;
    void MakeMemoryThumbnail(const CRaster& picture);

    mutable std::shared_ptr<const CRaster> held_;
    mutable std::weak_ptr<const CRaster> inUse_;
    mutable std::string imageError_;
    mutable bool fileMissing_ = false;
    bool holding_ = false;
    bool onlyInMemory_ = false;  // its file could not be written
};
