#pragma once

#include <string>
#include <vector>

// The two web pages the program writes: one image centred on a black page, and the workspace's
// gallery of thumbnails linking to their images.

// Writes the single-image page; a width above 0 writes the image's size into the page. Does
// nothing when the page file cannot be created.
void WriteImagePage(const std::string& title, const std::string& pagePath,
                    const std::string& imagePath, int width, int height);

// One gallery cell: the file names of a workspace document's thumbnail and image.
struct GalleryEntry {
    std::string thumbnailPath;
    std::string imagePath;
};

// Writes "gallery.htm" in the thumbnails folder, five cells to a row; returns the page path.
std::string WriteGalleryPage(const std::string& title, const std::string& thumbnailsFolder,
                             const std::vector<GalleryEntry>& entries);

// The gallery of the workspace's documents 1 .. the document count that have a thumbnail.
std::string WriteGallery(const std::string& title);
