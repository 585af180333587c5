// Wave-in component: properties, their clamps and refusals, the format
// record it sends down the chain, the device list and the failures of Open
// that need no running capture. Real ALSA through the test fixture.
#include <gtest/gtest.h>

#include <memory>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "platform/ResStrings.h"
#include "support/AlsaFixture.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

std::string Text(int id) {
    return LoadResString(id);
}

// A wave-in bound to the fixture's PCMs as an explicit device list.
std::unique_ptr<TMMCustomWaveIn> BoundTo(const AlsaFixture& fx) {
    auto w = std::make_unique<TMMCustomWaveIn>("WaveIn");
    w->SetBackend(std::make_unique<AlsaWaveInBackend>(fx.Devices()));
    return w;
}

TEST(WaveInProperties, DefaultsAndDeviceDiscovery) {
    AlsaFixture fx(FrameCounterSignal(4410));
    TMMWaveIn w("WaveIn");
    // The default PCM is device 0 of the default discovery.
    EXPECT_GE(w.NumDevs(), 1);
    EXPECT_EQ(w.GetDeviceID(), 0);
    EXPECT_EQ(w.GetProductName(), "Default");
    EXPECT_EQ(w.GetMode(), TMMMode::mMono);
    EXPECT_EQ(w.GetBitLength(), TMMBits::b8Bit);
    EXPECT_EQ(w.GetSampleRate(), 11025);
    EXPECT_EQ(w.GetBufferSize(), 2048);
    EXPECT_EQ(w.GetNumBuffers(), 10);
    EXPECT_EQ(w.GetCallBackMode(), TMMCBMode::cmWindow);
    EXPECT_EQ(w.GetTimeFormat(), TMMTimeFormats::tfByte);
    EXPECT_EQ(w.GetMaxRecordTime(), -1);
    EXPECT_EQ(w.GetPriority(), TThreadPriority::tpHigher);
    EXPECT_EQ(w.DeviceState(), TMMCustomWaveIn::wisClosed);
    const WAVEFORMATEX* f = w.GetWaveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wBitsPerSample, 8);
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nSamplesPerSec, 11025u);
}

TEST(WaveInProperties, ClampsAndRefusalsTable) {
    AlsaFixture fx({{"a", FrameCounterSignal(4410)}, {"b", FrameCounterSignal(4410)}});
    auto w = BoundTo(fx);
    ASSERT_EQ(w->NumDevs(), 2);

    struct Case {
        const char* what;
        std::function<void(TMMCustomWaveIn&)> set;
        std::function<bool(TMMCustomWaveIn&)> holds;
    };
    const std::vector<Case> cases = {
        {"NumBuffers 1 is ignored", [](auto& c) { c.SetNumBuffers(1); },
         [](auto& c) { return c.GetNumBuffers() == 10; }},
        {"NumBuffers 1000 stores 500", [](auto& c) { c.SetNumBuffers(1000); },
         [](auto& c) { return c.GetNumBuffers() == 500; }},
        {"NumBuffers 2 is taken", [](auto& c) { c.SetNumBuffers(2); },
         [](auto& c) { return c.GetNumBuffers() == 2; }},
        {"SampleRate 200000 stores 100000", [](auto& c) { c.SetSampleRate(200000); },
         [](auto& c) { return c.GetSampleRate() == 100000; }},
        {"SampleRate 2000 stores 8000", [](auto& c) { c.SetSampleRate(2000); },
         [](auto& c) { return c.GetSampleRate() == 8000; }},
        {"Mode mMultiChannel is refused", [](auto& c) { c.SetMode(TMMMode::mMultiChannel); },
         [](auto& c) { return c.GetMode() == TMMMode::mMono; }},
        {"BufferSize 10 stores 32", [](auto& c) { c.SetBufferSize(10); },
         [](auto& c) { return c.GetBufferSize() == 32; }},
        {"DeviceID 1 reads the caps", [](auto& c) { c.SetDeviceID(1); },
         [](auto& c) { return c.GetDeviceID() == 1 && c.GetProductName() == "b"; }},
        {"DeviceID -1 is the default device", [](auto& c) { c.SetDeviceID(-1); },
         [](auto& c) { return c.GetDeviceID() == -1; }},
        {"DeviceID 5 with two devices stores -2", [](auto& c) { c.SetDeviceID(5); },
         [](auto& c) {
             return c.GetDeviceID() == -2 && c.GetProductName() == Text(28160) &&
                    c.DriverVersion() == 0u;
         }},
        {"DeviceID -3 stores -2", [](auto& c) { c.SetDeviceID(-3); },
         [](auto& c) { return c.GetDeviceID() == -2; }},
    };
    for (const Case& c : cases) {
        TMMCustomWaveIn fresh("WaveIn");
        fresh.SetBackend(std::make_unique<AlsaWaveInBackend>(fx.Devices()));
        c.set(fresh);
        EXPECT_TRUE(c.holds(fresh)) << c.what;
    }

    // DeviceID 5 stores -2, and Open then names the reason.
    w->SetDeviceID(5);
    int errors = 0;
    w->OnError = [&](TMMDSPComponent*) { ++errors; };
    try {
        w->Open();
        FAIL() << "Open with an invalid device succeeded";
    } catch (const EMMWaveInError& e) {
        EXPECT_EQ(std::string(e.what()), "Invalid DeviceID");
    }
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(w->DeviceState(), TMMCustomWaveIn::wisClosed);
}

