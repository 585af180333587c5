// The ALSA capture back end against real alsa-lib, with the paced fixture
// PCMs standing in for sound cards.

#include "audio/capture/alsa/AlsaWaveInBackend.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "support/AlsaFixture.h"

namespace zt {
namespace {

using namespace std::chrono_literals;
using test::AlsaFixture;
using test::AlsaFixturePcm;
using test::FrameCounterAt;
using test::FrameCounterSignal;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kTenthBytes = kRate / 10 * 4;  // 100 ms of 16-bit stereo

bool AnyCard() {
    int card = -1;
    return snd_card_next(&card) == 0 && card >= 0;
}

// Records every notification, as the wave-in component's function would
// post it, and lets the test wait for them.
class Recorder {
public:
    struct Event {
        WaveInMessage message;
        WAVEHDR* header;
        std::thread::id thread;
    };

    WaveInNotify Function() {
        return [this](WaveInMessage message, WAVEHDR* header) {
            std::chrono::milliseconds stall{0};
            {
                std::lock_guard<std::mutex> lock(mutex_);
                events_.push_back({message, header, std::this_thread::get_id()});
                if (message == WaveInMessage::Data && stallOnce_.count() > 0) {
                    stall = stallOnce_;
                    stallOnce_ = 0ms;
                }
            }
            changed_.notify_all();
            // Stands in for a capture thread that is not scheduled for a while.
            if (stall.count() > 0) std::this_thread::sleep_for(stall);
        };
    }

    void StallOnFirstData(std::chrono::milliseconds how_long) {
        std::lock_guard<std::mutex> lock(mutex_);
        stallOnce_ = how_long;
    }

    bool WaitForData(size_t count, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return DataLocked().size() >= count; });
    }

    std::vector<WAVEHDR*> Data() {
        std::lock_guard<std::mutex> lock(mutex_);
        return DataLocked();
    }

    std::vector<Event> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    std::vector<WAVEHDR*> DataLocked() const {
        std::vector<WAVEHDR*> data;
        for (const Event& e : events_)
            if (e.message == WaveInMessage::Data) data.push_back(e.header);
        return data;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::chrono::milliseconds stallOnce_{0};
};

// Buffer records with their data areas, as the component prepares them.
struct Buffers {
    Buffers(size_t count, uint32_t bytes)
        : storage(count, std::vector<char>(bytes)), headers(count) {
        for (size_t i = 0; i < count; ++i) {
            headers[i] = WAVEHDR{};
            headers[i].lpData = storage[i].data();
            headers[i].dwBufferLength = bytes;
        }
    }
    std::string Bytes(size_t i) const {
        return std::string(headers[i].lpData, headers[i].dwBytesRecorded);
    }
    std::vector<std::vector<char>> storage;
    std::vector<WAVEHDR> headers;
};

size_t CountOf(const std::vector<WAVEHDR*>& list, const WAVEHDR* header) {
    return size_t(std::count(list.begin(), list.end(), header));
}

class AlsaWaveInBackendTest : public ::testing::Test {
protected:
    // Opens device `id` for 44100 Hz 16-bit stereo and queues the buffers.
    WaveInHandle OpenAndQueue(AlsaWaveInBackend& backend, int id, Buffers& buffers) {
        WaveInHandle handle = 0;
        EXPECT_EQ(
            backend.Open(&handle, id, MakePCMFormat(16, 2, kRate), recorder.Function(), false),
            kWaveInOk);
        for (WAVEHDR& h : buffers.headers) {
            EXPECT_EQ(backend.PrepareHeader(handle, &h), kWaveInOk);
            EXPECT_EQ(backend.AddBuffer(handle, &h), kWaveInOk);
        }
        return handle;
    }

