#pragma once
// The resources of a Portable Executable file, read from its bytes.
//
// A language file is a resource-only module in the Windows executable
// format. Nothing of it runs here: this reader walks the resource directory
// (type, name and language levels) over the file's bytes and hands out the
// bytes of a resource by type number and name. Names are UTF-16 and compare
// without regard to case; any language level is accepted (the first one
// that is whole is taken).
//
// The file is outside input: every offset, count and length in it is
// checked against the file and against the section that holds it. An entry
// that points outside is skipped, never read; a file whose headers do not
// hold together has no resources at all.
//
// Threads: immutable after Parse; any thread.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zt {

inline constexpr uint32_t kResourceRcData = 10;

// The signed little-endian 32-bit value at `offset` of a resource, or
// nullopt when it does not lie wholly inside.
inline std::optional<int32_t> ReadI32(std::span<const uint8_t> bytes, uint64_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return std::nullopt;
    return int32_t(uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
                   uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24);
}

class PeResources {
public:
    // The resources of the image in `bytes` (not copied: the bytes must
    // outlive the result); nullopt when it is not a PE file or has no
    // resource directory.
    static std::optional<PeResources> Parse(std::span<const uint8_t> bytes);

    // The bytes of the resource of `type` with the string name `name`,
    // compared case-insensitively; nullopt when there is none.
    std::optional<std::span<const uint8_t>> Find(uint32_t type, const std::u16string& name) const;

    // The string names of the resources of `type`, as stored.
    std::vector<std::u16string> Names(uint32_t type) const;

private:
    struct Entry {
        std::u16string name;  // as stored
        std::span<const uint8_t> bytes;
    };
    // Type number -> upper-cased name -> resource.
    std::map<uint32_t, std::map<std::u16string, Entry>> byType_;
};

}  // namespace zt
