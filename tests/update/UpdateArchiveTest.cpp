// Extraction of the update archive: the archives are made here with the zip
// library itself, including the hostile names and attributes it lets one
// write, and the refused ones must leave the destination untouched.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateArchive.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::FileMode;
using test::FolderTree;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using test::WriteZip;
using test::ZipEntry;
using test::ZipFile;
using test::ZipFolder;

uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}

// --- Entry names ----------------------------------------------------------

TEST(CheckEntryNameTest, AcceptsNamesThatStayInside) {
    for (const char* name : {"ZeltaTresona", "lang/x.txt", "lang/", "a/./b", "./a", "./", "...",
                             "a..b", "..a", "a/..b/c", "lang\\x.txt", "1:x", "a/C:x", "a//b"}) {
        EXPECT_EQ(CheckEntryName(name), "") << name;
    }
}

TEST(CheckEntryNameTest, RefusesNamesThatLeaveOrNameNoFile) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},       {std::string("a\0b", 3), "NUL"},
        {"/x", "absolute"},  {"/", "absolute"},
        {"\\x", "absolute"}, {"..", ".."},
        {"../", ".."},       {"../x", ".."},
        {"a/..", ".."},      {"a/../../x", ".."},
        {"..\\x", ".."},     {"a\\..\\..\\x", ".."},
        {"a/..\\x", ".."},   {"C:x", "drive"},
        {"c:\\x", "drive"},  {"Z:", "drive"},
        {".", "no file"},    {"a/.", "no file"},
    };
    for (const auto& [name, reason] : cases) {
        const std::string text = CheckEntryName(name);
        EXPECT_NE(text.find(reason), std::string::npos) << "\"" << name << "\": " << text;
    }
}

// --- Extraction ---------------------------------------------------------

TEST(ExtractUpdateArchiveTest, ExtractsFilesFoldersAndModesBesideTheArchive) {
    TempDir dir;
    // As in the program: the archive lies in the folder it is extracted to.
    const std::string dest = dir.dir() + "atualizacoes/";
    fs::create_directory(dest);
    std::string big;
    for (int i = 0; big.size() < 300000; ++i) big += std::to_string(i * 7919 % 100003) + ",";
    std::vector<ZipEntry> entries = {
        ZipFile("ZeltaTresona", "new program", S_IFREG | 0755),
        ZipFolder("lang/"),
        ZipFile("lang/x.txt", "texto"),
        ZipFile("inner.ZIP", "PK not really"),
        ZipFolder("vazia/"),
        ZipFile("sons\\win.txt", "from Windows"),
        ZipFile("deep/er/big.bin", big),
    };
    WriteZip(dest + "atualizacao.zip", entries);
    const std::string archiveBytes = ReadFileBytes(dest + "atualizacao.zip");

    ExtractUpdateArchive(dest + "atualizacao.zip", dest);

    EXPECT_EQ(ReadFileBytes(dest + "ZeltaTresona"), "new program");
    EXPECT_EQ(FileMode(dest + "ZeltaTresona"), 0755u);
    EXPECT_EQ(ReadFileBytes(dest + "lang/x.txt"), "texto");
    EXPECT_EQ(FileMode(dest + "lang/x.txt"), 0644u);
    EXPECT_EQ(ReadFileBytes(dest + "inner.ZIP"), "PK not really");
    EXPECT_TRUE(fs::is_directory(dest + "vazia"));
    EXPECT_EQ(ReadFileBytes(dest + "sons/win.txt"), "from Windows");
    EXPECT_EQ(ReadFileBytes(dest + "deep/er/big.bin"), big);
    EXPECT_EQ(ReadFileBytes(dest + "atualizacao.zip"), archiveBytes);
    EXPECT_EQ(FolderTree(dest),
              (std::set<std::string>{"ZeltaTresona", "lang", "lang/x.txt", "inner.ZIP", "vazia",
                                     "sons", "sons/win.txt", "deep", "deep/er", "deep/er/big.bin",
                                     "atualizacao.zip"}));
}

