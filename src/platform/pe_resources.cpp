#include "platform/pe_resources.h"

#include "image/format_bytes.h"

#include <algorithm>
#include <map>
#include <optional>

namespace platform {
namespace {

constexpr uint32_t kTypeIcon = 3;
constexpr uint32_t kTypeGroupIcon = 14;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kGroupHeaderSize = 6;
constexpr size_t kGroupEntrySize = 14;

struct Span {
    size_t offset = 0;
    size_t size = 0;
};

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
};

// One entry of a resource directory: a name or an id, and a subdirectory or a data entry (both
// as offsets from the start of the resource directory).
struct DirectoryEntry {
    bool named = false;
    uint32_t id = 0;
    bool subdirectory = false;
    uint32_t target = 0;
};

// The headers of a PE file, enough to map addresses of the loaded image to file offsets.
class PeImage {
  public:
    PeImage(const uint8_t* file, size_t size) : file_(file), size_(size) { valid_ = ReadHeaders(); }

    bool valid() const { return valid_; }
    uint32_t resourceAddress() const { return resourceAddress_; }

    // The file bytes that hold `length` bytes of the loaded image at `address`: all of them must
    // lie in the file's data of one section.
    std::optional<Span> Map(uint64_t address, uint64_t length) const {
        for (const Section& section : sections_) {
            const uint64_t extent = section.virtualSize ? section.virtualSize : section.rawSize;
            if (address < section.virtualAddress || address - section.virtualAddress >= extent) {
                continue;
            }
            const uint64_t delta = address - section.virtualAddress;
            if (delta + length > section.rawSize) return std::nullopt;
            const uint64_t offset = uint64_t{section.rawOffset} + delta;
            if (offset + length > size_) return std::nullopt;
            return Span{static_cast<size_t>(offset), static_cast<size_t>(length)};
        }
        return std::nullopt;
    }

    // A reader over the bytes at an address of the loaded image.
    std::optional<ByteReader> At(uint64_t address, uint64_t length) const {
        const std::optional<Span> span = Map(address, length);
        if (!span) return std::nullopt;
        return ByteReader(file_ + span->offset, span->size);
    }

  private:
    bool ReadHeaders() {
        ByteReader in(file_, size_);
        if (in.U8() != 'M' || in.U8() != 'Z') return false;
        in.Seek(0x3C);
        const uint32_t peOffset = in.U32();
        if (in.Failed() || !in.Seek(peOffset)) return false;
        if (in.U32() != 0x00004550) return false;  // "PE\0\0"
        in.U16();                                  // machine
        const uint16_t sectionCount = in.U16();
        in.Skip(12);
        const uint16_t optionalSize = in.U16();
        in.U16();  // characteristics
        if (in.Failed()) return false;

        const size_t optionalStart = in.Position();
        const uint16_t magic = in.U16();
        size_t countAt;
        if (magic == kMagicPe32) {
            countAt = 92;
        } else if (magic == kMagicPe32Plus) {
            countAt = 108;
        } else {
            return false;
        }
        const size_t directoriesAt = countAt + 4;
        const size_t resourceEntryEnd = directoriesAt + (kResourceDirectoryIndex + 1) * 8;
        if (optionalSize < resourceEntryEnd) return false;
        in.Seek(optionalStart + countAt);
        if (in.U32() <= kResourceDirectoryIndex) return false;
        in.Seek(optionalStart + directoriesAt + kResourceDirectoryIndex * 8);
        resourceAddress_ = in.U32();
        const uint32_t resourceSize = in.U32();
        if (in.Failed() || resourceAddress_ == 0 || resourceSize == 0) return false;

        if (!in.Seek(optionalStart + optionalSize)) return false;
        if (size_t{sectionCount} * kSectionHeaderSize > in.Left()) return false;
        sections_.reserve(sectionCount);
        for (uint16_t i = 0; i < sectionCount; ++i) {
            in.Skip(8);  // name
            Section section;
            section.virtualSize = in.U32();
            section.virtualAddress = in.U32();
            section.rawSize = in.U32();
            section.rawOffset = in.U32();
            in.Skip(16);
            sections_.push_back(section);
        }
        return !in.Failed();
    }

    const uint8_t* file_;
    size_t size_;
    bool valid_ = false;
    uint32_t resourceAddress_ = 0;
    std::vector<Section> sections_;
};

// Walks the three levels of the resource tree (type, name, language). Any directory that leads
// back to one of its ancestors makes the whole tree untrustworthy. Every entry read is counted
// against the budget; past it nothing more is read and the tree says it was cut short.
class ResourceTree {
  public:
    ResourceTree(const PeImage& image, size_t mostEntries)
        : image_(image), entriesLeft_(mostEntries) {}

    bool looped() const { return looped_; }
    bool cutShort() const { return cutShort_; }

    // The first `most` entries of the directory at `offset`; empty when it does not lie in the
    // file or the budget is spent.
    std::vector<DirectoryEntry> Directory(uint32_t offset, size_t most = SIZE_MAX) {
        const uint64_t address = uint64_t{image_.resourceAddress()} + offset;
        std::optional<ByteReader> header = image_.At(address, kDirectoryHeaderSize);
        if (!header) return {};
        header->Skip(12);
        const size_t named = header->U16();
        size_t count = std::min(named + header->U16(), most);
        if (count > entriesLeft_) {
            count = entriesLeft_;
            cutShort_ = true;
        }
        std::optional<ByteReader> in =
            image_.At(address + kDirectoryHeaderSize, uint64_t{count} * kDirectoryEntrySize);
        if (!in) return {};
        entriesLeft_ -= count;
        std::vector<DirectoryEntry> entries(count);
        for (DirectoryEntry& entry : entries) {
            const uint32_t name = in->U32(), target = in->U32();
            entry.named = (name & kHighBit) != 0;
            entry.id = name & ~kHighBit;
            entry.subdirectory = (target & kHighBit) != 0;
            entry.target = target & ~kHighBit;
        }
        return entries;
    }

