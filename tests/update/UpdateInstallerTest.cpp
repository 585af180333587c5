// Installing an extracted update over a program folder, the backup names,
// and the purge of the update folder. Folders stand in where a rename or a
// deletion must fail: a non-empty folder can be neither deleted as a file
// nor replaced by one, for root as for anyone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "support/FileSystemLimits.h"
#include "support/TempDir.h"
#include "support/UpdateFixtures.h"
#include "update/UpdateInstaller.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::FileMode;
using test::FolderTree;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(BackupNameTest, InsertsTheSuffixBeforeTheExtensionOfTheLastComponent) {
    struct Case {
        const char* target;
        int which;
        const char* backup;
    };
    const Case cases[] = {
        {"/opt/zt/logo.jpeg", 0, "/opt/zt/logo-old.jpeg"},
        {"/opt/zt/readme", 0, "/opt/zt/readme-old"},
        {"/opt/zt/ZeltaTresona", 1, "/opt/zt/ZeltaTresona-old1"},
        {"/opt/zt/lang/pt.lcf", 1, "/opt/zt/lang/pt-old1.lcf"},
        {"/opt/zt/a.tar.gz", 0, "/opt/zt/a.tar-old.gz"},
        {"/opt/zt.d/readme", 0, "/opt/zt.d/readme-old"},
        {"/opt/zt/name.", 0, "/opt/zt/name-old."},
        {"/opt/zt/.hidden", 0, "/opt/zt/-old.hidden"},
        {"plain", 0, "plain-old"},
    };
    for (const Case& c : cases) EXPECT_EQ(BackupName(c.target, c.which), c.backup) << c.target;
}

class UpdateInstallerTest : public ::testing::Test {
protected:
    UpdateInstallerTest() {
        fs::create_directory(update_);
        fs::create_directory(program_);
    }

    // Writes `content` at `path` (folders created) with `mode`.
    static void Put(const std::string& path, const std::string& content, mode_t mode = 0644) {
        fs::create_directories(fs::path(path).parent_path());
        WriteFileBytes(path, content);
        chmod(path.c_str(), mode);
    }
    // A folder where a deletion or rename of a file must fail.
    static void Block(const std::string& path) { Put(path + "/keep", "keep"); }

    void Install() { InstallFiles(update_, update_, program_); }

    TempDir dir_;
    const std::string update_ = dir_.dir() + "atualizacoes/";
    const std::string program_ = dir_.dir() + "programa/";
};

TEST_F(UpdateInstallerTest, ReplacesFilesKeepingBackupsAndModes) {
    Put(program_ + "ZeltaTresona", "old program", 0755);
    Put(program_ + "readme", "old readme");
    Put(program_ + "logo.jpeg", "old logo");
    Put(program_ + "logo-old.jpeg", "older logo");
    Put(program_ + "lang/pt.lcf", "old pt");
    Put(update_ + "ZeltaTresona", "new program", 0644);
    Put(update_ + "readme", "new readme");
    Put(update_ + "logo.jpeg", "new logo");
    Put(update_ + "novo.txt", "new file", 0600);
    Put(update_ + "lang/pt.lcf", "new pt");
    Put(update_ + "lang/en.lcf", "new en", 0640);
    // Not installed: archives (any case) and files for folders the
    // installation lacks, whose folders are not created either.
    Put(update_ + "atualizacao.zip", "zip");
    Put(update_ + "Pacote.ZiP", "zip");
    Put(update_ + "lang/extra.Zip", "zip");
    Put(update_ + "plugins/p.so", "plugin");
    Put(update_ + "plugins/deeper/q.so", "plugin");

    Install();

    EXPECT_EQ(ReadFileBytes(program_ + "ZeltaTresona"), "new program");
    EXPECT_EQ(FileMode(program_ + "ZeltaTresona"), 0755u);
    EXPECT_EQ(ReadFileBytes(program_ + "ZeltaTresona-old"), "old program");
    EXPECT_EQ(ReadFileBytes(program_ + "readme-old"), "old readme");
    EXPECT_EQ(ReadFileBytes(program_ + "logo-old.jpeg"), "old logo");
    EXPECT_EQ(ReadFileBytes(program_ + "novo.txt"), "new file");
    EXPECT_EQ(FileMode(program_ + "novo.txt"), 0600u);
    EXPECT_EQ(ReadFileBytes(program_ + "lang/pt.lcf"), "new pt");
    EXPECT_EQ(ReadFileBytes(program_ + "lang/pt-old.lcf"), "old pt");
    EXPECT_EQ(FileMode(program_ + "lang/en.lcf"), 0640u);
    EXPECT_EQ(FolderTree(program_),
              (std::set<std::string>{"ZeltaTresona", "ZeltaTresona-old", "readme", "readme-old",
                                     "logo.jpeg", "logo-old.jpeg", "novo.txt", "lang",
                                     "lang/pt.lcf", "lang/pt-old.lcf", "lang/en.lcf"}));
}