    // Opens device 0 with every buffer prepared but only the first queued,
    // and starts: after the first buffer the consumer is "late".
    WaveInHandle StartWithTheFirstBufferOnly(AlsaWaveInBackend& backend, Buffers& buffers) {
        WaveInHandle handle = 0;
        EXPECT_EQ(backend.Open(&handle, 0, MakePCMFormat(16, 2, kRate), recorder.Function(), false),
                  kWaveInOk);
        for (WAVEHDR& h : buffers.headers) EXPECT_EQ(backend.PrepareHeader(handle, &h), kWaveInOk);
        EXPECT_EQ(backend.AddBuffer(handle, &buffers.headers[0]), kWaveInOk);
        EXPECT_EQ(backend.Start(handle), kWaveInOk);
        return handle;
    }

    std::string signal = FrameCounterSignal(kRate * 6);
    Recorder recorder;
};

TEST_F(AlsaWaveInBackendTest, DefaultDeviceIsListedFirstWhenItOpens) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    ASSERT_GE(backend.NumDevs(), 1);
    EXPECT_EQ(backend.Devices()[0].pcmName, "default");

    WaveInCaps caps, mapped;
    ASSERT_EQ(backend.GetDevCaps(0, caps), kWaveInOk);
    EXPECT_EQ(caps.name, "Default");
    ASSERT_EQ(backend.GetDevCaps(-1, mapped), kWaveInOk);
    EXPECT_EQ(mapped.name, "Default");

    WaveInResult bad = backend.GetDevCaps(backend.NumDevs(), caps);
    EXPECT_EQ(bad, kWaveInBadDeviceId);
    std::string text;
    EXPECT_TRUE(backend.ErrorText(bad, text));
    EXPECT_FALSE(text.empty());
}

TEST_F(AlsaWaveInBackendTest, NoDeviceWhenDefaultCannotOpenAndNoCard) {
    auto fixture = AlsaFixture::NoDevice();
    if (AnyCard()) GTEST_SKIP() << "this machine has a sound card";
    AlsaWaveInBackend backend;
    EXPECT_EQ(backend.NumDevs(), 0);
    WaveInCaps caps;
    EXPECT_EQ(backend.GetDevCaps(-1, caps), kWaveInBadDeviceId);
    WaveInHandle handle = 0;
    EXPECT_EQ(backend.Open(&handle, -1, MakePCMFormat(16, 2, kRate), recorder.Function(), true),
              kWaveInBadDeviceId);
    EXPECT_EQ(backend.Open(&handle, 0, MakePCMFormat(16, 2, kRate), recorder.Function(), false),
              kWaveInBadDeviceId);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(recorder.Events().empty());
}

