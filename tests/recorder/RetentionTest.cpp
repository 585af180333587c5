// Retention pass and low-space guard over real files whose modification
// times are set with utimensat.

#include "recorder/Retention.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"
#include "support/TempDir.h"

namespace zt {
namespace {

namespace fs = std::filesystem;
using test::WriteFileBytes;

constexpr double kMinute = 1.0 / 1440.0;
constexpr double kHour = 1.0 / 24.0;

class RetentionTest : public ::testing::Test {
protected:
    RetentionTest() {
        local = (dir.path() / "rec").string();
        fs::create_directory(local);
    }

    std::string PathOf(const std::string& name) const { return local + "/" + name; }

    // A file (or, with folder set, a folder) of `local` last modified at `when`.
    std::string Make(const std::string& name, TDateTime when, bool folder = false) {
        const std::string path = PathOf(name);
        if (folder)
            fs::create_directory(path);
        else
            WriteFileBytes(path, "ID3 audio of " + name);
        const double unix = ToUnixSeconds(when);
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(std::floor(unix));
        times[0].tv_nsec = times[1].tv_nsec = 0;
        EXPECT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
        return path;
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(local))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir;
    std::string local;
    const TDateTime now = EncodeDateTime(2012, 12, 28, 10, 0, 0);
};

using NameList = std::vector<std::string>;

TEST_F(RetentionTest, DeletesRecordingsAtOrPastTheLimitAndKeepsTheRest) {
    Make("old.mp3", now - 30 - kMinute);
    Make("exactly.mp3", now - 30);
    Make("UPPER.MP3", now - 45);
    Make("young.mp3", now - 29 - 23 * kHour);
    Make("today.mp3", now - kHour);
    Make("old.wav", now - 60);                 // not a recording
    Make("x.mp3", now - 60, /*folder=*/true);  // a folder is never a recording
    const std::string inProgress = Make("2812120950.mp3", now - 40);

    const RetentionResult result = PurgeOldRecordings(local, "30", now, inProgress);

    EXPECT_EQ(result.deleted,
              (NameList{PathOf("exactly.mp3"), PathOf("old.mp3"), PathOf("UPPER.MP3")}));
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(Names(), (NameList{"2812120950.mp3", "old.wav", "today.mp3", "x.mp3", "young.mp3"}));
    EXPECT_TRUE(fs::is_directory(PathOf("x.mp3")));
}

TEST_F(RetentionTest, ZeroDaysDeletesEveryRecordingButTheOneInProgress) {
    Make("0112121000a0112121010.mp3", now - 20);
    Make("2812120940a2812120950.mp3", now - 10 * kMinute);
    Make("2812120959.mp3", now - kMinute);
    // The segment in progress was written a moment ago, so it is old enough
    // for a zero-day pass; only its path protects it.
    const std::string inProgress = Make("2812121000.mp3", now);

    const RetentionResult result = PurgeOldRecordings(local, "0", now, inProgress);

    EXPECT_EQ(result.deleted.size(), 3u);
    EXPECT_EQ(Names(), (NameList{"2812121000.mp3"}));
}

TEST_F(RetentionTest, SegmentInProgressIsRecognisedByAnySpellingOfItsPath) {
    const std::string name = "2812121000.mp3";
    // Relative spellings are resolved from the current folder.
    const fs::path savedCwd = fs::current_path();
    fs::current_path(dir.path());
    const std::vector<std::string> spellings = {
        local + "/" + name, local + "//" + name,    local + "/./" + name,
        "rec/" + name,      "./rec/../rec/" + name,
    };
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        Make(name, now - 31);
        EXPECT_TRUE(PurgeOldRecordings(local, "30", now, spelling).deleted.empty());
        EXPECT_TRUE(fs::exists(PathOf(name)));
    }
    fs::current_path(savedCwd);
}

TEST_F(RetentionTest, ReadOnlyRecordingIsKept) {
    const std::string path = Make("guardado.mp3", now - 90);
    ASSERT_EQ(0, chmod(path.c_str(), 0444));
    Make("velho.mp3", now - 90);

    const RetentionResult result = PurgeOldRecordings(local, "30", now, "");

    EXPECT_EQ(result.deleted, (NameList{PathOf("velho.mp3")}));
    EXPECT_EQ(Names(), (NameList{"guardado.mp3"}));
}

TEST_F(RetentionTest, MalformedDaysFailAtTheFirstRecordingAndDeleteNothing) {
    for (const char* dias : {"", "trinta", "30 dias", "3.5"}) {
        SCOPED_TRACE(dias);
        Make("old.mp3", now - 90);
        EXPECT_THROW(PurgeOldRecordings(local, dias, now, ""), EConvertError);
        EXPECT_EQ(Names(), (NameList{"old.mp3"}));
    }
}

TEST_F(RetentionTest, NoRecordingMeansNoConversionAndNoError) {
    // Nothing to look at: the malformed value is never reached.
    EXPECT_TRUE(PurgeOldRecordings(local, "trinta", now, "").deleted.empty());
    EXPECT_TRUE(PurgeOldRecordings(local + "/missing", "trinta", now, "").deleted.empty());
    Make("x.mp3", now - 90, /*folder=*/true);
    Make("notes.txt", now - 90);
    EXPECT_TRUE(PurgeOldRecordings(local, "trinta", now, "").deleted.empty());
    EXPECT_EQ(Names(), (NameList{"notes.txt", "x.mp3"}));
}

TEST_F(RetentionTest, GuardDeletesTheOldestRecordingOnePerCall) {
    // By name 0112... comes first, but 2811... is a month older.
    Make("0112121000a0112121010.mp3", now - 27);
    Make("2811121000a2811121010.mp3", now - 30);
    Make("2812120900a2812120910.mp3", now - kHour);
    Make("old.wav", now - 60);
    Make("x.mp3", now - 60, /*folder=*/true);
    const std::string inProgress = Make("2812121000.mp3", now - 40);  // clock stepped back

    EXPECT_EQ(GuardFreeSpace(local, "200", 199, inProgress), PathOf("2811121000a2811121010.mp3"));
    EXPECT_EQ(Names(), (NameList{"0112121000a0112121010.mp3", "2812120900a2812120910.mp3",
                                 "2812121000.mp3", "old.wav", "x.mp3"}));
    EXPECT_EQ(GuardFreeSpace(local, "200", 0, inProgress), PathOf("0112121000a0112121010.mp3"));
    EXPECT_EQ(GuardFreeSpace(local, "200", 0, inProgress), PathOf("2812120900a2812120910.mp3"));
    // Only the segment in progress and what is not a recording remain.
    EXPECT_EQ(GuardFreeSpace(local, "200", 0, inProgress), "");
    EXPECT_EQ(Names(), (NameList{"2812121000.mp3", "old.wav", "x.mp3"}));
}

TEST_F(RetentionTest, GuardActsOnlyOnAMeasuredShortage) {
    struct Case {
        std::optional<int64_t> freeMB;
        const char* mbLivres;
        bool deletes;
    };
    const Case cases[] = {
        {std::nullopt, "200", false},  // unmeasurable: never a reason to delete
        {std::nullopt, "999999", false},
        {200, "200", false},
        {5000, "200", false},
        {199, "200", true},
        {0, " 1 ", true},
        {0, "0", false},
        {-1, "0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.freeMB ? std::to_string(*c.freeMB) : "unmeasured")
                                        << " MB free, minimum \"" << c.mbLivres << "\"");
        const std::string path = Make("0112121000.mp3", now - 2);
        const std::string deleted = GuardFreeSpace(local, c.mbLivres, c.freeMB, "");
        EXPECT_EQ(deleted, c.deletes ? path : "");
        EXPECT_EQ(fs::exists(path), !c.deletes);
    }
}

TEST_F(RetentionTest, GuardPassesOverFilesItMayNotDelete) {
    const std::string kept = Make("a.mp3", now - 60);
    ASSERT_EQ(0, chmod(kept.c_str(), 0444));
    const std::string inProgress = Make("b.mp3", now - 50);
    Make("c.mp3", now - 40);

    EXPECT_EQ(GuardFreeSpace(local, "200", 10, inProgress), PathOf("c.mp3"));
    EXPECT_EQ(GuardFreeSpace(local, "200", 10, inProgress), "");
    EXPECT_EQ(Names(), (NameList{"a.mp3", "b.mp3"}));
}

TEST_F(RetentionTest, GuardWithMalformedMinimumFailsAndDeletesNothing) {
    Make("a.mp3", now - 60);
    for (const char* mb : {"", "duzentos", "200MB"}) {
        SCOPED_TRACE(mb);
        EXPECT_THROW(GuardFreeSpace(local, mb, 0, ""), EConvertError);
        EXPECT_THROW(GuardFreeSpace(local, mb, std::nullopt, ""), EConvertError);
    }
    EXPECT_EQ(Names(), (NameList{"a.mp3"}));
    EXPECT_EQ(GuardFreeSpace(local + "/missing", "200", 0, ""), "");
}

TEST(GuardFreeMiB, FreeSpaceInWholeMiBOnlyWhenMeasured) {
    EXPECT_EQ(GuardFreeMiB(std::nullopt), std::nullopt);
    EXPECT_EQ(GuardFreeMiB(DiskSpace{0, 0}), std::nullopt);  // size reads as 0
    EXPECT_EQ(GuardFreeMiB(DiskSpace{5 * 1048576 + 1048575, 1ull << 40}), 5);
    EXPECT_EQ(GuardFreeMiB(DiskSpace{0, 1ull << 30}), 0);
    EXPECT_EQ(GuardFreeMiB(DiskSpace{uint64_t(300) << 30, uint64_t(1) << 40}), 300 * 1024);
}

}  // namespace
}  // namespace zt
