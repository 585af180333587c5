#pragma once
// A settings target that logs every step it is asked to perform, and a
// fixture that points the executable folder at a fresh temporary folder.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "settings/SettingsTarget.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt::test {

class RecordingTarget : public SettingsTarget {
public:
    void ApplyEncoderFormat(const EncoderFormatChoice& f) override {
        Log("ApplyEncoderFormat " + std::to_string(f.bitrateKbps) + " \"" + f.bannerNumber + "\"");
    }
    int SoundCardCount() const override { return soundCards; }
    void SelectSoundCard(int placa) override { Log("SelectSoundCard " + std::to_string(placa)); }
    bool IsRecording() const override { return recording; }
    bool HasProductInfoApi() const override { return productInfoApi; }
    void ChooseDevices(int capture, int mixer) override {
        Log("ChooseDevices " + std::to_string(capture) + " " + std::to_string(mixer));
    }
    void SetSegmentInterval(int ms) override { Log("SetSegmentInterval " + std::to_string(ms)); }
    bool IsNTFamily() const override { return ntFamily; }
    void TickPriorityCheckBox() override { Log("TickPriorityCheckBox"); }
    void RaiseOwnProcessPriority() override {
        Log("RaiseOwnProcessPriority");
        if (raiseFails) throw Exception("List index out of bounds (-1)");
    }
    void SelectRecordingInput(int controle) override {
        Log("SelectRecordingInput " + std::to_string(controle));
    }
    void TickRecordingInputCheckBox() override { Log("TickRecordingInputCheckBox"); }

    int soundCards = 4;
    bool recording = false;
    bool productInfoApi = false;
    bool ntFamily = true;
    bool raiseFails = false;
    std::vector<std::string> calls;

private:
    void Log(std::string call) { calls.push_back(std::move(call)); }
};

// The executable folder is a fresh temporary folder for each test.
class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override { SetExecutableDirOverride(tmp.dir()); }
    void TearDown() override { SetExecutableDirOverride(""); }

    std::string CfgPath() const { return tmp.file("cfg.ini"); }
    std::string CfgText() const { return ReadFileBytes(CfgPath()); }

    TempDir tmp;
    ScriptedDialogs dialogs;
    RecordingTarget target;
};

}  // namespace zt::test
