// The signature check of update archives against keys and signatures made
// by the real minisign tool: good prehashed and plain signatures pass (from
// a file and from memory); a changed archive, another key, a forged key id,
// a changed trusted comment or algorithm are refused; so are broken
// signature and key texts, a missing key or signature, and a plain
// signature over an archive too large to hold.

#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "update/ArchiveSignature.h"

namespace zt {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// The full path of a program found on PATH, or "".
std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& end = "\n") {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

std::string FromBase64(const std::string& text) {
    std::string bytes(text.size(), '\0');
    size_t length = 0;
    EXPECT_EQ(
        sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                          text.size(), nullptr, &length, nullptr, sodium_base64_VARIANT_ORIGINAL),
        0)
        << text;
    bytes.resize(length);
    return bytes;
}

std::string ToBase64(const std::string& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(),
                      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

// What the signature reader says of `text`, "" when it reads it.
std::string SignatureFault(const std::string& text) {
    try {
        ParseMinisignSignature(text);
    } catch (const EMinisignFormat& e) {
        return e.what();
    }
    return "";
}

// Replaces the bytes of the binary line `index` (decoded) through `edit`.
std::string WithBinaryLine(const std::string& text, size_t index,
                           const std::function<void(std::string&)>& edit) {
    std::vector<std::string> lines = Lines(text);
    std::string bytes = FromBase64(lines.at(index));
    edit(bytes);
    lines.at(index) = ToBase64(bytes);
    return Joined(lines);
}

std::string WithLine(const std::string& text, size_t index, const std::string& line) {
    std::vector<std::string> lines = Lines(text);
    lines.at(index) = line;
    return Joined(lines);
}

// Bytes that do not repeat, longer than the checker's read pieces and not a
// multiple of them.
std::string ArchiveBytes() {
    std::string bytes(200'013, '\0');
    uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return bytes;
}

// What the cases are made of: two key pairs (A is the maker's), an archive
// and signatures of it.
struct Material {
    std::string keyALine, keyAFile, keyBLine;
    std::string keyIdA, keyIdB;  // as minisign writes them in the .pub comment
    std::string archive;
    std::string prehashedA, plainA, prehashedB;
    std::string prehashedAOtherComment;  // same archive and key, another trusted comment
    std::string prehashedAOtherArchive;  // same key, another archive
};

constexpr const char* kComment = "timestamp:1338508800\tfile:a2012.06.01.3.zip\trelease 3";

class ArchiveSignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(sodium_init(), 0);
        minisign_ = FindOnPath("minisign");
        ASSERT_FALSE(minisign_.empty())
            << "minisign is not on PATH; tools/install-deps.sh installs it";
        ASSERT_NO_FATAL_FAILURE(MakeKey("a"));
        ASSERT_NO_FATAL_FAILURE(MakeKey("b"));
        m_.keyAFile = ReadFileBytes(dir_.file("a.pub"));
        m_.keyALine = Lines(m_.keyAFile).at(1);
        m_.keyBLine = Lines(ReadFileBytes(dir_.file("b.pub"))).at(1);
        m_.keyIdA = KeyIdOfPubFile("a");
        m_.keyIdB = KeyIdOfPubFile("b");

        m_.archive = ArchiveBytes();
        archive_ = dir_.file("a2012.06.01.3.zip");
        WriteFileBytes(archive_, m_.archive);
        m_.prehashedA = Sign(archive_, "a", false, kComment);
        m_.plainA = Sign(archive_, "a", true, kComment);
        m_.prehashedB = Sign(archive_, "b", false, kComment);
        m_.prehashedAOtherComment = Sign(archive_, "a", false, "release 4");
        const std::string other = dir_.file("other.zip");
        WriteFileBytes(other, "another archive");
        m_.prehashedAOtherArchive = Sign(other, "a", false, kComment);
    }

    void Run(const std::string& arguments) {
        const std::string command =
            Quoted(minisign_) + " " + arguments + " </dev/null >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    void MakeKey(const std::string& name) {
        Run("-G -W -p " + Quoted(dir_.file(name + ".pub")) + " -s " +
            Quoted(dir_.file(name + ".key")));
    }

    // The key id from the comment minisign writes into the .pub file.
    std::string KeyIdOfPubFile(const std::string& name) {
        const std::string first = Lines(ReadFileBytes(dir_.file(name + ".pub"))).at(0);
        return first.substr(first.rfind(' ') + 1);
    }

    // Signs `file` with key `name` (legacy: the plain "Ed" form) and returns
    // the signature text.
    std::string Sign(const std::string& file, const std::string& name, bool legacy,
                     const std::string& trustedComment) {
        const std::string signature = dir_.file("out.minisig");
        std::filesystem::remove(signature);
        Run(std::string("-S ") + (legacy ? "-l " : "") + "-s " + Quoted(dir_.file(name + ".key")) +
            " -t " + Quoted(trustedComment) + " -x " + Quoted(signature) + " -m " + Quoted(file));
        return ReadFileBytes(signature);
    }

    std::string minisign_;
    TempDir dir_;
    std::string archive_;
    Material m_;
};