TEST_F(UpdateInstallerTest, TheSecondBackupNameServesWhenTheFirstIsTaken) {
    Put(program_ + "a.txt", "v2");
    Block(program_ + "a-old.txt");
    Put(program_ + "a-old1.txt", "v1");
    Put(update_ + "a.txt", "v3");

    Install();

    EXPECT_EQ(ReadFileBytes(program_ + "a.txt"), "v3");
    EXPECT_EQ(ReadFileBytes(program_ + "a-old1.txt"), "v2");
    EXPECT_EQ(ReadFileBytes(program_ + "a-old.txt/keep"), "keep");
}

// Within a folder files go by name; the update stops at the file that
// cannot be moved aside, keeping what was replaced before it.
TEST_F(UpdateInstallerTest, AFileThatCannotBeMovedAsideCancelsTheRest) {
    for (const char* name : {"0.txt", "a.txt", "b.txt", "lang/x.txt"}) {
        Put(program_ + name, "old");
        Put(update_ + name, "new");
    }
    Block(program_ + "a-old.txt");
    Block(program_ + "a-old1.txt");
    const std::set<std::string> before = FolderTree(program_);

    try {
        Install();
        FAIL() << "not cancelled";
    } catch (const EUpdateCancelled& e) {
        EXPECT_STREQ(e.what(), "Atualização cancelada");
    }

    EXPECT_EQ(ReadFileBytes(program_ + "0.txt"), "new");
    EXPECT_EQ(ReadFileBytes(program_ + "a.txt"), "old");
    EXPECT_EQ(ReadFileBytes(program_ + "b.txt"), "old");
    EXPECT_EQ(ReadFileBytes(program_ + "lang/x.txt"), "old");
    std::set<std::string> expected = before;
    expected.insert("0-old.txt");
    EXPECT_EQ(FolderTree(program_), expected);  // nothing half-written left behind
}

// The files of a folder come before its sub-folders whatever their names;
// each sub-folder is finished before the next one.
TEST_F(UpdateInstallerTest, FilesBeforeSubFoldersDepthFirst) {
    for (const char* name : {"zz.txt", "a/sub/x.txt", "b/y.txt", "c/z.txt"}) {
        Put(program_ + name, "old");
        Put(update_ + name, "new");
    }
    Block(program_ + "b/y-old.txt");
    Block(program_ + "b/y-old1.txt");

    EXPECT_THROW(Install(), EUpdateCancelled);

    EXPECT_EQ(ReadFileBytes(program_ + "zz.txt"), "new");
    EXPECT_EQ(ReadFileBytes(program_ + "a/sub/x.txt"), "new");
    EXPECT_EQ(ReadFileBytes(program_ + "b/y.txt"), "old");
    EXPECT_EQ(ReadFileBytes(program_ + "c/z.txt"), "old");
}

TEST_F(UpdateInstallerTest, ASubFolderOfTheUpdateInstallsIntoItsOwnPlace) {
    Put(update_ + "top.txt", "new");
    Put(update_ + "lang/x.txt", "new");
    fs::create_directory(program_ + "lang");

    InstallFiles(update_ + "lang/", update_, program_);

    EXPECT_EQ(ReadFileBytes(program_ + "lang/x.txt"), "new");
    EXPECT_FALSE(fs::exists(program_ + "top.txt"));
    EXPECT_FALSE(fs::exists(program_ + "x.txt"));
}