TEST_F(AlsaWaveInBackendTest, ExplicitListCapturesFromTheChosenDevice) {
    std::string other = FrameCounterSignal(kRate * 2).substr(kRate * 4);  // starts at frame 44100
    AlsaFixture fixture(
        {AlsaFixturePcm{"zt_capture", signal}, AlsaFixturePcm{"zt_capture2", other}});
    std::string longName(40, 'x');
    AlsaWaveInBackend backend({{"zt_capture", "First"}, {"zt_capture2", longName}});
    ASSERT_EQ(backend.NumDevs(), 2);
    WaveInCaps caps;
    ASSERT_EQ(backend.GetDevCaps(1, caps), kWaveInOk);
    EXPECT_EQ(caps.name, std::string(31, 'x'));

    Buffers buffers(1, kTenthBytes);
    WaveInHandle handle = OpenAndQueue(backend, 1, buffers);
    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(1));
    EXPECT_EQ(buffers.Bytes(0), other.substr(0, kTenthBytes));
    EXPECT_EQ(FrameCounterAt(buffers.Bytes(0), 0), kRate);
    EXPECT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, CapabilitiesReflectWhatTheDeviceAccepts) {
    struct Case {
        unsigned rate, maxChannels;
        uint32_t formats;
        uint16_t channels;
    };
    const Case cases[] = {
        {0, 2, 0xFFF, 2},
        {44100, 2, WAVE_FORMAT_4M08 | WAVE_FORMAT_4S08 | WAVE_FORMAT_4M16 | WAVE_FORMAT_4S16, 2},
        {22050, 1, WAVE_FORMAT_2M08 | WAVE_FORMAT_2M16, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rate " << c.rate << " channels " << c.maxChannels);
        AlsaFixture fixture({AlsaFixturePcm{"zt_capture", signal, c.rate, c.maxChannels}});
        AlsaWaveInBackend backend(std::vector<AlsaPcmDevice>{{"zt_capture", "Fixture"}});
        WaveInCaps caps;
        ASSERT_EQ(backend.GetDevCaps(0, caps), kWaveInOk);
        EXPECT_EQ(caps.name, "Fixture");
        EXPECT_TRUE(caps.hasFormatMask);
        EXPECT_EQ(caps.formats, c.formats);
        EXPECT_EQ(caps.channels, c.channels);
        EXPECT_EQ(caps.driverVersion, AlsaWaveInBackend::AlsaVersion());
        EXPECT_GE(caps.driverVersion, 0x010000u);
    }
}

TEST_F(AlsaWaveInBackendTest, DeviceThatCannotOpenHasNoMaskAndRefusesWithAlsaText) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend(std::vector<AlsaPcmDevice>{{"zt_not_defined", "Missing"}});
    WaveInCaps caps;
    ASSERT_EQ(backend.GetDevCaps(0, caps), kWaveInOk);
    EXPECT_EQ(caps.name, "Missing");
    EXPECT_FALSE(caps.hasFormatMask);

    WaveInHandle handle = 0;
    WaveInResult result =
        backend.Open(&handle, 0, MakePCMFormat(16, 2, kRate), recorder.Function(), false);
    EXPECT_GT(result, kAlsaErrorBase);
    std::string text;
    EXPECT_TRUE(backend.ErrorText(result, text));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(handle, 0u);
}

TEST_F(AlsaWaveInBackendTest, QueryOpenChecksTheFormatAndLeavesNothingOpen) {
    AlsaFixture fixture({AlsaFixturePcm{"zt_capture", signal, 44100, 2}});
    AlsaWaveInBackend backend(std::vector<AlsaPcmDevice>{{"zt_capture", "Fixture"}});

    WaveInHandle handle = 0;
    EXPECT_EQ(backend.Open(&handle, 0, MakePCMFormat(16, 2, 44100), recorder.Function(), true),
              kWaveInOk);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(recorder.Events().empty());

    WAVEFORMATEX threeChannels = MakePCMFormat(16, 2, 44100);
    threeChannels.nChannels = 3;
    threeChannels.nBlockAlign = 6;
    threeChannels.nAvgBytesPerSec = 6 * 44100;
    WAVEFORMATEX twentyFour = MakePCMFormat(16, 2, 44100);
    twentyFour.wBitsPerSample = 24;
    twentyFour.nBlockAlign = 6;
    for (const WAVEFORMATEX& refused : {MakePCMFormat(16, 2, 48000), threeChannels, twentyFour}) {
        WaveInResult result = backend.Open(&handle, 0, refused, recorder.Function(), true);
        EXPECT_EQ(result, kWaveInBadFormat);
        std::string text;
        EXPECT_TRUE(backend.ErrorText(result, text));
        EXPECT_FALSE(text.empty());
        // A real open refuses it the same way.
        EXPECT_EQ(backend.Open(&handle, 0, refused, recorder.Function(), false), kWaveInBadFormat);
    }
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(recorder.Events().empty());

    // Nothing stayed open: the device opens for real afterwards.
    ASSERT_EQ(backend.Open(&handle, 0, MakePCMFormat(16, 2, 44100), recorder.Function(), false),
              kWaveInOk);
    EXPECT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, CapturesTheSignalInOrderAtTheRealRate) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(5, kTenthBytes);
    auto started = std::chrono::steady_clock::now();
    WaveInHandle handle = OpenAndQueue(backend, 0, buffers);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(5));
    auto elapsed = std::chrono::steady_clock::now() - started;
    // Paced, not instant: half a second of audio takes well over 50 ms.
    EXPECT_GT(elapsed, 250ms);

    std::vector<WAVEHDR*> data = recorder.Data();
    std::string captured;
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(data[i], &buffers.headers[i]) << "buffers come back in queue order";
        EXPECT_EQ(buffers.headers[i].dwBytesRecorded, kTenthBytes);
        EXPECT_TRUE(buffers.headers[i].dwFlags & WHDR_DONE);
        captured += buffers.Bytes(i);
    }
    EXPECT_EQ(captured, signal.substr(0, captured.size()));

    WaveInPosition position;
    ASSERT_EQ(backend.GetPosition(handle, position), kWaveInOk);
    EXPECT_FALSE(position.inBytes);
    EXPECT_GE(position.value, 5 * kRate / 10);

    ASSERT_EQ(backend.Close(handle), kWaveInOk);
    std::vector<Recorder::Event> events = recorder.Events();
    ASSERT_GE(events.size(), 7u);
    EXPECT_EQ(events.front().message, WaveInMessage::Opened);
    EXPECT_EQ(events.back().message, WaveInMessage::Closed);
    EXPECT_EQ(events.size(), 7u) << "no buffer was queued any more";
    for (size_t i = 1; i < 6; ++i) EXPECT_NE(events[i].thread, std::this_thread::get_id());
    EXPECT_EQ(backend.GetPosition(handle, position), kWaveInInvalidHandle);
}

