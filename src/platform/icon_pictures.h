#pragma once

// The pictures of the icons inside an executable or library: each icon's 32 x 32 and 16 x 16
// picture, made from the best picture its group offers.

#include "platform/pe_resources.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// An icon's two pictures (ARGB, premultiplied).
struct IconPictures {
    QImage large;  // 32 x 32
    QImage small;  // 16 x 16
};

// One picture of a group: a bitmap (its height counting the colour and the mask planes; a 32-bit
// one whose alpha is all zero takes its transparency from the mask), or a PNG file. Null when
// damaged or larger than any icon.
QImage DecodeIconImage(const uint8_t* data, size_t size);

// The group's picture of exactly side x side: its entry of that size with the most colours, else
// the nearest larger, else the nearest smaller, scaled smoothly. Null when no entry decodes.
QImage IconPicture(const uint8_t* file, const PeIconGroup& group, int side);

// Every icon of the file that has a picture, in the order of its groups. Within a budget (the
// reader's, and the pixels decoded): past it the icons made so far are given and `cutShort`
// (when given) is set.
std::vector<IconPictures> ExtractIcons(const uint8_t* file, size_t size, bool* cutShort = nullptr);
// The same for a file on disk; nothing for a file that cannot be read.
std::vector<IconPictures> ExtractIcons(const QString& path, bool* cutShort = nullptr);

}  // namespace platform
