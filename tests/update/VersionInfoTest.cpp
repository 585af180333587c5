// The version text sent to the update service, and where the texts come
// from.

#include <gtest/gtest.h>

#include "platform/Paths.h"
#include "support/ScriptedDialogs.h"
#include "update/VersionInfo.h"

namespace zt {
namespace {

TEST(VersionTextTest, TheSecondAndThirdNumbersGetTwoDigits) {
    const std::pair<const char*, const char*> cases[] = {
        {"2012.5.3.17", "2012.05.03.17"},
        {"2012.11.30.4", "2012.11.30.4"},
        {"2012.123.4.5", "2012.12.04.5"},
        {"2012.1.0.0", "2012.01.00.0"},
        {"", ".00.00."},
    };
    for (const auto& [version, text] : cases) EXPECT_EQ(VersionText(version), text) << version;
}

TEST(VersionTextTest, PadFieldCutsOrFills) {
    EXPECT_EQ(PadField("5", '0', 2), "05");
    EXPECT_EQ(PadField("  \t7", '0', 2), "07");
    EXPECT_EQ(PadField("123", '0', 2), "12");
    EXPECT_EQ(PadField("", '0', 2), "00");
}

TEST(VersionTextTest, TheTextsComeFromTheProgramItself) {
    test::ScriptedDialogs dialogs;
    VersionInfoStrings own;
    ReadVersionStrings(ExecutablePath(), own);
    EXPECT_EQ(own.FileVersion, ProgramVersionStrings().FileVersion);
    EXPECT_EQ(own.ProductName, "Zelta Tresona");
    EXPECT_EQ(FileVersionText(), VersionText(own.FileVersion));
    EXPECT_EQ(FileVersionText().substr(0, 5), "2012.");

    // Another file has none; a missing one says so and changes nothing.
    VersionInfoStrings other;
    ReadVersionStrings("/bin/sh", other);
    EXPECT_EQ(other.FileVersion, "");
    VersionInfoStrings kept = own;
    ReadVersionStrings("/nonexistent/ZeltaTresona", kept);
    EXPECT_EQ(kept.FileVersion, own.FileVersion);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Arquivo não encontrado");
}

}  // namespace
}  // namespace zt
