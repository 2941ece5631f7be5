#pragma once

// A small writer of PE files whose only section holds icon resources: the groups given, with
// ids 1, 2, ... in that order, and their pictures as RT_ICON entries numbered from 1.

#include <QImage>

#include <cstdint>
#include <cstring>
#include <vector>

namespace testpe {

using Bytes = std::vector<uint8_t>;

struct Picture {
    int side;
    int bitCount;
    Bytes data;
};
using Group = std::vector<Picture>;

inline void Put(Bytes& out, size_t at, uint32_t value, int size) {
    if (out.size() < at + size) out.resize(at + size);
    for (int i = 0; i < size; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A 32-bit bitmap entry filled with one colour. With `maskOnly` its alpha is all zero and the
// mask clears the top-left quarter.
inline Bytes SolidBitmap(int side, QRgb colour, bool maskOnly = false) {
    Bytes out;
    const uint32_t header[] = {40, uint32_t(side), uint32_t(side * 2)};
    for (int i = 0; i < 3; ++i) Put(out, 4 * i, header[i], 4);
    Put(out, 12, 1, 2);
    Put(out, 14, 32, 2);
    Put(out, 39, 0, 1);
    for (int i = 0; i < side * side; ++i) {
        Put(out, out.size(), (colour & 0xFFFFFF) | (maskOnly ? 0u : 0xFF000000u), 4);
    }
    const int maskStride = (side + 31) / 32 * 4;
    for (int row = 0; row < side; ++row) {  // bottom-up
        for (int byte = 0; byte < maskStride; ++byte) {
            const bool topLeft = maskOnly && row >= side / 2 && byte * 8 < side / 2;
            Put(out, out.size(), topLeft ? 0xFF : 0x00, 1);
        }
    }
    return out;
}

// Resource directory with `count` id entries starting at `id`, each leading to `target`
// (offsets of subdirectories get the high bit).
inline void Directory(Bytes& rsrc, size_t at, uint32_t firstId,
                      const std::vector<uint32_t>& targets, bool subdirectories) {
    Put(rsrc, at + 14, static_cast<uint32_t>(targets.size()), 2);
    for (size_t i = 0; i < targets.size(); ++i) {
        Put(rsrc, at + 16 + 8 * i, firstId + static_cast<uint32_t>(i), 4);
        Put(rsrc, at + 20 + 8 * i, targets[i] | (subdirectories ? 0x80000000u : 0), 4);
    }
}

constexpr uint32_t kSectionAddress = 0x1000;
constexpr uint32_t kSectionOffset = 0x200;

// The resource section: root (types 3 and 14), the two type directories, one name directory
// with one language per resource, the data entries and the data.
inline Bytes ResourceSection(const std::vector<Group>& groups) {
    std::vector<Bytes> icons, groupData;
    for (const Group& group : groups) {
        Bytes dir;
        Put(dir, 2, 1, 2);
        Put(dir, 4, static_cast<uint32_t>(group.size()), 2);
        for (const Picture& picture : group) {
            const size_t at = dir.size();
            Put(dir, at, picture.side % 256, 1);
            Put(dir, at + 1, picture.side % 256, 1);
            Put(dir, at + 4, 1, 2);
            Put(dir, at + 6, picture.bitCount, 2);
            Put(dir, at + 8, static_cast<uint32_t>(picture.data.size()), 4);
            icons.push_back(picture.data);
            Put(dir, at + 12, static_cast<uint32_t>(icons.size()), 2);
        }
        groupData.push_back(dir);
    }
    std::vector<const Bytes*> all;
    for (const Bytes& b : icons) all.push_back(&b);
    for (const Bytes& b : groupData) all.push_back(&b);

    const size_t n = all.size();
    const uint32_t iconType = 32, groupType = iconType + 16 + 8 * icons.size();
    const uint32_t names = groupType + 16 + 8 * groupData.size();
    const uint32_t entries = names + 24 * n;
    uint32_t data = entries + 16 * n;
    Bytes rsrc;
    Directory(rsrc, 0, 3, {iconType}, true);
    Put(rsrc, 14, 2, 2);
    Put(rsrc, 24, 14, 4);
    Put(rsrc, 28, groupType | 0x80000000u, 4);
    std::vector<uint32_t> iconNames, groupNames;
    for (size_t i = 0; i < n; ++i)
        (i < icons.size() ? iconNames : groupNames).push_back(names + 24 * i);
    Directory(rsrc, iconType, 1, iconNames, true);
    Directory(rsrc, groupType, 1, groupNames, true);
    for (size_t i = 0; i < n; ++i) {
        Directory(rsrc, names + 24 * i, 1033, {entries + 16 * uint32_t(i)}, false);
        Put(rsrc, entries + 16 * i, kSectionAddress + data, 4);
        Put(rsrc, entries + 16 * i + 4, static_cast<uint32_t>(all[i]->size()), 4);
        rsrc.resize(data);
        rsrc.insert(rsrc.end(), all[i]->begin(), all[i]->end());
        data = static_cast<uint32_t>((rsrc.size() + 3) / 4 * 4);
    }
    return rsrc;
}

// The whole file: DOS stub header, PE headers (PE32 or PE32+), one section ".rsrc".
inline Bytes WritePe(const std::vector<Group>& groups, bool plus) {
    const Bytes rsrc = ResourceSection(groups);
    Bytes out(kSectionOffset, 0);
    out[0] = 'M';
    out[1] = 'Z';
    Put(out, 0x3C, 0x40, 4);
    Put(out, 0x40, 0x4550, 4);
    const uint32_t optionalSize = plus ? 240 : 224;
    Put(out, 0x44, plus ? 0x8664 : 0x14C, 2);
    Put(out, 0x46, 1, 2);
    Put(out, 0x54, optionalSize, 2);
    const size_t optional = 0x58;
    Put(out, optional, plus ? 0x20B : 0x10B, 2);
    const size_t directories = optional + (plus ? 112 : 96);
    Put(out, directories - 4, 16, 4);
    Put(out, directories + 16, kSectionAddress, 4);
    Put(out, directories + 20, static_cast<uint32_t>(rsrc.size()), 4);
    const size_t section = optional + optionalSize;
    std::memcpy(&out[section], ".rsrc", 5);
    Put(out, section + 8, static_cast<uint32_t>(rsrc.size()), 4);
    Put(out, section + 12, kSectionAddress, 4);
    Put(out, section + 16, static_cast<uint32_t>(rsrc.size()), 4);
    Put(out, section + 20, kSectionOffset, 4);
    out.insert(out.end(), rsrc.begin(), rsrc.end());
    return out;
}

// A file whose `groups` group names all lead to one language directory of `languages` entries
// (all naming one group of `entries` entries over one 16 x 16 icon): either every group is the
// same huge group, or every name makes the reader walk the same huge directory.
inline Bytes AmplifyingPe(size_t groups, size_t entries, size_t languages) {
    const Bytes bitmap = SolidBitmap(16, 0x2050C8);
    Bytes rsrc;
    const size_t iconType = 32, groupType = 64, iconLanguage = groupType + 16 + 8 * groups;
    const size_t groupLanguages = iconLanguage + 24,
                 iconEntry = groupLanguages + 16 + 8 * languages;
    const size_t groupEntry = iconEntry + 16, iconData = groupEntry + 16;
    const size_t groupData = iconData + bitmap.size();
    Directory(rsrc, 0, 3, {uint32_t(iconType)}, true);
    Put(rsrc, 14, 2, 2);
    Put(rsrc, 24, 14, 4);
    Put(rsrc, 28, uint32_t(groupType) | 0x80000000u, 4);
    Directory(rsrc, iconType, 1, {uint32_t(iconLanguage)}, true);
    Directory(rsrc, groupType, 1, std::vector<uint32_t>(groups, uint32_t(groupLanguages)), true);
    Directory(rsrc, iconLanguage, 1033, {uint32_t(iconEntry)}, false);
    Directory(rsrc, groupLanguages, 1033, std::vector<uint32_t>(languages, uint32_t(groupEntry)),
              false);
    Put(rsrc, iconEntry, kSectionAddress + uint32_t(iconData), 4);
    Put(rsrc, iconEntry + 4, uint32_t(bitmap.size()), 4);
    Put(rsrc, groupEntry, kSectionAddress + uint32_t(groupData), 4);
    Put(rsrc, groupEntry + 4, uint32_t(6 + 14 * entries), 4);
    rsrc.resize(iconData);
    rsrc.insert(rsrc.end(), bitmap.begin(), bitmap.end());
    Put(rsrc, groupData + 4, uint32_t(entries), 2);
    for (size_t i = 0; i < entries; ++i) {
        const size_t at = groupData + 6 + 14 * i;
        Put(rsrc, at, 16, 1);
        Put(rsrc, at + 1, 16, 1);
        Put(rsrc, at + 6, 32, 2);
        Put(rsrc, at + 12, 1, 2);
    }
    // The headers of a one-section file, with this section in place of the usual one.
    Bytes file = WritePe({{{16, 32, bitmap}}}, false);
    file.resize(kSectionOffset);
    file.insert(file.end(), rsrc.begin(), rsrc.end());
    const size_t section = 0x58 + 224;
    for (const size_t at : {size_t(0x58 + 96 + 20), section + 8, section + 16})
        Put(file, at, uint32_t(rsrc.size()), 4);
    return file;
}

}  // namespace testpe
