#include "update/ArchiveSignature.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zt {

namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr size_t kReadChunk = 64 * 1024;

// libsodium must be started once before use; a function-local static makes
// the first caller do it and the others wait for it.
bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The lines of a text, each ended by "\n" or "\r\n"; the last may lack its
// end. A NUL or a CR anywhere else is refused, as nothing minisign writes
// holds one.
std::vector<std::string_view> SplitLines(std::string_view text, const char* what) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool ended = end != std::string_view::npos;
        if (!ended) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos)
            throw EMinisignFormat(std::string(what) + " holds a NUL byte");
        if (line.find('\r') != std::string_view::npos)
            throw EMinisignFormat(std::string(what) + " holds a CR that does not end a line");
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Decodes base64 (with its padding, nothing around it) into exactly N bytes.
template <size_t N>
bool DecodeExactly(std::string_view base64, std::array<uint8_t, N>& out) {
    // Checked first so that libsodium never sees more than one value's text.
    if (base64.size() != (N + 2) / 3 * 4) return false;
    size_t length = 0;
    if (sodium_base642bin(out.data(), N, base64.data(), base64.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    return length == N;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool VerifyEd25519(const std::array<uint8_t, 64>& signature, const unsigned char* message,
                   size_t size, const MinisignPublicKey& key) {
    // libsodium wants a pointer even for an empty message.
    static const unsigned char empty = 0;
    return crypto_sign_verify_detached(signature.data(), size ? message : &empty, size,
                                       key.key.data()) == 0;
}

// Parses both texts and compares the key ids; false with `result.reason`
// set when the archive is refused already.
bool PrepareCheck(const std::string& keyText, const std::string& signatureText,
                  MinisignPublicKey& key, MinisignSignature& signature, SignatureCheck& result) {
    if (!SodiumReady()) {
        result.reason = "the signature library (libsodium) could not be started";
        return false;
    }
    if (keyText.empty()) {
        result.reason = "no update public key is compiled into the program";
        return false;
    }
    if (signatureText.empty()) {
        result.reason = "the archive has no signature";
        return false;
    }
    try {
        key = ParseMinisignPublicKey(keyText);
    } catch (const EMinisignFormat& e) {
        result.reason = std::string("the update public key is unusable: ") + e.what();
        return false;
    }
    try {
        signature = ParseMinisignSignature(signatureText);
    } catch (const EMinisignFormat& e) {
        result.reason = std::string("the archive's signature is unreadable: ") + e.what();
        return false;
    }
    if (signature.keyId != key.keyId) {
        result.reason = "the archive was signed with another key (key id " +
                        MinisignKeyIdText(signature.keyId) + ", expected " +
                        MinisignKeyIdText(key.keyId) + ")";
        return false;
    }
    return true;
}

// The last two checks once the signed message is known: the BLAKE2b-512
// hash of the archive for a prehashed signature, else the archive itself.
SignatureCheck Conclude(const MinisignPublicKey& key, const MinisignSignature& signature,
                        const unsigned char* message, size_t size) {
    SignatureCheck result;
    if (!VerifyEd25519(signature.signature, message, size, key)) {
        result.reason = "the signature does not match the archive";
        return result;
    }
    std::vector<unsigned char> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    if (!VerifyEd25519(signature.globalSignature, global.data(), global.size(), key)) {
        result.reason = "the signature of the trusted comment does not match";
        return result;
    }
    result.ok = true;
    result.trustedComment = signature.trustedComment;
    return result;
}

std::string SystemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// An open file, closed with the object.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads the whole file in pieces, handing each to `piece`; false with
// `reason` set when reading failed or the file grew beyond `limit`.
template <typename Piece>
bool ReadPieces(int fd, uint64_t limit, Piece&& piece, std::string& reason) {
    std::vector<unsigned char> buffer(kReadChunk);
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            reason = SystemError("the archive could not be read", errno);
            return false;
        }
        if (n == 0) return true;
        total += uint64_t(n);
        if (total > limit) {
            reason = "the archive is too large for a plain (not prehashed) signature";
            return false;
        }
        piece(buffer.data(), size_t(n));
    }
}

}  // namespace

MinisignPublicKey ParseMinisignPublicKey(std::string_view text) {
    if (text.size() > kMaxMinisignKeyText) throw EMinisignFormat("the key text is too long");
    const std::vector<std::string_view> lines = SplitLines(text, "the key text");
    std::string_view line;
    if (lines.size() == 1) {
        line = lines[0];
    } else if (lines.size() == 2) {
        if (!StartsWith(lines[0], kUntrustedPrefix))
            throw EMinisignFormat("the key file does not start with \"untrusted comment: \"");
        line = lines[1];
    } else {
        throw EMinisignFormat("the key text has " + std::to_string(lines.size()) +
                              " lines (one key line, or a comment line and the key line)");
    }
    std::array<uint8_t, 42> raw{};
    if (!DecodeExactly(line, raw))
        throw EMinisignFormat("the key line is not the base64 text of 42 bytes");
    if (raw[0] != 'E' || raw[1] != 'd')
        throw EMinisignFormat("the key is not an Ed25519 key (algorithm \"Ed\")");
    MinisignPublicKey key;
    std::memcpy(key.keyId.data(), raw.data() + 2, key.keyId.size());
    std::memcpy(key.key.data(), raw.data() + 10, key.key.size());
    return key;
}