TEST_F(ArchiveSignatureTest, GoodSignaturesPassFromAFileAndFromMemory) {
    struct Case {
        const char* name;
        std::function<std::string(const Material&)> key;
        std::function<std::string(const Material&)> signature;
        bool prehashed;
    };
    const auto toCrLf = [](const std::string& text) { return Joined(Lines(text), "\r\n"); };
    const auto withoutLastEnd = [](const std::string& text) {
        return text.substr(0, text.size() - 1);
    };
    const Case cases[] = {
        {"prehashed, bare key line", [](auto& m) { return m.keyALine; },
         [](auto& m) { return m.prehashedA; }, true},
        {"plain, whole .pub file", [](auto& m) { return m.keyAFile; },
         [](auto& m) { return m.plainA; }, false},
        {"prehashed, CR LF everywhere", [&](auto& m) { return toCrLf(m.keyAFile); },
         [&](auto& m) { return toCrLf(m.prehashedA); }, true},
        {"plain, CR LF everywhere", [&](auto& m) { return toCrLf(m.keyAFile); },
         [&](auto& m) { return toCrLf(m.plainA); }, false},
        {"no end after the last lines", [&](auto& m) { return withoutLastEnd(m.keyAFile); },
         [&](auto& m) { return withoutLastEnd(m.prehashedA); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = c.key(m_);
        const std::string signature = c.signature(m_);
        EXPECT_EQ(ParseMinisignSignature(signature).prehashed, c.prehashed);

        const SignatureCheck fromFile = CheckArchiveSignature(key, signature, archive_);
        EXPECT_TRUE(fromFile.ok) << fromFile.reason;
        EXPECT_EQ(fromFile.reason, "");
        EXPECT_EQ(fromFile.trustedComment, kComment);

        const SignatureCheck fromMemory = CheckSignedBytes(key, signature, m_.archive);
        EXPECT_TRUE(fromMemory.ok) << fromMemory.reason;
        EXPECT_EQ(fromMemory.trustedComment, kComment);
    }
}

TEST_F(ArchiveSignatureTest, EmptyArchivesAreSignedLikeOthers) {
    const std::string empty = dir_.file("empty.zip");
    WriteFileBytes(empty, "");
    for (const bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "plain" : "prehashed");
        const std::string signature = Sign(empty, "a", legacy, "empty");
        const SignatureCheck fromFile = CheckArchiveSignature(m_.keyALine, signature, empty);
        EXPECT_TRUE(fromFile.ok) << fromFile.reason;
        EXPECT_TRUE(CheckSignedBytes(m_.keyALine, signature, "").ok);
        EXPECT_FALSE(CheckSignedBytes(m_.keyALine, signature, "x").ok);
    }
}

TEST_F(ArchiveSignatureTest, ForgedOrMismatchedSignaturesAreRefused) {
    struct Case {
        const char* name;
        std::function<std::string(const Material&)> signature;
        std::function<std::string(const Material&)> archive;
        std::function<std::string(const Material&)> reason;
    };
    const auto same = [](const Material& m) { return m.archive; };
    const auto notTheArchive = [](const Material&) {
        return std::string("the signature does not match the archive");
    };
    const auto notTheComment = [](const Material&) {
        return std::string("the signature of the trusted comment does not match");
    };
    const auto withByteFlipped = [](const Material& m) {
        std::string bytes = m.archive;
        bytes[100'000] ^= 0x01;
        return bytes;
    };
    // A's key id on B's signature.
    const auto forgedKeyId = [](const Material& m) {
        const std::string idA = FromBase64(m.keyALine).substr(2, 8);
        return WithBinaryLine(m.prehashedB, 1, [&](std::string& b) { b.replace(2, 8, idA); });
    };
    // The algorithm is not covered by the trusted comment's signature, so
    // only the archive's own check can catch a switched one.
    const auto withAlgorithm = [](const std::string& text, char second) {
        return WithBinaryLine(text, 1, [&](std::string& b) { b[1] = second; });
    };
    const Case cases[] = {
        {"one byte of the archive changed (prehashed)", [](auto& m) { return m.prehashedA; },
         withByteFlipped, notTheArchive},
        {"one byte of the archive changed (plain)", [](auto& m) { return m.plainA; },
         withByteFlipped, notTheArchive},
        {"the archive's last byte missing", [](auto& m) { return m.prehashedA; },
         [](auto& m) { return m.archive.substr(0, m.archive.size() - 1); }, notTheArchive},
        {"a byte added to the archive (plain)", [](auto& m) { return m.plainA; },
         [](auto& m) { return m.archive + '\0'; }, notTheArchive},
        {"the signature of another archive", [](auto& m) { return m.prehashedAOtherArchive; }, same,
         notTheArchive},
        {"signed with another key", [](auto& m) { return m.prehashedB; }, same,
         [](auto& m) {
             return "the archive was signed with another key (key id " + m.keyIdB + ", expected " +
                    m.keyIdA + ")";
         }},
        {"another key's signature under the maker's key id", forgedKeyId, same, notTheArchive},
        {"prehashed signature presented as plain",
         [&](auto& m) { return withAlgorithm(m.prehashedA, 'd'); }, same, notTheArchive},
        {"plain signature presented as prehashed",
         [&](auto& m) { return withAlgorithm(m.plainA, 'D'); }, same, notTheArchive},
        {"trusted comment changed",
         [](auto& m) { return WithLine(m.prehashedA, 2, "trusted comment: release 9"); }, same,
         notTheComment},
        {"trusted comment lengthened",
         [](auto& m) {
             return WithLine(m.prehashedA, 2, "trusted comment: " + std::string(kComment) + " ");
         },
         same, notTheComment},
        {"the comment signature of another comment",
         [](auto& m) { return WithLine(m.prehashedA, 3, Lines(m.prehashedAOtherComment).at(3)); },
         same, notTheComment},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string signature = c.signature(m_);
        const std::string archive = c.archive(m_);
        const std::string path = dir_.file("checked.zip");
        WriteFileBytes(path, archive);

        const SignatureCheck fromFile = CheckArchiveSignature(m_.keyALine, signature, path);
        EXPECT_FALSE(fromFile.ok);
        EXPECT_EQ(fromFile.reason, c.reason(m_));
        EXPECT_EQ(fromFile.trustedComment, "");

        const SignatureCheck fromMemory = CheckSignedBytes(m_.keyALine, signature, archive);
        EXPECT_FALSE(fromMemory.ok);
        EXPECT_EQ(fromMemory.reason, c.reason(m_));
    }
}

TEST_F(ArchiveSignatureTest, BrokenSignatureTextsAreRefusedWithTheFault) {
    struct Case {
        const char* name;
        std::function<std::string(const std::string&)> edit;  // of A's prehashed signature
        const char* fault;
    };
    const auto line = [](size_t index, std::string text) {
        return [index, text](const std::string& s) { return WithLine(s, index, text); };
    };
    const auto binary = [](size_t index, std::function<void(std::string&)> edit) {
        return [index, edit](const std::string& s) { return WithBinaryLine(s, index, edit); };
    };
    const auto firstLines = [](size_t count) {
        return [count](const std::string& s) {
            std::vector<std::string> lines = Lines(s);
            lines.resize(count);
            return Joined(lines);
        };
    };
    const auto text = [](size_t index, const std::function<std::string(std::string)>& edit) {
        return [index, edit](const std::string& s) {
            return WithLine(s, index, edit(Lines(s).at(index)));
        };
    };
    const Case cases[] = {
        {"the last line missing", firstLines(3), "has 3 lines instead of 4"},
        {"only the first line", firstLines(1), "has 1 lines instead of 4"},
        {"an extra line", [](auto& s) { return s + "more\n"; }, "has 5 lines instead of 4"},
        {"an empty line at the end", [](auto& s) { return s + "\n"; }, "has 5 lines instead of 4"},
        {"lines ended by CR alone",
         [](auto& s) {
             std::string t = s;
             for (char& c : t)
                 if (c == '\n') c = '\r';
             return t;
         },
         "holds a CR that does not end a line"},
        {"a NUL in the trusted comment", line(2, std::string("trusted comment: a\0b", 20)),
         "holds a NUL byte"},
        {"no untrusted comment", line(0, "comment: signature"),
         "line 1 does not start with \"untrusted comment: \""},
        {"a blank first line", line(0, ""), "line 1 does not start with \"untrusted comment: \""},
        {"no trusted comment", line(2, "trusted: x"),
         "line 3 does not start with \"trusted comment: \""},
        {"signature line cut short", text(1, [](std::string l) { return l.substr(0, 96); }),
         "line 2 is not the base64 text of 74 bytes"},
        {"signature line with a character that is not base64",
         text(1, [](std::string l) { return l.replace(40, 1, "!"); }),
         "line 2 is not the base64 text of 74 bytes"},
        {"signature line with a space before it", text(1, [](std::string l) { return " " + l; }),
         "line 2 is not the base64 text of 74 bytes"},
        {"signature line without its padding",
         text(1, [](std::string l) { return l.substr(0, l.size() - 1); }),
         "line 2 is not the base64 text of 74 bytes"},
        // The last group carries 2 bits beyond the 74 bytes; set, they would
        // make a second text for the same signature.
        {"signature line with its unused bits set",
         text(1,
              [](std::string l) {
                  const std::string alphabet =
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
                  char& c = l[l.size() - 2];
                  c = alphabet[alphabet.find(c) | 1];
                  return l;
              }),
         "line 2 is not the base64 text of 74 bytes"},
        {"signature of 73 bytes", binary(1, [](std::string& b) { b.pop_back(); }),
         "line 2 is not the base64 text of 74 bytes"},
        {"signature of 75 bytes", binary(1, [](std::string& b) { b.push_back('x'); }),
         "line 2 is not the base64 text of 74 bytes"},
        {"an unknown algorithm", binary(1, [](std::string& b) { b[1] = 'x'; }),
         "the signature's algorithm is neither \"Ed\" nor \"ED\""},
        {"comment signature of 63 bytes", binary(3, [](std::string& b) { b.pop_back(); }),
         "line 4 is not the base64 text of 64 bytes"},
        {"comment signature of 65 bytes", binary(3, [](std::string& b) { b.push_back('x'); }),
         "line 4 is not the base64 text of 64 bytes"},
        {"comment signature empty", line(3, ""), "line 4 is not the base64 text of 64 bytes"},
        {"far too long",
         [](auto& s) { return "untrusted comment: " + std::string(9000, 'x') + "\n" + s; },
         "the signature text is too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string signature = c.edit(m_.prehashedA);
        const std::string fault = SignatureFault(signature);
        EXPECT_NE(fault.find(c.fault), std::string::npos) << "read as: " << fault;
        const SignatureCheck check = CheckArchiveSignature(m_.keyALine, signature, archive_);
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.reason, "the archive's signature is unreadable: " + fault);
    }
}

TEST_F(ArchiveSignatureTest, UnusableKeysAreRefusedWithTheFault) {
    struct Case {
        const char* name;
        std::function<std::string(const Material&)> key;
        const char* fault;
    };
    const Case cases[] = {
        {"the key line cut short", [](auto& m) { return m.keyALine.substr(0, 52); },
         "the key line is not the base64 text of 42 bytes"},
        {"a character that is not base64",
         [](auto& m) { return std::string(m.keyALine).replace(20, 1, "*"); },
         "the key line is not the base64 text of 42 bytes"},
        {"a space after the key line", [](auto& m) { return m.keyALine + " "; },
         "the key line is not the base64 text of 42 bytes"},
        {"41 bytes",
         [](auto& m) {
             std::string b = FromBase64(m.keyALine);
             b.pop_back();
             return ToBase64(b);
         },
         "the key line is not the base64 text of 42 bytes"},
        {"not an Ed25519 key",
         [](auto& m) {
             std::string b = FromBase64(m.keyALine);
             b[1] = 'D';
             return ToBase64(b);
         },
         "the key is not an Ed25519 key"},
        {"a .pub file whose comment lost its prefix",
         [](auto& m) { return "comment\n" + m.keyALine + "\n"; },
         "the key file does not start with \"untrusted comment: \""},
        {"a .pub file with a line more", [](auto& m) { return m.keyAFile + "\n"; },
         "the key text has 3 lines"},
        {"the signature instead of the key", [](auto& m) { return m.prehashedA; },
         "the key text has 4 lines"},
        {"far too long", [](auto&) { return std::string(3000, 'A'); }, "the key text is too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = c.key(m_);
        EXPECT_THROW(ParseMinisignPublicKey(key), EMinisignFormat);
        const SignatureCheck check = CheckArchiveSignature(key, m_.prehashedA, archive_);
        EXPECT_FALSE(check.ok);
        EXPECT_EQ(check.reason.rfind("the update public key is unusable: ", 0), 0u) << check.reason;
        EXPECT_NE(check.reason.find(c.fault), std::string::npos) << check.reason;
    }
}

TEST_F(ArchiveSignatureTest, NoKeyOrNoSignatureRefusesEveryArchive) {
    SignatureCheck check = CheckArchiveSignature("", m_.prehashedA, archive_);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.reason, "no update public key is compiled into the program");
    EXPECT_FALSE(CheckSignedBytes("", m_.prehashedA, m_.archive).ok);

    check = CheckArchiveSignature(m_.keyALine, "", archive_);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.reason, "the archive has no signature");
    EXPECT_FALSE(CheckSignedBytes(m_.keyALine, "", m_.archive).ok);
}

TEST_F(ArchiveSignatureTest, TheCompiledKeyIsEmptyOrUsable) {
    const std::string key = CompiledUpdatePublicKey();
    if (key.empty()) {
        EXPECT_EQ(CheckArchiveSignature(key, m_.prehashedA, archive_).reason,
                  "no update public key is compiled into the program");
    } else {
        EXPECT_NO_THROW(ParseMinisignPublicKey(key));
    }
    // The maker's key never accepts what a test key signed.
    EXPECT_FALSE(CheckArchiveSignature(key, m_.prehashedA, archive_).ok);
}

TEST_F(ArchiveSignatureTest, KeyIdsReadAsMinisignShowsThem) {
    EXPECT_EQ(MinisignKeyIdText(ParseMinisignPublicKey(m_.keyAFile).keyId), m_.keyIdA);
    EXPECT_EQ(MinisignKeyIdText(ParseMinisignSignature(m_.prehashedB).keyId), m_.keyIdB);
    EXPECT_NE(m_.keyIdA, m_.keyIdB);
    // An id whose top digit is 0 (one key in sixteen), as minisign prints it.
    EXPECT_EQ(MinisignKeyIdText({0x5F, 0x1A, 0x1C, 0xFB, 0xA0, 0x11, 0xE3, 0x0A}),
              "AE311A0FB1C1A5F");
    EXPECT_EQ(MinisignKeyIdText({0, 0, 0, 0, 0, 0, 0, 0}), "0");
}

TEST_F(ArchiveSignatureTest, ArchivesThatCannotBeReadAreRefused) {
    struct Case {
        const char* name;
        std::string path;
        std::string reason;
    };
    const std::string missing = dir_.file("missing.zip");
    const Case cases[] = {
        {"missing", missing,
         "the archive " + missing + " could not be opened: No such file or directory"},
        {"a folder", dir_.dir(), "the archive " + dir_.dir() + " is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string* signature : {&m_.prehashedA, &m_.plainA}) {
            const SignatureCheck check = CheckArchiveSignature(m_.keyALine, *signature, c.path);
            EXPECT_FALSE(check.ok);
            EXPECT_EQ(check.reason, c.reason);
        }
    }
}

TEST_F(ArchiveSignatureTest, APlainSignatureOverAnArchiveTooLargeToHoldIsRefused) {
    // Sparse: it takes no room, and is refused before it is read.
    const std::string huge = dir_.file("huge.zip");
    WriteFileBytes(huge, "");
    std::filesystem::resize_file(huge, kMaxPlainSignedSize + 1);
    const SignatureCheck check = CheckArchiveSignature(m_.keyALine, m_.plainA, huge);
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.reason, "the archive is too large for a plain (not prehashed) signature");
}

}  // namespace
}  // namespace zt