TEST(ExtractUpdateArchiveTest, FileModesComeFromUnixBitsWithoutSpecialBits) {
    struct Case {
        const char* name;
        uint32_t unixMode;
        bool dos;
        mode_t expected;
    };
    const Case cases[] = {
        {"exe", S_IFREG | 0755, false, 0755},
        {"private", S_IFREG | 0600, false, 0600},
        {"setuid", S_IFREG | 04755, false, 0755},
        {"sticky", S_IFREG | 01777, false, 0777},
        {"setgid", S_IFREG | 02640, false, 0640},
        {"nobits", S_IFREG, false, 0644},
        {"dos", 0, true, 0644},
    };
    TempDir dir;
    std::vector<ZipEntry> entries;
    for (const Case& c : cases) {
        ZipEntry e = ZipFile(c.name, c.name, c.unixMode);
        e.madeOnDos = c.dos;
        entries.push_back(e);
    }
    WriteZip(dir.file("a.zip"), entries);
    fs::create_directory(dir.file("dest"));
    // Modes are set as they are, whatever the process's umask.
    const mode_t saved = umask(077);
    ExtractUpdateArchive(dir.file("a.zip"), dir.file("dest"));
    umask(saved);
    for (const Case& c : cases) {
        EXPECT_EQ(FileMode(dir.file("dest/") + c.name), c.expected) << c.name;
    }
}

TEST(ExtractUpdateArchiveTest, ReplacesFilesWithoutWritingThroughLinks) {
    TempDir dir;
    const std::string dest = dir.dir() + "dest/";
    fs::create_directories(dest + "lang");
    WriteFileBytes(dest + "longer.txt", "an older and longer text");
    chmod((dest + "longer.txt").c_str(), 0600);
    // A hard link and a symbolic link to files outside: both are replaced
    // by the entry; what they lead to stays as it was.
    WriteFileBytes(dir.file("outside-hard"), "outside");
    fs::create_hard_link(dir.file("outside-hard"), dest + "hard.txt");
    WriteFileBytes(dir.file("outside-soft"), "outside");
    fs::create_symlink(dir.file("outside-soft"), dest + "lang/soft.txt");
    WriteZip(dir.file("a.zip"), {ZipFile("longer.txt", "new"), ZipFile("hard.txt", "new hard"),
                                 ZipFile("lang/soft.txt", "new soft")});

    ExtractUpdateArchive(dir.file("a.zip"), dest);

    EXPECT_EQ(ReadFileBytes(dest + "longer.txt"), "new");
    EXPECT_EQ(FileMode(dest + "longer.txt"), 0644u);
    EXPECT_EQ(ReadFileBytes(dest + "hard.txt"), "new hard");
    EXPECT_EQ(ReadFileBytes(dir.file("outside-hard")), "outside");
    EXPECT_FALSE(fs::is_symlink(dest + "lang/soft.txt"));
    EXPECT_EQ(ReadFileBytes(dest + "lang/soft.txt"), "new soft");
    EXPECT_EQ(ReadFileBytes(dir.file("outside-soft")), "outside");
}