MinisignSignature ParseMinisignSignature(std::string_view text) {
    if (text.size() > kMaxMinisignSignatureText)
        throw EMinisignFormat("the signature text is too long");
    const std::vector<std::string_view> lines = SplitLines(text, "the signature text");
    if (lines.size() != 4)
        throw EMinisignFormat("the signature text has " + std::to_string(lines.size()) +
                              " lines instead of 4");
    if (!StartsWith(lines[0], kUntrustedPrefix))
        throw EMinisignFormat("line 1 does not start with \"untrusted comment: \"");
    std::array<uint8_t, 74> raw{};
    if (!DecodeExactly(lines[1], raw))
        throw EMinisignFormat("line 2 is not the base64 text of 74 bytes");
    MinisignSignature signature;
    if (raw[0] == 'E' && raw[1] == 'd') {
        signature.prehashed = false;
    } else if (raw[0] == 'E' && raw[1] == 'D') {
        signature.prehashed = true;
    } else {
        throw EMinisignFormat("the signature's algorithm is neither \"Ed\" nor \"ED\"");
    }
    std::memcpy(signature.keyId.data(), raw.data() + 2, signature.keyId.size());
    std::memcpy(signature.signature.data(), raw.data() + 10, signature.signature.size());
    if (!StartsWith(lines[2], kTrustedPrefix))
        throw EMinisignFormat("line 3 does not start with \"trusted comment: \"");
    signature.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
    if (!DecodeExactly(lines[3], signature.globalSignature))
        throw EMinisignFormat("line 4 is not the base64 text of 64 bytes");
    return signature;
}

std::string MinisignKeyIdText(const std::array<uint8_t, 8>& keyId) {
    // minisign shows the id as a little-endian 64-bit number.
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = keyId.size(); i-- > 0;) {
        text += kHex[keyId[i] >> 4];
        text += kHex[keyId[i] & 15];
    }
    // minisign prints the number without leading zeros.
    const size_t first = text.find_first_not_of('0');
    return first == std::string::npos ? "0" : text.substr(first);
}

SignatureCheck CheckSignedBytes(const std::string& publicKeyText, const std::string& signatureText,
                                std::string_view archive) {
    SignatureCheck result;
    MinisignPublicKey key;
    MinisignSignature signature;
    if (!PrepareCheck(publicKeyText, signatureText, key, signature, result)) return result;
    const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
    if (!signature.prehashed) return Conclude(key, signature, bytes, archive.size());
    std::array<unsigned char, crypto_generichash_blake2b_BYTES_MAX> hash{};
    crypto_generichash_blake2b(hash.data(), hash.size(), bytes, archive.size(), nullptr, 0);
    return Conclude(key, signature, hash.data(), hash.size());
}

SignatureCheck CheckArchiveSignature(const std::string& publicKeyText,
                                     const std::string& signatureText,
                                     const std::string& archivePath) {
    SignatureCheck result;
    MinisignPublicKey key;
    MinisignSignature signature;
    if (!PrepareCheck(publicKeyText, signatureText, key, signature, result)) return result;

    const FileHandle file(::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        result.reason = SystemError("the archive " + archivePath + " could not be opened", errno);
        return result;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        result.reason = SystemError("the archive " + archivePath + " could not be examined", errno);
        return result;
    }
    // A device or a pipe could stream without end.
    if (!S_ISREG(st.st_mode)) {
        result.reason = "the archive " + archivePath + " is not a regular file";
        return result;
    }

    if (signature.prehashed) {
        crypto_generichash_blake2b_state state;
        crypto_generichash_blake2b_init(&state, nullptr, 0, crypto_generichash_blake2b_BYTES_MAX);
        const bool read = ReadPieces(
            file.get(), UINT64_MAX,
            [&](const unsigned char* data, size_t size) {
                crypto_generichash_blake2b_update(&state, data, size);
            },
            result.reason);
        if (!read) return result;
        std::array<unsigned char, crypto_generichash_blake2b_BYTES_MAX> hash{};
        crypto_generichash_blake2b_final(&state, hash.data(), hash.size());
        return Conclude(key, signature, hash.data(), hash.size());
    }

    if (uint64_t(st.st_size) > kMaxPlainSignedSize) {
        result.reason = "the archive is too large for a plain (not prehashed) signature";
        return result;
    }
    std::vector<unsigned char> message;
    message.reserve(size_t(st.st_size));
    const bool read = ReadPieces(
        file.get(), kMaxPlainSignedSize,
        [&](const unsigned char* data, size_t size) {
            message.insert(message.end(), data, data + size);
        },
        result.reason);
    if (!read) return result;
    return Conclude(key, signature, message.data(), message.size());
}

}  // namespace zt