TEST_F(AlsaWaveInBackendTest, StopHandsBackThePartialBufferOnceAndResetTheRest) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(3, 10 * kTenthBytes);  // a second each
    WaveInHandle handle = OpenAndQueue(backend, 0, buffers);
    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(backend.Stop(handle), kWaveInOk);

    std::vector<WAVEHDR*> data = recorder.Data();
    ASSERT_EQ(data.size(), 1u);
    ASSERT_EQ(data[0], &buffers.headers[0]);
    uint32_t partial = buffers.headers[0].dwBytesRecorded;
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, buffers.headers[0].dwBufferLength);
    EXPECT_EQ(partial % 4, 0u);
    EXPECT_TRUE(buffers.headers[0].dwFlags & WHDR_DONE);
    EXPECT_EQ(buffers.Bytes(0), signal.substr(0, partial));

    // Still queued buffers belong to the device.
    EXPECT_EQ(backend.UnprepareHeader(handle, &buffers.headers[1]), kWaveInStillQueued);
    EXPECT_EQ(backend.AddBuffer(handle, &buffers.headers[1]), kWaveInStillQueued);

    ASSERT_EQ(backend.Stop(handle), kWaveInOk);
    EXPECT_EQ(recorder.Data().size(), 1u) << "a second stop hands nothing back";

    ASSERT_EQ(backend.Reset(handle), kWaveInOk);
    data = recorder.Data();
    ASSERT_EQ(data.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(CountOf(data, &buffers.headers[i]), 1u);
    EXPECT_TRUE(buffers.headers[1].dwFlags & WHDR_DONE);
    EXPECT_TRUE(buffers.headers[2].dwFlags & WHDR_DONE);
    WaveInPosition position;
    ASSERT_EQ(backend.GetPosition(handle, position), kWaveInOk);
    EXPECT_EQ(position.value, 0u);

    for (WAVEHDR& h : buffers.headers) EXPECT_EQ(backend.UnprepareHeader(handle, &h), kWaveInOk);
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
    std::vector<Recorder::Event> events = recorder.Events();
    EXPECT_EQ(events.back().message, WaveInMessage::Closed);
    EXPECT_EQ(recorder.Data().size(), 3u);
}

