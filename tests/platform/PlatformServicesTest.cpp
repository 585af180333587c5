#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <filesystem>

#include "platform/Convert.h"
#include "platform/DiskSpace.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

TEST(Convert, IntegersAndTheirRefusals) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"4", 4},
        {" -1 ", -1},
        {"+7", 7},
        {"$1F", 31},
        {"0x10", 16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", {}},
        {"abc", {}},
        {"", {}},
        {"1.5", {}},
        {"10 min", {}},
        {"-", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << c.text;

    try {
        StrToInt("abc");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(StrToIntDef("abc", -1), -1);
}

TEST(ErrorDisplay, ShowsTextsAndIgnoresTheSilentAbort) {
    test::ScriptedDialogs dialogs;
    EXPECT_FALSE(Guarded([] { throw Exception("Unable to open device"); }));
    EXPECT_FALSE(Guarded([] { Abort(); }));
    EXPECT_FALSE(Guarded([] { throw 42; }));
    EXPECT_TRUE(Guarded([] {}));
    const std::vector<test::ShownDialog> expected = {
        {DialogKind::Error, "Unable to open device"},
        {DialogKind::Error, "Unknown error"},
    };
    EXPECT_EQ(dialogs.shown, expected);
}

TEST(ErrorDisplay, GuardKeepsExceptionsOutOfTheEventLoop) {
    test::ScriptedDialogs dialogs;
    int ran = 0;
    QTimer::singleShot(0, Guard([&] {
                           ++ran;
                           throw Exception("from a timer");
                       }));
    QTimer::singleShot(0, Guard([&] { ++ran; }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 2);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "from a timer");
}

TEST(Paths, ExecutableDirAndOverride) {
    const std::string real = ExecutableDir();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(ExecutablePath()));
    EXPECT_EQ(real + std::filesystem::path(ExecutablePath()).filename().string(), ExecutablePath());
    SetExecutableDirOverride("/tmp/x");
    EXPECT_EQ(ExecutableDir(), "/tmp/x/");
    SetExecutableDirOverride("");
    EXPECT_EQ(ExecutableDir(), real);
}

TEST(DiskSpace, MeasuresTheNearestExistingFolder) {
    test::TempDir tmp;
    const auto here = MeasureDiskSpace(tmp.dir());
    ASSERT_TRUE(here);
    EXPECT_GT(here->totalBytes, 0u);
    EXPECT_LE(here->freeBytes, here->totalBytes);
    const auto deeper = MeasureDiskSpace(tmp.file("not/yet/made"));
    ASSERT_TRUE(deeper);
    EXPECT_EQ(deeper->totalBytes, here->totalBytes);
    EXPECT_TRUE(MeasureDiskSpace("relative/missing"));
}

}  // namespace
}  // namespace zt
