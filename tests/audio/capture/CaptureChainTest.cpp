// The capture chain as the recorder runs it: the wave-in component reading
// a paced ALSA PCM pushes into the MP3 encoder, which writes the segment
// file. The file must decode to what was captured.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "audio/SignalTestSupport.h"
#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "support/AlsaFixture.h"
#include "support/FileSystemLimits.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt::test {
namespace {

std::string AsBytes(const std::vector<int16_t>& pcm) {
    return std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * sizeof(int16_t));
}

class CaptureChain : public ::testing::Test {
protected:
    CaptureChain() : signal_(Sweep(44100, 2, 6.0)), fx_(AsBytes(signal_)) {
        wave_.SetBackend(std::make_unique<AlsaWaveInBackend>(fx_.Devices()));
        UseRecorderFormat(wave_);
        wave_.SetTimeFormat(TMMTimeFormats::tfMillisecond);
        mp3_.SetBitrate(TMMBitrates::br64);
        mp3_.SetInput(&wave_);
        wave_.OnStop = [this](TMMDSPComponent*) {
            ++stops_;
            wave_.Close();  // as the recorder does at every segment end
        };
    }
    ~CaptureChain() override { wave_.Close(); }

    // Records `ms` milliseconds into `file` and waits for the self-stop.
    void Record(const std::string& file, int32_t ms) {
        mp3_.SetFileName(file);
        wave_.SetMaxRecordTime(ms);
        wave_.Start();
        ASSERT_TRUE(RunUntil([&] { return stops_ > 0; }, std::chrono::milliseconds(ms + 10000)));
        EXPECT_FALSE(wave_.IsOpened());
    }

    std::vector<int16_t> signal_;
    AlsaFixture fx_;
    ScriptedDialogs dialogs_;
    TempDir dir_;
    TMMCustomWaveIn wave_{"WaveIn"};
    TMMMP3Encoder mp3_{"MP3"};
    int stops_ = 0;
};

TEST_F(CaptureChain, SegmentDecodesToTheCapturedSignal) {
    const std::string file = dir_.file("0812121530.mp3");
    Record(file, 2500);

    const DecodedMp3 decoded = DecodeMp3(ReadFileBytes(file));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.rate, 44100);
    EXPECT_EQ(decoded.channels, 2);
    // 2.5 s exactly were captured; the info frame makes the decoder drop
    // the encoder's delay and padding, so the length matches within a frame.
    EXPECT_NEAR(double(decoded.Frames()), 110250.0, 1152.0);
    for (int channel = 0; channel < 2; ++channel) {
        const Correlation c = Correlate(signal_, decoded.samples, 2, channel, 1200);
        EXPECT_GT(c.peak, 0.9) << "channel " << channel;
        EXPECT_LE(std::abs(c.lag), 1) << "channel " << channel;
    }
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(CaptureChain, FormatsTheEncoderCannotTakeAreRefusedAtOpen) {
    struct Case {
        int32_t rate;
        TMMBits bits;
    };
    for (const Case c : {Case{22050, TMMBits::b16Bit}, Case{44100, TMMBits::b8Bit}}) {
        SCOPED_TRACE(c.rate);
        wave_.SetSampleRate(c.rate);
        wave_.SetBitLength(c.bits);
        const std::string file = dir_.file("refused.mp3");
        mp3_.SetFileName(file);
        try {
            wave_.Open();
            ADD_FAILURE() << "Open did not fail";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Unsupported Input Format");
        }
        EXPECT_FALSE(wave_.IsOpened());
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

TEST_F(CaptureChain, EmptyFileNameRecordsWithoutCreatingAFile) {
    mp3_.SetFileName("");
    wave_.SetMaxRecordTime(300);
    wave_.Start();
    ASSERT_TRUE(RunUntil([&] { return stops_ > 0; }));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(CaptureChain, FullFileSystemEndsTheFileButNotTheRecording) {
    TinyTmpfs tmpfs(dir_.file("tiny"), "32k");
    if (!tmpfs.Mounted()) GTEST_SKIP() << tmpfs.Error();
    const std::string mountPoint = tmpfs.Path();

    // 6 s at 64 kbit/s is about 48 KB: more than the 32 KB there is.
    const std::string file = mountPoint + "/seg.mp3";
    int buffers = 0;
    wave_.OnBufferReady = [&](TMMDSPComponent*, PWaveHdr) { ++buffers; };
    Record(file, 6000);

    // The capture ran to its limit: the encoder closed itself quietly.
    EXPECT_EQ(buffers, (6 * 176400 + 4095) / 4096);
    EXPECT_TRUE(dialogs_.shown.empty());
    const std::string bytes = ReadFileBytes(file);
    EXPECT_GT(bytes.size(), 16u * 1024);
    EXPECT_LE(bytes.size(), 32u * 1024);
    const DecodedMp3 decoded = DecodeMp3(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_GT(decoded.Frames(), 44100u * 2);
}

}  // namespace
}  // namespace zt::test
