#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Exceptions.h"
#include "settings/ApplySettings.h"
#include "settings/EncoderFormat.h"
#include "settings/PlatformGeneration.h"
#include "settings/RecordingTarget.h"

namespace zt {
namespace {

using Calls = std::vector<std::string>;

RecorderSettings Sample() {
    RecorderSettings s;
    s.Formato = "8";
    s.Placa = "2";
    s.TempoRec = "15";
    s.Prioridade = "S";
    s.Controle = "3";
    return s;
}

const Calls kAllSteps = {
    "ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 2",          "ChooseDevices 2 2",
    "SetSegmentInterval 900000",      "TickPriorityCheckBox",       "RaiseOwnProcessPriority",
    "SelectRecordingInput 3",         "TickRecordingInputCheckBox",
};

TEST(ApplySettings, RunsTheSevenStepsInOrder) {
    test::RecordingTarget target;
    ApplySettings(Sample(), target);
    EXPECT_EQ(target.calls, kAllSteps);
}

TEST(ApplySettings, StepsThatDependOnTheStateOrThePlatform) {
    struct Case {
        const char* name;
        bool recording, productInfoApi, ntFamily;
        std::string controle;
        Calls expected;
    };
    const Case cases[] = {
        {"recording: no device change, no new segment length",
         true,
         false,
         true,
         "3",
         {"ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 2", "TickPriorityCheckBox",
          "RaiseOwnProcessPriority", "SelectRecordingInput 3", "TickRecordingInputCheckBox"}},
        {"newer platform generation: device 0 for both",
         false,
         true,
         true,
         "3",
         {"ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 2", "ChooseDevices 0 0",
          "SetSegmentInterval 900000", "TickPriorityCheckBox", "RaiseOwnProcessPriority",
          "SelectRecordingInput 3", "TickRecordingInputCheckBox"}},
        {"no priority raise on a platform without one",
         false,
         false,
         false,
         "3",
         {"ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 2", "ChooseDevices 2 2",
          "SetSegmentInterval 900000", "SelectRecordingInput 3", "TickRecordingInputCheckBox"}},
        {"no input chosen: the check box is ticked all the same",
         false,
         false,
         true,
         "-1",
         {"ApplyEncoderFormat 128 \"128\"", "SelectSoundCard 2", "ChooseDevices 2 2",
          "SetSegmentInterval 900000", "TickPriorityCheckBox", "RaiseOwnProcessPriority",
          "TickRecordingInputCheckBox"}},
    };
    for (const auto& c : cases) {
        test::RecordingTarget target;
        target.recording = c.recording;
        target.productInfoApi = c.productInfoApi;
        target.ntFamily = c.ntFamily;
        RecorderSettings s = Sample();
        s.Controle = c.controle;
        ApplySettings(s, target);
        EXPECT_EQ(target.calls, c.expected) << c.name;
    }
}

TEST(ApplySettings, OnlyAnExactUpperCaseSMeansYes) {
    struct Case {
        const char* flag;
        bool raised;
    };
    const Case cases[] = {{"S", true},  {"s", false}, {"Sim", false}, {"SIM", false},
                          {"N", false}, {"", false},  {" S", false}};
    for (const auto& c : cases) {
        test::RecordingTarget target;
        RecorderSettings s = Sample();
        s.Prioridade = c.flag;
        ApplySettings(s, target);
        const bool raised = std::find(target.calls.begin(), target.calls.end(),
                                      "RaiseOwnProcessPriority") != target.calls.end();
        EXPECT_EQ(raised, c.raised) << '"' << c.flag << '"';
        EXPECT_EQ(FlagIsSet(c.flag), c.raised) << '"' << c.flag << '"';
    }
}

// A malformed number ends the apply at the step that uses it: the steps
// before it have run, the ones after it have not.
TEST(ApplySettings, MalformedNumberStopsAtItsStep) {
    struct Case {
        std::string RecorderSettings::*field;
        const char* value;
        size_t stepsRun;  // how many of kAllSteps ran before the error
        const char* message;
    };
    const Case cases[] = {
        {&RecorderSettings::Formato, "abc", 0, "'abc' is not a valid integer value"},
        {&RecorderSettings::Formato, "", 0, "'' is not a valid integer value"},
        {&RecorderSettings::Placa, "x", 1, "'x' is not a valid integer value"},
        {&RecorderSettings::TempoRec, "10 min", 3, "'10 min' is not a valid integer value"},
        {&RecorderSettings::TempoRec, "99999", 3,
         "'99999' is not a valid segment length (0 to 35791 minutes)"},
        {&RecorderSettings::TempoRec, "-5", 3,
         "'-5' is not a valid segment length (0 to 35791 minutes)"},
        {&RecorderSettings::Controle, "um", 6, "'um' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        test::RecordingTarget target;
        RecorderSettings s = Sample();
        s.*c.field = c.value;
        try {
            ApplySettings(s, target);
            ADD_FAILURE() << "no error for '" << c.value << "'";
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        const Calls ran(kAllSteps.begin(), kAllSteps.begin() + long(c.stepsRun));
        EXPECT_EQ(target.calls, ran) << c.value;
    }
}

TEST(ApplySettings, ErrorOfTheRaiseEndsTheApply) {
    test::RecordingTarget target;
    target.raiseFails = true;
    EXPECT_THROW(ApplySettings(Sample(), target), Exception);
    const Calls ran(kAllSteps.begin(), kAllSteps.begin() + 6);
    EXPECT_EQ(target.calls, ran);
}

TEST(ApplySettings, SegmentLengthIsOnlyConvertedWhereItIsUsed) {
    // While recording step 4 is skipped, so a malformed TempoRec is not
    // reached; it fails at the next apply while stopped.
    test::RecordingTarget target;
    target.recording = true;
    RecorderSettings s = Sample();
    s.TempoRec = "abc";
    EXPECT_NO_THROW(ApplySettings(s, target));
    EXPECT_EQ(target.calls.back(), "TickRecordingInputCheckBox");
}

// A card unplugged since the settings were saved: every step still runs,
// on the first device, and one warning names the card afterwards.
TEST(ApplySettings, SavedCardThatIsGoneFallsBackToTheFirstAndWarnsOnce) {
    struct Case {
        const char* placa;
        int cards;
        bool recording;
        Calls devices;  // the calls of steps 2 and 3
        const char* warning;
    };
    const Case cases[] = {
        {"4", 4, false, {"SelectSoundCard 0", "ChooseDevices 0 0"}, "A placa de som 4 "},
        // No card at all: starting the recording says so, not the settings.
        {"2", 0, false, {"SelectSoundCard 0", "ChooseDevices 0 0"}, nullptr},
        {"-3", 4, false, {"SelectSoundCard 0", "ChooseDevices 0 0"}, "A placa de som -3 "},
        {"9", 4, true, {"SelectSoundCard 0"}, "A placa de som 9 "},
        // Saved without a selection: the first device, nothing to say.
        {"-1", 4, false, {"SelectSoundCard 0", "ChooseDevices 0 0"}, nullptr},
        {"3", 4, false, {"SelectSoundCard 3", "ChooseDevices 3 3"}, nullptr},
    };
    for (const auto& c : cases) {
        test::RecordingTarget target;
        target.soundCards = c.cards;
        target.recording = c.recording;
        RecorderSettings s = Sample();
        s.Placa = c.placa;
        std::string warning;
        try {
            ApplySettings(s, target);
        } catch (const ESettingsWarning& e) {
            warning = e.what();
        }
        if (c.warning) {
            EXPECT_EQ(warning.rfind(c.warning, 0), 0u) << c.placa << ": " << warning;
            EXPECT_NE(warning.find("\"Default\""), std::string::npos) << warning;
        } else {
            EXPECT_EQ(warning, "") << c.placa;
        }
        Calls expected = {"ApplyEncoderFormat 128 \"128\""};
        expected.insert(expected.end(), c.devices.begin(), c.devices.end());
        if (!c.recording) expected.push_back("SetSegmentInterval 900000");
        expected.insert(expected.end(), {"TickPriorityCheckBox", "RaiseOwnProcessPriority",
                                         "SelectRecordingInput 3", "TickRecordingInputCheckBox"});
        EXPECT_EQ(target.calls, expected) << c.placa;
    }
}

TEST(SegmentIntervalMs, LongestSegmentStillFitsWithoutWrapping) {
    EXPECT_EQ(SegmentIntervalMs("0"), 0);
    EXPECT_EQ(SegmentIntervalMs("10"), 600000);
    EXPECT_EQ(SegmentIntervalMs("35791"), 2147460000);
    // 35792 minutes would wrap a 32-bit interval to a negative number.
    EXPECT_THROW(SegmentIntervalMs("35792"), EConvertError);
    EXPECT_THROW(SegmentIntervalMs("2147483647"), EConvertError);
}

TEST(EncoderFormat, BitrateAndBannerFromTheSetting) {
    struct Case {
        const char* formato;
        int bitrateIndex, kbps;
        const char* banner;
    };
    const Case cases[] = {
        {"0", 1, 40, "32"},   // shown as 32, encoded at 40
        {"00", 0, 32, "32"},  // converts to 0 but is not the text "0"
        {"1", 1, 40, "40"},     {"4", 4, 64, "64"}, {"7", 7, 112, "112"}, {"13", 13, 320, "320"},
        {" 9 ", 9, 160, "160"}, {"14", 4, 64, ""},  // unknown index: empty banner, default bitrate
        {"-1", 4, 64, ""},
    };
    for (const auto& c : cases) {
        const EncoderFormatChoice f = EncoderFormatFromSetting(c.formato);
        EXPECT_EQ(f.bitrateIndex, c.bitrateIndex) << c.formato;
        EXPECT_EQ(f.bitrateKbps, c.kbps) << c.formato;
        EXPECT_EQ(f.bannerNumber, c.banner) << c.formato;
    }
    EXPECT_EQ(EncoderFormatBanner(EncoderFormatFromSetting("4"), true),
              "                    MP3: 64 Kbps, Stereo");
    EXPECT_EQ(EncoderFormatBanner(EncoderFormatFromSetting("14"), false),
              "                    MP3:  Kbps, Mono");
}

TEST(PlatformGeneration, LinuxShowsTheCardControlsAndCanRaisePriority) {
    EXPECT_FALSE(HasProductInfoApi());
    EXPECT_TRUE(PlatformSupportsPriorityRaise());
    // A target that does not override the flags follows the platform.
    struct Minimal : test::RecordingTarget {
        bool HasProductInfoApi() const override { return SettingsTarget::HasProductInfoApi(); }
        bool IsNTFamily() const override { return SettingsTarget::IsNTFamily(); }
    } target;
    ApplySettings(Sample(), target);
    EXPECT_EQ(target.calls, kAllSteps);
}

}  // namespace
}  // namespace zt
