// Feeds arbitrary bytes to the readers of minisign signatures and keys, and
// checks them as the signature of a small fixed archive and as the key of
// its fixed signature. The seeds are that key and real signatures of that
// archive made with minisign, so the mutations reach the signature checks.
// Nothing may read out of bounds, and nothing but the real key and
// signatures (up to what is not signed: the untrusted comment, line ends)
// may pass.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInputFile.h"
#include "update/ArchiveSignature.h"

namespace {

constexpr char kArchive[] = "Zelta Tresona update archive\n";
constexpr char kKey[] = "RWSJaNX2M6Ujfrf+IVe16lSJruj01gS1iPlKfPpjOrULFha/CGtBkf39";
constexpr char kSignature[] =
    "untrusted comment: signature from minisign secret key\n"
    "RUSJaNX2M6Ujfu3BktkEZqwnyLUjjaYk9TJ+CZ2pazW+zvhy7eCb5tT9nzYikZ0f1Yc0zWUaaGXOiACbtinfh+N4D20Xow"
    "j0Ugg=\n"
    "trusted comment: fixed archive\n"
    "fHPkW+W9HQXuh0XhtNHuK/qtICdyRpLGKMHuvIBGLnKwN34nnMWHjX16DPB9Ph7FMaN7HETy48WmKZiogevtDg==\n";

using zt::fuzz::Check;

// The fixed archive as a file, for the check that streams from a file.
const std::string& ArchivePath() {
    static const bool written =
        zt::fuzz::WriteInput(reinterpret_cast<const uint8_t*>(kArchive), sizeof kArchive - 1);
    Check(written);
    return zt::fuzz::InputPath();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string archive(kArchive, sizeof kArchive - 1);

    bool parsed = false;
    zt::MinisignSignature signature;
    try {
        signature = zt::ParseMinisignSignature(text);
        parsed = true;
        Check(signature.trustedComment.size() < size);
    } catch (const zt::EMinisignFormat&) {
    }
    try {
        zt::ParseMinisignPublicKey(text);
    } catch (const zt::EMinisignFormat&) {
    }

    // The input as the archive's signature.
    const zt::SignatureCheck asSignature = zt::CheckSignedBytes(kKey, text, archive);
    Check(asSignature.ok != !asSignature.reason.empty());
    if (asSignature.ok) {
        Check(parsed);
        Check(asSignature.trustedComment == signature.trustedComment);
        Check(signature.keyId == zt::ParseMinisignPublicKey(kKey).keyId);
        // A signature holds for one archive only.
        std::string changed = archive;
        changed[0] ^= 1;
        Check(!zt::CheckSignedBytes(kKey, text, changed).ok);
    }
    if (parsed) {
        // From the file the answer is the same as from memory.
        const zt::SignatureCheck fromFile = zt::CheckArchiveSignature(kKey, text, ArchivePath());
        Check(fromFile.ok == asSignature.ok && fromFile.reason == asSignature.reason &&
              fromFile.trustedComment == asSignature.trustedComment);
    }

    // The input as the key of the archive's real signature.
    const zt::SignatureCheck asKey = zt::CheckSignedBytes(text, kSignature, archive);
    Check(asKey.ok != !asKey.reason.empty());
    if (asKey.ok)
        Check(zt::ParseMinisignPublicKey(text).key == zt::ParseMinisignPublicKey(kKey).key);
    return 0;
}
