// The real program on a real X server, driven by the pointer and the
// keyboard as an operator drives it (xdotool, through the X test
// extension): the settings panel opened from the face, another format
// chosen and saved, and the next recording made in it. The program is
// copied into a fresh folder and records the test PCM as its ALSA default.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QRect>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "app/AppTestSupport.h"
#include "app/FaceLayout.h"
#include "audio/SignalTestSupport.h"
#include "support/AlsaFixture.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zt::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs a command on this display; its standard output, trimmed.
std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// What the mpg123 program says about a file's first frame, e.g. "cbr128".
std::string Mpg123Bitrate(const std::string& path) {
    const std::string info =
        Shell("mpg123 -t -v '" + path + "' 2>&1 | grep -o 'cbr[0-9]*' | head -1");
    return info;
}

// Places on the face, from the settings panel's layout: the panel at the
// face's settings place, its scroll box 24 px down, the format group at
// (4, 6) in it and the format list at (8, 22) in the group (108 x 24); the
// panel's "Gravar" at (112, 189), 72 x 24.
QPoint FormatListCentre() {
    return face::kSettings.topLeft() + QPoint(0, 24) + QPoint(4, 6) + QPoint(8 + 54, 22 + 12);
}
QPoint SaveButtonCentre() {
    return face::kSettings.topLeft() + QPoint(112 + 36, 189 + 12);
}

class RealProgramOnX : public ::testing::Test {
protected:
    RealProgramOnX() : fx_({AlsaFixturePcm{"zt_capture", AsBytes(Sweep(44100, 2, 4.0))}}) {
        program_ = folder_.file("ZeltaTresona");
        fs::copy_file(ZT_PROGRAM_PATH, program_);
        fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add);
        runtime_ = (runtimeDir_.path() / "run").string();
        ::mkdir(runtime_.c_str(), 0700);
    }
    ~RealProgramOnX() override {
        if (process_ && process_->Running()) {
            process_->Signal(SIGTERM);
            process_->WaitForExit(std::chrono::seconds(30));
        }
    }

    void Launch() {
        process_ = std::make_unique<ChildProcess>(
            program_, std::vector<std::string>{},
            ChildProcess::EnvChanges{
                {"QT_QPA_PLATFORM", "xcb"},
                {"ALSA_CONFIG_PATH", fx_.ConfigPathValue()},
                {"XDG_RUNTIME_DIR", runtime_},
                {"XDG_CONFIG_HOME", (runtimeDir_.path() / "config").string()},
                {"ZT_DIALOG_LOG", (runtimeDir_.path() / "dialogs.log").string()},
                {"SESSION_MANAGER", std::nullopt},
                {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zt-test-bus"},
            },
            folder_.path().string());
        ASSERT_TRUE(process_->Started());
        ASSERT_TRUE(WaitFor(
            [&] {
                window_ = Shell("xdotool search --onlyvisible --name '^Zelta Tresona$' | head -1");
                return !window_.empty() || !process_->Running();
            },
            std::chrono::seconds(20)))
            << process_->Output();
        ASSERT_FALSE(window_.empty()) << process_->Output();
    }

    // A left click at a point of the window's face.
    void Click(QPoint at) {
        Shell("xdotool mousemove --window " + window_ + " " + std::to_string(at.x()) + " " +
              std::to_string(at.y()) + " click 1");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void Keys(const std::string& keys) {
        Shell("xdotool key --delay 80 " + keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::string Audio() const { return folder_.file("Audio"); }
    // The recording in progress once it holds some audio. (A segment
    // started in the same minute as the last one may take its name again,
    // once that one got its final name.)
    std::string WaitForProvisional() {
        std::string path;
        EXPECT_TRUE(WaitFor(
            [&] {
                for (const std::string& name : FileNames(Audio()))
                    if (IsProvisionalName(name) && SizeOf(Audio() + "/" + name) > 8000)
                        path = Audio() + "/" + name;
                return !path.empty();
            },
            std::chrono::seconds(20)))
            << process_->Output();
        return path;
    }
    std::vector<std::string> FinalFiles() const {
        std::vector<std::string> finals;
        for (const std::string& name : FileNames(Audio()))
            if (IsFinalName(name)) finals.push_back(Audio() + "/" + name);
        return finals;
    }

    TempDir folder_, runtimeDir_;
    std::string program_, runtime_, window_;
    AlsaFixture fx_;
    std::unique_ptr<ChildProcess> process_;
};

TEST_F(RealProgramOnX, FormatChosenInThePanelIsSavedAndRecordedFromTheNextSegment) {
    ASSERT_FALSE(Shell("which xdotool").empty()) << "xdotool is not installed";
    WriteSettings(folder_.dir(), {{"AutoGravar", "S"}, {"Formato", "4"}});
    Launch();
    const std::string first = WaitForProvisional();
    ASSERT_FALSE(first.empty());

    // "Configurações", then the format list: four steps down from
    // "MP3:  64 kbps" is "MP3: 128 kbps".
    Click(face::kButtonConfig.center());
    Click(FormatListCentre());
    Keys("Down Down Down Down Return");
    Click(SaveButtonCentre());
    ASSERT_TRUE(WaitFor(
        [&] {
            return ReadFileBytes(folder_.file("cfg.ini")).find("Formato=8") != std::string::npos;
        },
        std::chrono::seconds(10)))
        << ReadFileBytes(folder_.file("cfg.ini"));

    // The running segment keeps its format; stop and record again from the
    // face: the new segment is made at 128 kbps.
    Click(face::kRecord.center());
    ASSERT_TRUE(WaitFor([&] { return FinalFiles().size() == 1; }, std::chrono::seconds(20)));
    Click(face::kRecord.center());
    const std::string second = WaitForProvisional();
    ASSERT_FALSE(second.empty());
    process_->Signal(SIGTERM);
    ASSERT_TRUE(process_->WaitForExit(std::chrono::seconds(30))) << process_->Output();

    // Read by the mpg123 program: one segment at the old rate, one at the
    // new (names may share a minute, so not told apart by their order).
    std::multiset<std::string> rates;
    for (const std::string& path : FinalFiles()) rates.insert(Mpg123Bitrate(path));
    EXPECT_EQ(rates, (std::multiset<std::string>{"cbr128", "cbr64"}));
    EXPECT_EQ(ReadFileBytes(folder_.file("cfg.ini")).find("Formato=4"), std::string::npos);
}

}  // namespace
}  // namespace zt::test