// A copy that fails half-way (the drive is full) leaves the file it was to
// replace in place, and no temporary file behind.
TEST_F(UpdateInstallerTest, AFailedCopyKeepsTheOriginal) {
    const std::string big(256 * 1024, 'n');
    for (const bool tmpfs : {false, true}) {
        SCOPED_TRACE(tmpfs ? "full drive" : "file size limit");
        TempDir dir;
        const std::string update = dir.dir() + "update/";
        const std::string program = dir.dir() + "program/";
        std::unique_ptr<test::TinyTmpfs> full;
        if (tmpfs) {
            full = std::make_unique<test::TinyTmpfs>(dir.dir() + "program", "64k");
            if (!full->Mounted()) {
                std::cout << "full drive case skipped: " << full->Error() << "\n";
                continue;
            }
        }
        Put(program + "ZeltaTresona", "old program", 0755);
        Put(update + "ZeltaTresona", big);
        Put(update + "novo.bin", big);
        std::unique_ptr<test::FileSizeLimit> limit;
        if (!tmpfs) {
            limit = std::make_unique<test::FileSizeLimit>(64 * 1024);
            ASSERT_TRUE(limit->Active());
        }

        // The replacement first ("Z" sorts before "n"), then the new file.
        for (const char* name : {"ZeltaTresona", "novo.bin"}) {
            try {
                InstallFiles(update, update, program);
                ADD_FAILURE() << name << ": a copy that could not be written succeeded";
            } catch (const EUpdateInstall& e) {
                EXPECT_NE(std::string(e.what()).find(program + name), std::string::npos)
                    << e.what();
            }
            fs::remove(update + name);
        }
        limit.reset();

        EXPECT_EQ(ReadFileBytes(program + "ZeltaTresona"), "old program");
        EXPECT_EQ(FileMode(program + "ZeltaTresona"), 0755u);
        const std::set<std::string> left = FolderTree(program);
        EXPECT_TRUE(left == std::set<std::string>{"ZeltaTresona"} ||
                    left == (std::set<std::string>{"ZeltaTresona", "ZeltaTresona-old"}))
            << ::testing::PrintToString(left);
    }
}

TEST(ListSubfoldersTest, ListsFoldersOnlySorted) {
    TempDir dir;
    fs::create_directories(dir.file("f/b/inner"));
    fs::create_directories(dir.file("f/a"));
    fs::create_directories(dir.file("f/.hidden"));
    WriteFileBytes(dir.file("f/c"), "file");
    fs::create_directory_symlink(dir.file("f/a"), dir.file("f/link"));

    EXPECT_EQ(ListSubfolders(dir.file("f/")), (std::vector<std::string>{".hidden", "a", "b"}));
    EXPECT_TRUE(ListSubfolders(dir.file("missing/")).empty());
}

TEST(PurgeFolderTest, EmptiesNestedFoldersWithoutFollowingLinks) {
    TempDir dir;
    const std::string folder = dir.dir() + "atualizacoes/";
    fs::create_directories(folder + "a/b/c");
    fs::create_directories(folder + "empty");
    WriteFileBytes(folder + "atualizacao.zip", "zip");
    WriteFileBytes(folder + ".hidden", "h");
    WriteFileBytes(folder + "a/b/c/deep.txt", "deep");
    WriteFileBytes(folder + "a/top.txt", "top");
    fs::create_directories(dir.file("outside/inner"));
    WriteFileBytes(dir.file("outside/precious.txt"), "precious");
    WriteFileBytes(dir.file("outside/inner/also.txt"), "also");
    fs::create_directory_symlink(dir.file("outside"), folder + "linked-folder");
    fs::create_directory_symlink(dir.file("outside"), folder + "a/b/linked-folder");
    fs::create_symlink(dir.file("outside/precious.txt"), folder + "linked-file");

    PurgeFolder(folder);

    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(FolderTree(dir.file("outside")),
              (std::set<std::string>{"precious.txt", "inner", "inner/also.txt"}));
}

}  // namespace
}  // namespace zt