TEST_F(AlsaWaveInBackendTest, StartAfterStopFillsTheStillQueuedBuffers) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(2, 10 * kTenthBytes);
    WaveInHandle handle = OpenAndQueue(backend, 0, buffers);
    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(backend.Stop(handle), kWaveInOk);
    ASSERT_EQ(recorder.Data().size(), 1u);
    uint32_t firstFrames = buffers.headers[0].dwBytesRecorded / 4;

    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(2));
    EXPECT_EQ(recorder.Data()[1], &buffers.headers[1]);
    std::string second = buffers.Bytes(1);
    ASSERT_EQ(second.size(), 10 * kTenthBytes);
    // The signal goes on after what the first buffer got, frame by frame.
    uint32_t first = FrameCounterAt(second, 0);
    EXPECT_GE(first, firstFrames);
    EXPECT_EQ(second, signal.substr(size_t(first) * 4, second.size()));
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, KeepsWhatArrivesWhileNoBufferIsQueuedAndHandsItOverInOrder) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(3, kTenthBytes);
    const WaveInHandle handle = StartWithTheFirstBufferOnly(backend, buffers);
    ASSERT_TRUE(recorder.WaitForData(1));
    // The consumer is late for longer than the ALSA buffer.
    auto late = std::chrono::milliseconds(2 * backend.BufferFrames(handle) * 1000 / kRate);
    std::this_thread::sleep_for(late);
    EXPECT_GT(backend.StoreFigures(handle).backlogFrames, backend.BufferFrames(handle));
    ASSERT_EQ(backend.AddBuffer(handle, &buffers.headers[1]), kWaveInOk);
    ASSERT_EQ(backend.AddBuffer(handle, &buffers.headers[2]), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(3));

    // Every frame, in order: the late period came from the store.
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(buffers.Bytes(i), signal.substr(i * kTenthBytes, kTenthBytes)) << "buffer " << i;
    const AlsaStoreFigures figures = backend.StoreFigures(handle);
    EXPECT_EQ(figures.capacityFrames, uint64_t(AlsaWaveInBackend::kStoreSeconds * kRate));
    EXPECT_GT(figures.peakBacklogFrames, backend.BufferFrames(handle));
    EXPECT_EQ(figures.lostFrames, 0u);
    EXPECT_EQ(backend.OverrunCount(handle), 0u);
    std::vector<WaveInLoss> losses;
    backend.TakeLosses(handle, losses);
    EXPECT_TRUE(losses.empty());
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, AFullStoreLosesTheNewestAudioAsOneLossAndTellsIt) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    backend.SetStoreSeconds(0.15);
    Buffers buffers(3, kTenthBytes);
    const WaveInHandle handle = StartWithTheFirstBufferOnly(backend, buffers);
    ASSERT_TRUE(recorder.WaitForData(1));
    std::this_thread::sleep_for(1s);  // far more than the store holds
    ASSERT_EQ(backend.AddBuffer(handle, &buffers.headers[1]), kWaveInOk);
    ASSERT_EQ(backend.AddBuffer(handle, &buffers.headers[2]), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(3));

    // The stored audio follows the first buffer without a gap ...
    EXPECT_EQ(buffers.Bytes(1), signal.substr(kTenthBytes, kTenthBytes));
    // ... and the loss is exactly the gap the signal shows after the store.
    std::vector<WaveInLoss> losses;
    backend.TakeLosses(handle, losses);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_EQ(losses[0].cause, WaveInLoss::Cause::StoreFull);
    const uint32_t storeEnd = kRate / 10 + uint32_t(0.15 * kRate);
    const std::string third = buffers.Bytes(2);
    const uint32_t storedInThird = storeEnd - 2 * (kRate / 10);
    ASSERT_EQ(third.substr(0, storedInThird * 4),
              signal.substr(2 * kTenthBytes, storedInThird * 4));
    const uint32_t resumed = FrameCounterAt(third, storedInThird * 4);
    EXPECT_EQ(uint64_t(resumed - storeEnd), losses[0].frames);
    EXPECT_GT(losses[0].frames, uint64_t(kRate / 2));
    EXPECT_LT(losses[0].frames, uint64_t(kRate));
    EXPECT_EQ(backend.StoreFigures(handle).lostFrames, losses[0].frames);
    // Announced once, as it ended.
    size_t lost = 0;
    for (const auto& e : recorder.Events()) lost += e.message == WaveInMessage::Lost;
    EXPECT_EQ(lost, 1u);
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    EXPECT_LT(now - losses[0].startUnixNs, int64_t(2e9));
    EXPECT_GT(now - losses[0].startUnixNs, int64_t(0.5e9));
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, RecoversFromAnOverrunAndGoesOn) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(4, kTenthBytes);
    WaveInHandle handle = OpenAndQueue(backend, 0, buffers);
    // The capture thread itself stalls for twice the ALSA buffer.
    recorder.StallOnFirstData(
        std::chrono::milliseconds(2 * backend.BufferFrames(handle) * 1000 / kRate));
    ASSERT_EQ(backend.Start(handle), kWaveInOk);
    ASSERT_TRUE(recorder.WaitForData(4, 10s));
    EXPECT_GE(backend.OverrunCount(handle), 1u);
    // The overrun is told as a loss of about the stalled time.
    std::vector<WaveInLoss> losses;
    backend.TakeLosses(handle, losses);
    ASSERT_GE(losses.size(), 1u);
    EXPECT_EQ(losses[0].cause, WaveInLoss::Cause::Overrun);
    EXPECT_GE(losses[0].frames, uint64_t(backend.BufferFrames(handle)));
    EXPECT_LE(losses[0].frames, uint64_t(3 * backend.BufferFrames(handle)));

    std::vector<WAVEHDR*> data = recorder.Data();
    uint32_t previousEnd = 0;
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(data[i], &buffers.headers[i]);
        std::string bytes = buffers.Bytes(i);
        ASSERT_EQ(bytes.size(), kTenthBytes);
        uint32_t first = FrameCounterAt(bytes, 0);
        EXPECT_GE(first, previousEnd);
        EXPECT_EQ(bytes, signal.substr(size_t(first) * 4, bytes.size()));
        previousEnd = first + kTenthBytes / 4;
    }
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
}