TEST(ExtractUpdateArchiveTest, ALinkWhereAFolderGoesIsRefusedAndNotFollowed) {
    TempDir dir;
    const std::string dest = dir.dir() + "dest/";
    fs::create_directories(dest);
    fs::create_directories(dir.file("outside"));
    fs::create_directory_symlink(dir.file("outside"), dest + "lang");
    WriteZip(dir.file("a.zip"), {ZipFile("lang/x.txt", "x"), ZipFile("lang/sub/y.txt", "y")});

    try {
        ExtractUpdateArchive(dir.file("a.zip"), dest);
        FAIL() << "a link in the destination was followed";
    } catch (const EUpdateArchive& e) {
        EXPECT_NE(std::string(e.what()).find("lang/x.txt"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(dir.file("outside")));
}

// Each archive starts with acceptable entries, so an extraction that checked
// as it went would have written them before reaching the refused one.
TEST(ExtractUpdateArchiveTest, RefusedArchivesWriteNothing) {
    struct Case {
        const char* label;
        std::vector<ZipEntry> bad;
        ArchiveLimits limits;
        const char* message;  // part of the error text
    };
    ZipEntry link = ZipFile("link", "/etc/passwd", S_IFLNK | 0777);
    ZipEntry fifo = ZipFile("pipe", "", S_IFIFO | 0644);
    const std::string sixty(60, 'x');
    const Case cases[] = {
        {"parent", {ZipFile("../x", "x")}, {}, "\"../x\""},
        {"absolute", {ZipFile("/zt-update-test-abs/x", "x")}, {}, "absolute"},
        {"parent inside", {ZipFile("a/../../x", "x")}, {}, "\"a/../../x\""},
        {"backslash parent", {ZipFile("..\\x", "x")}, {}, ".."},
        {"drive", {ZipFile("C:x", "x")}, {}, "drive"},
        {"symbolic link", {link}, {}, "\"link\": it is a symbolic link"},
        {"fifo", {fifo}, {}, "\"pipe\""},
        {"file where a folder was", {ZipFile("sub", "x")}, {}, "\"sub\""},
        {"file where an empty folder was",
         {ZipFolder("empty/"), ZipFile("empty", "x")},
         {},
         "\"empty\""},
        {"folder where a file was", {ZipFile("f", "x"), ZipFile("f/y", "y")}, {}, "\"f\""},
        {"total size", {ZipFile("b", sixty), ZipFile("c", sixty)}, {130, 100}, "\"c\""},
        {"entry count", {ZipFile("b", "b")}, {1u << 20, 3}, "4 entries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const std::string dest = dir.dir() + "dest/";
        fs::create_directory(dest);
        std::vector<ZipEntry> entries = {ZipFile("first.txt", "first"), ZipFolder("sub/"),
                                         ZipFile("sub/second.txt", "second")};
        entries.insert(entries.end(), c.bad.begin(), c.bad.end());
        WriteZip(dir.file("a.zip"), entries);

        try {
            ExtractUpdateArchive(dir.file("a.zip"), dest, c.limits);
            ADD_FAILURE() << "accepted";
        } catch (const EUpdateArchive& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_EQ(FolderTree(dir.path()), (std::set<std::string>{"a.zip", "dest"}));
    }
    EXPECT_FALSE(fs::exists("/zt-update-test-abs"));
}

TEST(ExtractUpdateArchiveTest, WithinTheLimitsIsAccepted) {
    TempDir dir;
    fs::create_directory(dir.file("dest"));
    WriteZip(dir.file("a.zip"), {ZipFile("a", std::string(60, 'a')), ZipFolder("f/"),
                                 ZipFile("b", std::string(40, 'b'))});
    ExtractUpdateArchive(dir.file("a.zip"), dir.file("dest"), {100, 3});
    EXPECT_EQ(ReadFileBytes(dir.file("dest/b")), std::string(40, 'b'));
}

TEST(ExtractUpdateArchiveTest, MissingOrForeignArchivesAreErrors) {
    TempDir dir;
    fs::create_directory(dir.file("dest"));
    WriteFileBytes(dir.file("text.zip"), "this is not an archive at all");
    WriteFileBytes(dir.file("empty.zip"), "");
    // Only the end record (the zip library deletes an archive left empty).
    WriteFileBytes(dir.file("no-entries.zip"), std::string("PK\5\6") + std::string(18, '\0'));
    for (const char* name : {"text.zip", "empty.zip", "no-entries.zip", "missing.zip"}) {
        try {
            ExtractUpdateArchive(dir.file(name), dir.file("dest"));
            ADD_FAILURE() << name << " accepted";
        } catch (const EUpdateArchive& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.file("dest")));
}

TEST(ExtractUpdateArchiveTest, DamagedDataIsAnError) {
    TempDir dir;
    fs::create_directory(dir.file("dest"));
    ZipEntry e = ZipFile("a.txt", "the quick brown fox jumps over the lazy dog");
    e.stored = true;
    WriteZip(dir.file("a.zip"), {e});
    std::string bytes = ReadFileBytes(dir.file("a.zip"));
    const size_t data = bytes.find("quick");
    ASSERT_NE(data, std::string::npos);
    bytes[data] = 'Q';
    WriteFileBytes(dir.file("a.zip"), bytes);

    try {
        ExtractUpdateArchive(dir.file("a.zip"), dir.file("dest"));
        FAIL() << "damaged data accepted";
    } catch (const EUpdateArchive& e) {
        EXPECT_NE(std::string(e.what()).find("\"a.txt\""), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(dir.file("dest")));
}

// The headers state a size other than what the data unpacks to: the
// extraction stops (the total limit is checked against the declared sizes,
// so more bytes than declared must not pass) and leaves no partial file.
TEST(ExtractUpdateArchiveTest, ASizeHeaderThatLiesIsAnError) {
    const std::string real(20000, 'z');
    // The zip library hands out all 20000 bytes either way: stopping at
    // the first byte too many is the extraction's own doing.
    const std::pair<uint32_t, const char*> cases[] = {
        {100, "\"big.txt\": it holds more bytes than its header declares"},
        {40000, "\"big.txt\": it holds fewer bytes than its header declares"},
    };
    for (const auto& [declared, message] : cases) {
        SCOPED_TRACE(declared);
        TempDir dir;
        fs::create_directory(dir.file("dest"));
        WriteZip(dir.file("a.zip"), {ZipFile("big.txt", real)});
        std::string bytes = ReadFileBytes(dir.file("a.zip"));
        // The uncompressed size in the local header and in the central
        // directory (the archive holds one entry).
        ASSERT_EQ(bytes.compare(0, 4, "PK\3\4"), 0);
        ASSERT_EQ(Get32(bytes, 22), real.size());
        Put32(bytes, 22, declared);
        const size_t central = bytes.find("PK\1\2");
        ASSERT_NE(central, std::string::npos);
        ASSERT_EQ(Get32(bytes, central + 24), real.size());
        Put32(bytes, central + 24, declared);
        WriteFileBytes(dir.file("a.zip"), bytes);

        try {
            ExtractUpdateArchive(dir.file("a.zip"), dir.file("dest"));
            ADD_FAILURE() << "accepted";
        } catch (const EUpdateArchive& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
        EXPECT_TRUE(fs::is_empty(dir.file("dest")));  // no partial file left
    }
}

// --- The in-memory check ------------------------------------------------

TEST(CheckArchiveBytesTest, ChecksAsTheExtractionDoes) {
    TempDir dir;
    WriteZip(dir.file("good.zip"), {ZipFile("a/b.txt", "b"), ZipFolder("c/")});
    WriteZip(dir.file("bad.zip"), {ZipFile("a/../../b.txt", "b")});
    const std::string good = ReadFileBytes(dir.file("good.zip"));
    const std::string bad = ReadFileBytes(dir.file("bad.zip"));

    EXPECT_NO_THROW(CheckArchiveBytes(good.data(), good.size()));
    EXPECT_THROW(CheckArchiveBytes(good.data(), good.size(), {0, 10}), EUpdateArchive);
    EXPECT_THROW(CheckArchiveBytes(bad.data(), bad.size()), EUpdateArchive);
    EXPECT_THROW(CheckArchiveBytes(good.data(), good.size() / 2), EUpdateArchive);
    EXPECT_THROW(CheckArchiveBytes("", 0), EUpdateArchive);
}

}  // namespace
}  // namespace zt
