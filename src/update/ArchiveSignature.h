#pragma once
// The signature check of update archives. The program installs an archive
// from the update service only when the maker signed it: beside every
// archive lies a detached signature in minisign's text form (the archive's
// address plus ".minisig"), checked here against the maker's public key,
// which the build compiles in.
//
// A key text is the base64 line of a minisign public key, alone or as the
// whole minisign.pub file (an "untrusted comment: " line, then that line).
// Decoded it is "Ed", an 8-byte key id and the 32-byte Ed25519 key.
//
// A signature text has four lines, each ending with "\n" or "\r\n" (the
// last may lack its end):
//   untrusted comment: <anything>
//   <base64 of 74 bytes: the algorithm, the key id, the 64-byte signature>
//   trusted comment: <text>
//   <base64 of 64 bytes: the signature of (signature bytes || text)>
// The algorithm "Ed" signs the archive's bytes themselves, "ED" (what
// minisign writes by default) signs their BLAKE2b-512 hash. An archive
// passes when the key ids are equal, the signature holds for the archive and
// the second signature holds for the trusted comment. Nothing else is
// accepted: no other line ends, no missing or extra lines, no base64 that
// does not decode to exactly the size due, no NUL or lone CR in a line.
//
// Threads: every function may be called on any thread (the update runs on
// a worker thread); they share nothing but libsodium's one-time start.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

namespace zt {

// A key or signature text that is not in minisign's form; the message
// says what is wrong (English, for the log).
class EMinisignFormat : public Exception {
public:
    using Exception::Exception;
};

struct MinisignPublicKey {
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 32> key{};
};

struct MinisignSignature {
    bool prehashed = false;  // "ED": the archive's BLAKE2b-512 hash is signed
    std::array<uint8_t, 8> keyId{};
    std::array<uint8_t, 64> signature{};
    std::string trustedComment;
    std::array<uint8_t, 64> globalSignature{};
};

// Longest texts read; anything longer is refused before it is looked at.
inline constexpr size_t kMaxMinisignKeyText = 2048;
inline constexpr size_t kMaxMinisignSignatureText = 8192;
// Longest archive checked against a plain ("Ed") signature, which needs
// the whole archive in memory; prehashed signatures are checked streaming,
// at any size.
inline constexpr uint64_t kMaxPlainSignedSize = 512ull * 1024 * 1024;

// Both raise EMinisignFormat.
MinisignPublicKey ParseMinisignPublicKey(std::string_view text);
MinisignSignature ParseMinisignSignature(std::string_view text);

// The key id as minisign shows it (in minisign.pub's comment, for one):
// up to 16 upper-case hex digits, without leading zeros.
std::string MinisignKeyIdText(const std::array<uint8_t, 8>& keyId);

struct SignatureCheck {
    bool ok = false;
    std::string reason;          // why not, for the log (English), when !ok
    std::string trustedComment;  // the signed comment, when ok
};

// The maker's key compiled into the program (the CMake cache value
// ZT_UPDATE_PUBLIC_KEY; empty when none was given, and then no archive
// passes).
std::string CompiledUpdatePublicKey();

// Checks the archive at `archivePath` against a signature text and a key
// text. Never throws for bad input: an empty key text means that no key is
// compiled in, an empty signature text that the archive has none, and
// either refuses the archive like every other fault.
SignatureCheck CheckArchiveSignature(const std::string& publicKeyText,
                                     const std::string& signatureText,
                                     const std::string& archivePath);
// The same for an archive already in memory.
SignatureCheck CheckSignedBytes(const std::string& publicKeyText, const std::string& signatureText,
                                std::string_view archive);

}  // namespace zt