TEST_F(AlsaWaveInBackendTest, RefusesBadHandlesAndUnpreparedBuffers) {
    AlsaFixture fixture(signal);
    AlsaWaveInBackend backend;
    Buffers buffers(1, kTenthBytes);
    WAVEHDR* h = &buffers.headers[0];
    WaveInHandle bogus = 12345;
    WaveInPosition position;
    EXPECT_EQ(backend.Close(bogus), kWaveInInvalidHandle);
    EXPECT_EQ(backend.PrepareHeader(bogus, h), kWaveInInvalidHandle);
    EXPECT_EQ(backend.AddBuffer(bogus, h), kWaveInInvalidHandle);
    EXPECT_EQ(backend.Start(bogus), kWaveInInvalidHandle);
    EXPECT_EQ(backend.Stop(bogus), kWaveInInvalidHandle);
    EXPECT_EQ(backend.Reset(bogus), kWaveInInvalidHandle);
    EXPECT_EQ(backend.GetPosition(bogus, position), kWaveInInvalidHandle);

    WaveInHandle handle = 0;
    ASSERT_EQ(backend.Open(&handle, 0, MakePCMFormat(16, 2, kRate), recorder.Function(), false),
              kWaveInOk);
    EXPECT_EQ(backend.AddBuffer(handle, h), kWaveInUnprepared);
    for (WaveInResult code : {kWaveInInvalidHandle, kWaveInUnprepared, kWaveInStillQueued}) {
        std::string text;
        EXPECT_TRUE(backend.ErrorText(code, text));
        EXPECT_FALSE(text.empty());
    }
    std::string text;
    EXPECT_FALSE(backend.ErrorText(999, text));
    ASSERT_EQ(backend.Close(handle), kWaveInOk);
    EXPECT_EQ(backend.Close(handle), kWaveInInvalidHandle) << "a closed handle is gone";
}

}  // namespace
}  // namespace zt