TEST(WaveInProperties, FormatRecordFollowsTheSettingsDownTheChain) {
    AlsaFixture fx(FrameCounterSignal(4410));
    auto w = BoundTo(fx);
    RecordingSink sink;
    w->SetOutput(&sink);
    UseRecorderFormat(*w);
    const WAVEFORMATEX* own = w->GetWaveFormat();
    const WAVEFORMATEX* down = sink.GetWaveFormat();
    ASSERT_NE(own, nullptr);
    ASSERT_NE(down, nullptr);
    EXPECT_NE(own, down);  // each member holds its own copy
    for (const WAVEFORMATEX* f : {own, down}) {
        EXPECT_EQ(f->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(f->nChannels, 2);
        EXPECT_EQ(f->wBitsPerSample, 16);
        EXPECT_EQ(f->nSamplesPerSec, 44100u);
        EXPECT_EQ(f->nBlockAlign, 4);
        EXPECT_EQ(f->nAvgBytesPerSec, 176400u);
    }

    // A valid PCM format set directly becomes the settings.
    const WAVEFORMATEX mono8 = MakePCMFormat(8, 1, 22050);
    w->SetWaveFormat(&mono8);
    EXPECT_EQ(w->GetMode(), TMMMode::mMono);
    EXPECT_EQ(w->GetBitLength(), TMMBits::b8Bit);
    EXPECT_EQ(w->GetSampleRate(), 22050);
    EXPECT_EQ(sink.GetWaveFormat()->nSamplesPerSec, 22050u);
    EXPECT_EQ(sink.GetWaveFormat()->nChannels, 1);

    // No format at all: Open refuses it.
    w->SetWaveFormat(nullptr);
    EXPECT_EQ(w->GetWaveFormat(), nullptr);
    try {
        w->Open();
        FAIL() << "Open without a format succeeded";
    } catch (const EMMWaveInError& e) {
        EXPECT_EQ(std::string(e.what()), Text(28089));
    }
}

TEST(WaveInProperties, TimeFormatConvertsTheRecordingLimit) {
    AlsaFixture fx(FrameCounterSignal(4410));
    auto w = BoundTo(fx);
    UseRecorderFormat(*w);
    w->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    w->SetMaxRecordTime(1000);
    EXPECT_EQ(w->LimitBytes(), 176400);
    w->SetTimeFormat(TMMTimeFormats::tfByte);
    EXPECT_EQ(w->GetMaxRecordTime(), 176400);
    w->SetTimeFormat(TMMTimeFormats::tfSample);
    EXPECT_EQ(w->GetMaxRecordTime(), 44100);
    w->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(w->GetMaxRecordTime(), 1000);

    // Bytes are cut down to whole frames.
    w->SetTimeFormat(TMMTimeFormats::tfByte);
    w->SetMaxRecordTime(1003);
    EXPECT_EQ(w->LimitBytes(), 1000);

    // No limit stays no limit.
    w->SetMaxRecordTime(-1);
    w->SetTimeFormat(TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(w->GetMaxRecordTime(), -1);
    EXPECT_EQ(w->LimitBytes(), TMMCustomWaveIn::kUnlimited);
}

TEST(WaveInProperties, BufferSizeChangeEmptiesThePoolEqualSizeKeepsIt) {
    AlsaFixture fx(FrameCounterSignal(4410));
    auto w = BoundTo(fx);
    w->SetBufferSize(4096);
    w->Open();
    w->Close();
    const size_t blocks = w->Allocator().BlockCount();
    EXPECT_EQ(blocks, 10u);  // kept for the next open
    w->SetBufferSize(4096);
    EXPECT_EQ(w->Allocator().BlockCount(), blocks);
    w->SetBufferSize(8192);
    EXPECT_EQ(w->Allocator().BlockCount(), 0u);
}

TEST(WaveInProperties, DeviceSettingsAreRefusedWhileOpened) {
    AlsaFixture fx(FrameCounterSignal(44100));
    auto w = BoundTo(fx);
    ScriptedDialogs dialogs;
    w->Open();
    ASSERT_TRUE(w->DeviceState() & TMMCustomWaveIn::wisOpen);
    const std::vector<std::pair<const char*, std::function<void()>>> setters = {
        {"DeviceID", [&] { w->SetDeviceID(1); }},
        {"Mode", [&] { w->SetMode(TMMMode::mStereo); }},
        {"BitLength", [&] { w->SetBitLength(TMMBits::b16Bit); }},
        {"SampleRate", [&] { w->SetSampleRate(22050); }},
        {"NumBuffers", [&] { w->SetNumBuffers(4); }},
        {"BufferSize", [&] { w->SetBufferSize(1024); }},
        {"CallBackMode", [&] { w->SetCallBackMode(TMMCBMode::cmThread); }},
    };
    for (const auto& [name, set] : setters) {
        try {
            set();
            ADD_FAILURE() << name << " was changed while opened";
        } catch (const EMMWaveInError& e) {
            EXPECT_EQ(std::string(e.what()), "Change to property while device was open") << name;
        }
    }
    EXPECT_EQ(w->GetSampleRate(), 11025);
    EXPECT_EQ(w->GetNumBuffers(), 10);
    EXPECT_EQ(w->GetCallBackMode(), TMMCBMode::cmWindow);
    // The recording limit and the priority are not device settings.
    w->SetMaxRecordTime(500);
    EXPECT_EQ(w->GetMaxRecordTime(), 500);
    w->SetPriority(TThreadPriority::tpLower);
    EXPECT_EQ(w->GetPriority(), TThreadPriority::tpLower);
    // A format set directly closes the device first.
    const WAVEFORMATEX f = MakePCMFormat(16, 2, 44100);
    w->SetWaveFormat(&f);
    EXPECT_EQ(w->DeviceState(), TMMCustomWaveIn::wisClosed);
    EXPECT_EQ(w->GetSampleRate(), 44100);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(WaveInProperties, CallbackModeIsRefusedWithABox) {
    AlsaFixture fx(FrameCounterSignal(4410));
    auto w = BoundTo(fx);
    ScriptedDialogs dialogs;
    w->SetCallBackMode(TMMCBMode::cmCallback);
    EXPECT_EQ(w->GetCallBackMode(), TMMCBMode::cmWindow);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, DialogKind::Warning);
    EXPECT_EQ(dialogs.shown[0].text,
              "\"CallBacks\" are called at interrupt time !\n\rThis is currently only "
              "supported under Windows 95");
    w->SetCallBackMode(TMMCBMode::cmThread);
    EXPECT_EQ(w->GetCallBackMode(), TMMCBMode::cmThread);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST(WaveInOpen, NoDeviceIsReported) {
    auto fx = AlsaFixture::NoDevice();
    TMMWaveIn w("WaveIn");
    EXPECT_EQ(w.NumDevs(), 0);
    EXPECT_EQ(w.GetProductName(), "No wave audio recording device found");
    int errors = 0;
    w.OnError = [&](TMMDSPComponent*) { ++errors; };
    try {
        w.Open();
        FAIL() << "Open without a device succeeded";
    } catch (const EMMWaveInError& e) {
        EXPECT_EQ(std::string(e.what()), "No wave audio recording device found");
    }
    EXPECT_EQ(errors, 1);
    // Start opens implicitly and fails the same way.
    EXPECT_THROW(w.Start(), EMMWaveInError);
    EXPECT_FALSE(w.IsStarted());
}

TEST(WaveInOpen, UnsupportedFormatIsRefusedAndNothingStaysOpen) {
    // This PCM only runs at 44100 Hz.
    AlsaFixturePcm only44;
    only44.name = "only44";
    only44.bytes = FrameCounterSignal(4410);
    only44.rate = 44100;
    AlsaFixture fx({only44});
    auto w = BoundTo(fx);
    RecordingSink sink;
    w->SetOutput(&sink);
    UseRecorderFormat(*w);
    w->SetSampleRate(22050);
    std::vector<std::string> events;
    w->OnError = [&](TMMDSPComponent*) { events.push_back("error"); };
    w->OnOpen = [&](TMMDSPComponent*) { events.push_back("open"); };
    try {
        w->Open();
        FAIL() << "Open with an unsupported rate succeeded";
    } catch (const EMMWaveInError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "WaveInOpen:\n\rThe actual device can''t record this format");
    }
    EXPECT_EQ(events, std::vector<std::string>{"error"});
    EXPECT_EQ(w->DeviceState(), TMMCustomWaveIn::wisClosed);
    EXPECT_EQ(w->Handle(), 0u);
    EXPECT_FALSE(sink.IsOpened());

    // The supported rate opens, the segment with it.
    w->SetSampleRate(44100);
    w->Open();
    EXPECT_EQ(events.back(), "open");
    EXPECT_TRUE(sink.IsOpened());
    EXPECT_EQ(sink.RealBufferSize(), 4096);
    w->Close();
    EXPECT_FALSE(sink.IsOpened());
}

}  // namespace
}  // namespace zt::test
