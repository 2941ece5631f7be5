#pragma once

#include "app/command_target.h"
#include "image/raster.h"

#include <QObject>

#include <memory>
#include <string>

// The small document the capture preview keeps open on the current capture's web-format file,
// so that mail commands have a document to send. It shows no view.
class CBogusDoc : public QObject, public CCommandTarget {
    Q_OBJECT

  public:
    CBogusDoc();
    ~CBogusDoc() override;

    // Loads the file by its extension's type. On success title and path name become the path;
    // otherwise the image's error is shown and the document stays empty.
    bool OnOpenDocument(const std::string& path);
    // Saves the image with the type of the path's extension, showing the image's error on failure.
    bool OnSaveDocument(const std::string& path);

    bool onCommand(int id) override;

    const std::string& title() const { return title_; }
    const std::string& pathName() const { return pathName_; }
    const CRaster* image() const { return image_.get(); }

  private:
    std::string title_;
    std::string pathName_;
    std::unique_ptr<CRaster> image_;
};
