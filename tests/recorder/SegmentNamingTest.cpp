// Segment names, and finishing a segment: rename without replacing, backup
// copy, export hand-off. Real files in a temporary folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "recorder/SegmentFiles.h"
#include "settings/RecorderSettings.h"
#include "support/FileSystemLimits.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

TDateTime At(int day, int hour, int minute, int second) {
    return EncodeDateTime(2012, 12, day, hour, minute, second);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SegmentFilesTest : public ::testing::Test {
protected:
    SegmentFilesTest() {
        local = (dir.path() / "rec").string();
        backup = (dir.path() / "copia").string();
        fs::create_directory(local);
        fs::create_directory(backup);
        settings.Local = local;
        settings.Copia = "N";
        settings.LocalCopia = backup;
        settings.Crowley = "N";
    }

    // Starts a segment at `start` the way the recorder does: name it, then
    // let the encoder write (and truncate) the file.
    SegmentFile Start(TDateTime start, const std::string& audio) {
        SegmentFile segment = PrepareSegmentFile(settings.Local, start);
        WriteFileBytes(segment.ProvisionalPath(), audio);
        return segment;
    }

    SegmentFinish Finish(const SegmentFile& segment, TDateTime end) {
        return FinishSegment(segment, SegmentStamp(end), settings,
                             [this](const std::string& path) { exported.push_back(path); });
    }

    test::TempDir dir;
    std::string local, backup;
    RecorderSettings settings;
    std::vector<std::string> exported;
};

TEST_F(SegmentFilesTest, NamesCarryStartThenStartAndEnd) {
    struct Case {
        TDateTime start, end;
        const char* provisional;
        const char* final;
    };
    const Case cases[] = {
        {At(8, 15, 30, 12), At(8, 15, 40, 12), "0812121530.mp3", "0812121530a0812121540.mp3"},
        {At(8, 15, 30, 12), At(8, 15, 34, 50), "0812121530.mp3", "0812121530a0812121534.mp3"},
        {At(8, 23, 50, 0), At(9, 0, 0, 5), "0812122350.mp3", "0812122350a0912120000.mp3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.final);
        test::TempDir folder;
        settings.Local = folder.path().string();
        const SegmentFile segment = Start(c.start, "audio");
        EXPECT_EQ(segment.ProvisionalPath(), settings.Local + "/" + c.provisional);

        const SegmentFinish done = Finish(segment, c.end);
        EXPECT_EQ(done.rename, SegmentRename::Renamed);
        EXPECT_EQ(done.finalPath, settings.Local + "/" + c.final);
        EXPECT_EQ(Names(settings.Local), std::vector<std::string>{c.final});
        EXPECT_EQ(ReadFileBytes(done.finalPath), "audio");
    }
}

TEST_F(SegmentFilesTest, RotationChainsEndStampIntoNextStart) {
    // The rotation names the new segment before it finishes the old one.
    SegmentFile first = Start(At(8, 15, 30, 12), "one");
    SegmentFile second = Start(At(8, 15, 40, 12), "two");
    Finish(first, At(8, 15, 40, 12));
    SegmentFile third = Start(At(8, 15, 50, 13), "three");
    Finish(second, At(8, 15, 50, 13));
    Finish(third, At(8, 15, 55, 0));
    EXPECT_EQ(Names(local),
              (std::vector<std::string>{"0812121530a0812121540.mp3", "0812121540a0812121550.mp3",
                                        "0812121550a0812121555.mp3"}));
    EXPECT_EQ(ReadFileBytes(local + "/0812121540a0812121550.mp3"), "two");
}

TEST_F(SegmentFilesTest, StopsAndStartsInOneMinuteFinishEverySegment) {
    // First stop: renamed, so the second start may reuse the plain name.
    const SegmentFile one = Start(At(8, 15, 30, 2), "one");
    EXPECT_EQ(Finish(one, At(8, 15, 30, 10)).rename, SegmentRename::Renamed);
    const SegmentFile two = Start(At(8, 15, 30, 20), "two");
    EXPECT_EQ(two.ProvisionalName(), "0812121530.mp3");

    // Second stop: its final name is the first segment's, so it takes the
    // next free suffix, and is copied and exported under it.
    settings.Copia = "S";
    settings.Crowley = "S";
    const SegmentFinish twoDone = Finish(two, At(8, 15, 30, 30));
    EXPECT_EQ(twoDone.rename, SegmentRename::Renamed);
    EXPECT_EQ(twoDone.finalPath, local + "/0812121530a0812121530-2.mp3");
    EXPECT_EQ(twoDone.copy, SegmentCopy::Copied);
    EXPECT_EQ(exported, std::vector<std::string>{twoDone.finalPath});
    EXPECT_EQ(Names(backup), std::vector<std::string>{"0812121530a0812121530-2.mp3"});

    // A third segment of that minute, named while "-2" is a provisional
    // file nobody finished (a crash): its own suffix is "-2", so its final
    // name skips to "-3".
    WriteFileBytes(local + "/0812121530.mp3", "left over");
    const SegmentFile three = Start(At(8, 15, 30, 40), "three");
    EXPECT_EQ(three.ProvisionalName(), "0812121530-2.mp3");
    const SegmentFinish threeDone = Finish(three, At(8, 15, 30, 50));
    EXPECT_EQ(threeDone.rename, SegmentRename::Renamed);
    EXPECT_EQ(threeDone.finalPath, local + "/0812121530a0812121530-3.mp3");

    EXPECT_EQ(Names(local), (std::vector<std::string>{
                                "0812121530.mp3", "0812121530a0812121530-2.mp3",
                                "0812121530a0812121530-3.mp3", "0812121530a0812121530.mp3"}));
    EXPECT_EQ(ReadFileBytes(local + "/0812121530a0812121530.mp3"), "one");
    EXPECT_EQ(ReadFileBytes(local + "/0812121530a0812121530-2.mp3"), "two");
    EXPECT_EQ(ReadFileBytes(local + "/0812121530a0812121530-3.mp3"), "three");
    EXPECT_EQ(ReadFileBytes(local + "/0812121530.mp3"), "left over");
}

TEST_F(SegmentFilesTest, NewSegmentNamedBeforeOldOneIsFinishedGetsItsOwnName) {
    // A rotation in the minute its segment started: the old provisional file
    // is closed but not yet renamed when the new one is named.
    const SegmentFile old = Start(At(8, 15, 30, 2), "old");
    const SegmentFile next = Start(At(8, 15, 30, 40), "new");
    EXPECT_NE(next.ProvisionalPath(), old.ProvisionalPath());
    EXPECT_EQ(Finish(old, At(8, 15, 30, 40)).rename, SegmentRename::Renamed);
    EXPECT_EQ(ReadFileBytes(local + "/0812121530a0812121530.mp3"), "old");
    EXPECT_EQ(ReadFileBytes(next.ProvisionalPath()), "new");
}

TEST_F(SegmentFilesTest, TakenProvisionalNamesIncludeFoldersAndDanglingLinks) {
    fs::create_directory(local + "/0812121530.mp3");
    ASSERT_EQ(::symlink("/nonexistent/target", (local + "/0812121530-2.mp3").c_str()), 0);
    const SegmentFile segment = PrepareSegmentFile(local, At(8, 15, 30, 12));
    EXPECT_EQ(segment.ProvisionalName(), "0812121530-3.mp3");
    // A folder under a provisional name is never renamed as a segment.
    const SegmentFile plain{local, "0812121530", ""};
    EXPECT_EQ(FinishSegment(plain, "0812121540", settings).rename, SegmentRename::SourceMissing);
    EXPECT_TRUE(fs::is_directory(local + "/0812121530.mp3"));
}

TEST_F(SegmentFilesTest, SegmentFinishesInTheFolderItWasStartedIn) {
    const std::string moved = (dir.path() / "novo").string();
    fs::create_directory(moved);
    const SegmentFile running = Start(At(8, 15, 30, 12), "old folder");
    settings.Local = moved;

    const SegmentFile next = Start(At(8, 15, 40, 12), "new folder");
    const SegmentFinish done = Finish(running, At(8, 15, 40, 12));
    EXPECT_EQ(done.rename, SegmentRename::Renamed);
    EXPECT_EQ(done.finalPath, local + "/0812121530a0812121540.mp3");
    EXPECT_EQ(Names(local), std::vector<std::string>{"0812121530a0812121540.mp3"});
    EXPECT_EQ(next.ProvisionalPath(), moved + "/0812121540.mp3");
    EXPECT_EQ(Names(moved), std::vector<std::string>{"0812121540.mp3"});
}

TEST_F(SegmentFilesTest, BackupCopyFollowsCopiaAndReplacesAnOlderCopy) {
    struct Case {
        const char* copia;
        SegmentCopy expected;
        bool copyPresent;
    };
    const Case cases[] = {
        {"S", SegmentCopy::Copied, true},
        {"N", SegmentCopy::NotWanted, false},
        {"s", SegmentCopy::NotWanted, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.copia);
        fs::remove_all(backup);
        fs::create_directory(backup);
        // A stale copy of that name from an earlier run.
        WriteFileBytes(backup + "/0812121530a0812121540.mp3", "stale");
        settings.Copia = c.copia;
        const SegmentFinish done = Finish(Start(At(8, 15, 30, 12), "fresh"), At(8, 15, 40, 12));
        EXPECT_EQ(done.rename, SegmentRename::Renamed);
        EXPECT_EQ(done.copy, c.expected);
        EXPECT_EQ(ReadFileBytes(backup + "/0812121530a0812121540.mp3"),
                  c.copyPresent ? "fresh" : "stale");
        EXPECT_EQ(Names(backup), std::vector<std::string>{"0812121530a0812121540.mp3"});
        EXPECT_EQ(ReadFileBytes(done.finalPath), "fresh");
        fs::remove(done.finalPath);
    }
}

TEST_F(SegmentFilesTest, BackupCopyThatCannotBeMadeLeavesTheSegmentAndOldCopy) {
    // Missing backup folder, and no backup folder set at all.
    settings.Copia = "S";
    settings.LocalCopia = (dir.path() / "missing").string();
    SegmentFinish done = Finish(Start(At(8, 15, 30, 12), "a"), At(8, 15, 40, 12));
    EXPECT_EQ(done.rename, SegmentRename::Renamed);
    EXPECT_EQ(done.copy, SegmentCopy::Failed);
    EXPECT_EQ(ReadFileBytes(done.finalPath), "a");

    settings.LocalCopia = "";
    done = Finish(Start(At(8, 15, 50, 12), "b"), At(8, 16, 0, 12));
    EXPECT_EQ(done.copy, SegmentCopy::Skipped);
    EXPECT_TRUE(done.copyPath.empty());
}

TEST_F(SegmentFilesTest, BackupDriveFullKeepsTheOlderCopyWhole) {
    test::TinyTmpfs full((dir.path() / "small").string(), "64k");
    if (!full.Mounted()) GTEST_SKIP() << full.Error();
    const std::string old(40 * 1024, 'o');
    WriteFileBytes(full.Path() + "/0812121530a0812121540.mp3", old);
    settings.Copia = "S";
    settings.LocalCopia = full.Path();

    const SegmentFinish done =
        Finish(Start(At(8, 15, 30, 12), std::string(40 * 1024, 'n')), At(8, 15, 40, 12));
    EXPECT_EQ(done.rename, SegmentRename::Renamed);
    EXPECT_EQ(done.copy, SegmentCopy::Failed);
    EXPECT_EQ(ReadFileBytes(full.Path() + "/0812121530a0812121540.mp3"), old);
    EXPECT_EQ(Names(full.Path()), std::vector<std::string>{"0812121530a0812121540.mp3"});
}

TEST_F(SegmentFilesTest, ExportHookGetsTheFinalPathOnlyWhenRenamed) {
    settings.Crowley = "S";
    const SegmentFinish done = Finish(Start(At(8, 15, 30, 12), "x"), At(8, 15, 40, 12));
    EXPECT_TRUE(done.exported);
    EXPECT_EQ(exported, std::vector<std::string>{local + "/0812121530a0812121540.mp3"});

    exported.clear();
    settings.Crowley = "N";
    EXPECT_FALSE(Finish(Start(At(8, 15, 50, 0), "y"), At(8, 16, 0, 0)).exported);
    EXPECT_TRUE(exported.empty());
}

TEST_F(SegmentFilesTest, FailedRenameNeitherCopiesNorExports) {
    settings.Copia = "S";
    settings.Crowley = "S";

    // Stop while idle: nothing was started, or its file is gone.
    const SegmentFinish idle = Finish(SegmentFile{}, At(8, 15, 40, 12));
    EXPECT_EQ(idle.rename, SegmentRename::NoSegment);
    const SegmentFinish gone =
        Finish(PrepareSegmentFile(local, At(8, 15, 30, 12)), At(8, 15, 40, 12));
    EXPECT_EQ(gone.rename, SegmentRename::SourceMissing);

    // The final name and every suffixed one are taken: the file keeps its
    // provisional name and every other file stays as it was.
    WriteFileBytes(local + "/0812121530a0812121540.mp3", "earlier");
    for (int n = 2; n <= 999; ++n)
        WriteFileBytes(local + "/0812121530a0812121540-" + std::to_string(n) + ".mp3", "");
    const SegmentFile segment = Start(At(8, 15, 30, 12), "later");
    const SegmentFinish taken = Finish(segment, At(8, 15, 40, 12));
    EXPECT_EQ(taken.rename, SegmentRename::TargetExists);
    EXPECT_EQ(ReadFileBytes(local + "/0812121530a0812121540.mp3"), "earlier");
    EXPECT_EQ(ReadFileBytes(segment.ProvisionalPath()), "later");

    // A segment whose file holds nothing (begun on a full drive) is removed:
    // no final name ever names an empty file.
    const SegmentFile empty = Start(At(8, 15, 50, 12), "");
    const SegmentFinish removed = Finish(empty, At(8, 16, 0, 12));
    EXPECT_EQ(removed.rename, SegmentRename::Empty);
    EXPECT_FALSE(fs::exists(empty.ProvisionalPath()));
    EXPECT_FALSE(fs::exists(local + "/0812121550a0812121600.mp3"));

    for (const SegmentFinish* f : {&idle, &gone, &taken, &removed}) {
        EXPECT_EQ(f->copy, SegmentCopy::Skipped);
        EXPECT_FALSE(f->exported);
    }
    EXPECT_TRUE(exported.empty());
    EXPECT_TRUE(Names(backup).empty());
}

TEST_F(SegmentFilesTest, RenameNoReplaceReportsWhyItRefused) {
    const std::string a = local + "/a.mp3", b = local + "/b.mp3";
    WriteFileBytes(a, "A");
    WriteFileBytes(b, "B");
    EXPECT_EQ(RenameNoReplace(a, b), EEXIST);
    EXPECT_EQ(ReadFileBytes(a), "A");
    EXPECT_EQ(ReadFileBytes(b), "B");
    EXPECT_EQ(RenameNoReplace(local + "/none.mp3", local + "/c.mp3"), ENOENT);
    EXPECT_EQ(RenameNoReplace(a, local + "/c.mp3"), 0);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(ReadFileBytes(local + "/c.mp3"), "A");
}

}  // namespace
}  // namespace zt