    // The subdirectories of the type's entry in the root: name directories, in the order of
    // the tree (named entries first, then ids ascending).
    std::vector<DirectoryEntry> NamesOfType(uint32_t type) {
        for (const DirectoryEntry& entry : Directory(0)) {
            if (entry.named || entry.id != type || !entry.subdirectory) continue;
            if (!Descend(entry.target, {0})) return {};
            std::vector<DirectoryEntry> names = Directory(entry.target);
            std::stable_sort(names.begin(), names.end(),
                             [](const DirectoryEntry& a, const DirectoryEntry& b) {
                                 if (a.named != b.named) return a.named;
                                 return !a.named && a.id < b.id;
                             });
            typeDirectory_ = entry.target;
            return names;
        }
        return {};
    }

    // The data of a name's first language (only that entry of its directory is read).
    std::optional<Span> FirstLanguage(const DirectoryEntry& name) {
        if (!name.subdirectory || !Descend(name.target, {0, typeDirectory_})) return std::nullopt;
        const std::vector<DirectoryEntry> languages = Directory(name.target, 1);
        if (languages.empty()) return std::nullopt;
        const DirectoryEntry& first = languages.front();
        if (first.subdirectory) {
            Descend(first.target, {0, typeDirectory_, name.target});
            return std::nullopt;
        }
        std::optional<ByteReader> entry =
            image_.At(uint64_t{image_.resourceAddress()} + first.target, 16);
        if (!entry) return std::nullopt;
        const uint32_t address = entry->U32(), size = entry->U32();
        return image_.Map(address, size);
    }

  private:
    // False, and the tree marked as looping, when `offset` is one of the ancestors.
    bool Descend(uint32_t offset, std::initializer_list<uint32_t> ancestors) {
        for (uint32_t ancestor : ancestors) {
            if (offset == ancestor) {
                looped_ = true;
                return false;
            }
        }
        return true;
    }

    const PeImage& image_;
    uint32_t typeDirectory_ = 0;
    bool looped_ = false;
    bool cutShort_ = false;
    size_t entriesLeft_;
};

// The pictures of one group that the file holds, by the ids its entries name; at most
// `entriesLeft` entries are read, and the count read is taken off it.
PeIconGroup ReadGroup(const uint8_t* file, Span group, const std::map<uint32_t, Span>& icons,
                      size_t& entriesLeft, bool& cutShort) {
    PeIconGroup result;
    ByteReader in(file + group.offset, group.size);
    in.Skip(4);  // reserved, type
    size_t count = std::min<size_t>(in.U16(), (group.size - kGroupHeaderSize) / kGroupEntrySize);
    if (in.Failed()) return result;
    if (count > entriesLeft) {
        count = entriesLeft;
        cutShort = true;
    }
    entriesLeft -= count;
    for (size_t i = 0; i < count; ++i) {
        PeIconImage image;
        const uint8_t width = in.U8(), height = in.U8();
        image.width = width ? width : 256;
        image.height = height ? height : 256;
        image.colourCount = in.U8();
        in.U8();   // reserved
        in.U16();  // planes
        image.bitCount = in.U16();
        in.U32();  // bytes in the picture, as the group says; the icon's own entry decides
        const auto icon = icons.find(in.U16());
        if (icon == icons.end() || icon->second.size == 0) continue;
        image.offset = icon->second.offset;
        image.size = icon->second.size;
        result.images.push_back(image);
    }
    return result;
}

}  // namespace

std::vector<PeIconGroup> ReadPeIconGroups(const uint8_t* file, size_t size, bool* cutShort,
                                          const PeBudget& budget) {
    if (cutShort) *cutShort = false;
    if (!file) return {};
    const PeImage image(file, size);
    if (!image.valid()) return {};

    ResourceTree tree(image, budget.directoryEntries);
    std::map<uint32_t, Span> icons;
    for (const DirectoryEntry& name : tree.NamesOfType(kTypeIcon)) {
        if (tree.cutShort()) break;
        if (name.named || icons.count(name.id)) continue;
        if (const std::optional<Span> data = tree.FirstLanguage(name)) icons[name.id] = *data;
        if (tree.looped()) return {};
    }

    std::vector<PeIconGroup> groups;
    size_t groupEntriesLeft = budget.groupEntries;
    bool groupsCut = false;
    for (const DirectoryEntry& name : tree.NamesOfType(kTypeGroupIcon)) {
        if (tree.cutShort() || groupsCut) break;
        if (groups.size() >= budget.groups || groupEntriesLeft == 0) {
            groupsCut = true;
            break;
        }
        const std::optional<Span> data = tree.FirstLanguage(name);
        if (tree.looped()) return {};
        if (!data || data->size < kGroupHeaderSize) continue;
        PeIconGroup group = ReadGroup(file, *data, icons, groupEntriesLeft, groupsCut);
        if (!group.images.empty()) groups.push_back(std::move(group));
    }
    if (tree.looped()) return {};
    if (cutShort) *cutShort = tree.cutShort() || groupsCut;
    return groups;
}

}  // namespace platform
