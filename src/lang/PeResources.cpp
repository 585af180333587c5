#include "lang/PeResources.h"

#include <algorithm>

namespace zt {

namespace {

// Bounds for a hostile file: no more directory entries are looked at than
// this, whatever the counts in the file say.
constexpr size_t kMaxEntriesVisited = 1 << 16;

// Reads little-endian values from the file, never outside it.
class Bytes {
public:
    explicit Bytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    std::optional<uint16_t> U16(uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return uint16_t(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    std::optional<uint32_t> U32(uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return uint32_t(bytes_[offset]) | uint32_t(bytes_[offset + 1]) << 8 |
               uint32_t(bytes_[offset + 2]) << 16 | uint32_t(bytes_[offset + 3]) << 24;
    }
    std::span<const uint8_t> Span(uint64_t offset, uint64_t length) const {
        return bytes_.subspan(offset, length);
    }
    size_t Size() const { return bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
};

struct Section {
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;  // bytes present in the file
    uint32_t rawOffset = 0;
};

// The file range of `length` bytes at `rva`, when one section holds all of
// it in the file.
std::optional<uint64_t> FileOffset(const std::vector<Section>& sections, uint32_t rva,
                                   uint64_t length) {
    for (const Section& s : sections) {
        if (rva < s.virtualAddress) continue;
        const uint64_t into = uint64_t(rva) - s.virtualAddress;
        if (into <= s.rawSize && length <= s.rawSize - into) return uint64_t(s.rawOffset) + into;
    }
    return std::nullopt;
}

// Upper case for the letters resource names are made of: ASCII, Latin-1
// and Cyrillic.
char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z') return char16_t(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
    return c;
}

std::u16string Folded(std::u16string text) {
    std::transform(text.begin(), text.end(), text.begin(), Fold);
    return text;
}

// The resource directory: offsets inside it are relative to its start and
// must stay inside the section that holds it.
class Tree {
public:
    Tree(const Bytes& file, uint64_t base, uint64_t limit)
        : file_(file), base_(base), limit_(limit) {}

    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= limit_ - base_ && length <= limit_ - base_ - offset;
    }
    std::optional<uint32_t> U32(uint64_t offset) const {
        if (!Has(offset, 4)) return std::nullopt;
        return file_.U32(base_ + offset);
    }
    std::optional<uint16_t> U16(uint64_t offset) const {
        if (!Has(offset, 2)) return std::nullopt;
        return file_.U16(base_ + offset);
    }

    struct DirEntry {
        uint32_t name;
        uint32_t target;
    };
    // The entries of the directory at `offset` that lie wholly inside.
    std::vector<DirEntry> Entries(uint32_t offset, size_t& visited) const {
        std::vector<DirEntry> out;
        const auto named = U16(uint64_t(offset) + 12), ids = U16(uint64_t(offset) + 14);
        if (!named || !ids) return out;
        const uint64_t count = uint64_t(*named) + *ids;
        for (uint64_t i = 0; i < count && visited < kMaxEntriesVisited; ++i, ++visited) {
            const uint64_t at = uint64_t(offset) + 16 + 8 * i;
            const auto name = U32(at), target = U32(at + 4);
            if (!name || !target) break;
            out.push_back({*name, *target});
        }
        return out;
    }
    // The UTF-16 name at `offset`: a 16-bit length, then the code units.
    std::optional<std::u16string> Name(uint32_t offset) const {
        const auto length = U16(offset);
        if (!length || !Has(uint64_t(offset) + 2, uint64_t(*length) * 2)) return std::nullopt;
        std::u16string name;
        for (uint32_t i = 0; i < *length; ++i) name += char16_t(*U16(uint64_t(offset) + 2 + 2 * i));
        return name;
    }

private:
    const Bytes& file_;
    uint64_t base_;
    uint64_t limit_;
};

constexpr uint32_t kHighBit = 0x80000000u;

}  // namespace

std::optional<PeResources> PeResources::Parse(std::span<const uint8_t> bytes) {
    const Bytes file(bytes);
    if (!file.Has(0, 0x40) || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
    const uint64_t pe = *file.U32(0x3C);
    if (!file.Has(pe, 24) || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 ||
        bytes[pe + 3] != 0)
        return std::nullopt;
    const uint16_t sectionCount = *file.U16(pe + 6);
    const uint16_t optionalSize = *file.U16(pe + 20);
    const uint64_t optional = pe + 24;
    const auto magic = file.U16(optional);
    if (!magic || !file.Has(optional, optionalSize)) return std::nullopt;
    uint64_t directories = 0, countAt = 0;
    if (*magic == 0x10B) {
        countAt = optional + 92;
        directories = optional + 96;
    } else if (*magic == 0x20B) {
        countAt = optional + 108;
        directories = optional + 112;
    } else {
        return std::nullopt;
    }
    // The resource directory is data directory 2, inside the optional header.
    const uint64_t resourceEntry = directories + 2 * 8;
    if (resourceEntry + 8 > optional + optionalSize) return std::nullopt;
    const auto directoryCount = file.U32(countAt);
    if (!directoryCount || *directoryCount < 3) return std::nullopt;
    const uint32_t resourceRva = *file.U32(resourceEntry);
    if (resourceRva == 0) return std::nullopt;

    std::vector<Section> sections;
    const uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + 40 * uint64_t(i);
        if (!file.Has(at, 40)) break;
        Section s;
        s.virtualAddress = *file.U32(at + 12);
        s.rawSize = *file.U32(at + 16);
        s.rawOffset = *file.U32(at + 20);
        // Only what the file really holds of the section can be read.
        if (s.rawOffset >= file.Size()) continue;
        s.rawSize = uint32_t(std::min<uint64_t>(s.rawSize, file.Size() - s.rawOffset));
        sections.push_back(s);
    }
    // The directory's section bounds every offset inside the tree.
    uint64_t base = 0, limit = 0;
    for (const Section& s : sections) {
        if (resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.rawSize) {
            base = uint64_t(s.rawOffset) + (resourceRva - s.virtualAddress);
            limit = uint64_t(s.rawOffset) + s.rawSize;
            break;
        }
    }
    if (limit == 0) return std::nullopt;

    PeResources out;
    const Tree tree(file, base, limit);
    size_t visited = 0;
    for (const Tree::DirEntry& type : tree.Entries(0, visited)) {
        // Types by number, each a directory of names.
        if ((type.name & kHighBit) || !(type.target & kHighBit)) continue;
        auto& named = out.byType_[type.name & 0xFFFF];
        for (const Tree::DirEntry& name : tree.Entries(type.target & ~kHighBit, visited)) {
            if (!(name.name & kHighBit) || !(name.target & kHighBit)) continue;
            const std::optional<std::u16string> text = tree.Name(name.name & ~kHighBit);
            if (!text) continue;
            const std::u16string key = Folded(*text);
            if (named.count(key)) continue;  // the first of equal names wins
            for (const Tree::DirEntry& language : tree.Entries(name.target & ~kHighBit, visited)) {
                if (language.target & kHighBit) continue;
                const auto dataRva = tree.U32(language.target),
                           size = tree.U32(language.target + 4);
                if (!dataRva || !size) continue;
                const std::optional<uint64_t> at = FileOffset(sections, *dataRva, *size);
                if (!at) continue;
                named[key] = Entry{*text, file.Span(*at, *size)};
                break;
            }
        }
    }
    return out;
}

std::optional<std::span<const uint8_t>> PeResources::Find(uint32_t type,
                                                          const std::u16string& name) const {
    const auto t = byType_.find(type);
    if (t == byType_.end()) return std::nullopt;
    const auto n = t->second.find(Folded(name));
    if (n == t->second.end()) return std::nullopt;
    return n->second.bytes;
}

std::vector<std::u16string> PeResources::Names(uint32_t type) const {
    std::vector<std::u16string> out;
    const auto t = byType_.find(type);
    if (t == byType_.end()) return out;
    for (const auto& [key, entry] : t->second) out.push_back(entry.name);
    return out;
}

}  // namespace zt
