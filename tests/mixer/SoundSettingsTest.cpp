// "Definir Controles" opens pavucontrol when it is there, else the desktop's
// own sound settings, else nothing. Programs are found on PATH; here PATH is
// a folder of small scripts that leave a note of how they were started.

#include "mixer/SoundSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <QFileInfo>

#include "support/TempDir.h"

namespace zt {
namespace {

class SoundSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("PATH")) oldPath_ = old;
        setenv("PATH", bin_.dir().c_str(), 1);
    }
    void TearDown() override { setenv("PATH", oldPath_.c_str(), 1); }

    // A program that writes its arguments into <name>.started.
    void Install(const std::string& name) {
        const std::string path = bin_.file(name);
        test::WriteFileBytes(path, "#!/bin/sh\necho \"$@\" > '" + notes_.file(name) +
                                       ".tmp' && /bin/mv '" + notes_.file(name) + ".tmp' '" +
                                       notes_.file(name) + ".started'\n");
        ::chmod(path.c_str(), 0755);
    }
    // What a program was started with, waiting for its note (nullopt: it
    // was not started within the time).
    std::optional<std::string> StartedWith(const std::string& name) {
        const std::string note = notes_.file(name) + ".started";
        for (int i = 0; i < 500; ++i) {
            if (std::filesystem::exists(note)) return test::ReadFileBytes(note);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    test::TempDir bin_, notes_;
    std::string oldPath_;
};

TEST_F(SoundSettingsTest, PavucontrolFirstThenTheDesktopsOwnThenAnyKnown) {
    struct Case {
        std::vector<std::string> installed;
        const char* desktop;
        const char* expected;  // program name and arguments; nullptr: none
    };
    const Case cases[] = {
        {{"pavucontrol", "gnome-control-center"}, "GNOME", "pavucontrol"},
        {{"gnome-control-center", "systemsettings"}, "ubuntu:GNOME", "gnome-control-center sound"},
        {{"gnome-control-center", "systemsettings"}, "KDE", "systemsettings kcm_pulseaudio"},
        // An unknown desktop still gets whatever sound settings exist.
        {{"mate-volume-control"}, "Openbox", "mate-volume-control"},
        {{}, "GNOME", nullptr},
    };
    for (const Case& c : cases) {
        test::TempDir bin;
        setenv("PATH", bin.dir().c_str(), 1);
        for (const std::string& name : c.installed) {
            test::WriteFileBytes(bin.file(name), "#!/bin/sh\n");
            ::chmod(bin.file(name).c_str(), 0755);
        }
        const auto found = FindSoundSettings(c.desktop);
        if (!c.expected) {
            EXPECT_FALSE(found) << c.desktop;
            continue;
        }
        ASSERT_TRUE(found) << c.expected;
        const QString line =
            (QStringList{QFileInfo(found->program).fileName()} + found->arguments).join(' ');
        EXPECT_EQ(line.toStdString(), c.expected) << c.desktop;
        EXPECT_TRUE(found->program.startsWith(QString::fromStdString(bin.dir())));
    }
}

TEST_F(SoundSettingsTest, TheProgramFoundIsStartedDetachedAndNothingWithoutOne) {
    Install("gnome-control-center");
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    EXPECT_TRUE(OpenSoundSettings());
    EXPECT_EQ(StartedWith("gnome-control-center"), std::optional<std::string>("sound\n"));

    ::unlink(bin_.file("gnome-control-center").c_str());
    EXPECT_FALSE(OpenSoundSettings());
    unsetenv("XDG_CURRENT_DESKTOP");
}

}  // namespace
}  // namespace zt
