// The ALSA fixture itself: its configuration is what this process and a peer
// process (arecord) see, and it is replaced and restored per fixture.

#include "support/AlsaFixture.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace zt::test {
namespace {

// Reads `frames` frames of 44100 Hz 16-bit stereo from `pcm`, blocking.
std::string ReadFrames(const char* pcm, unsigned frames) {
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, pcm, SND_PCM_STREAM_CAPTURE, 0) < 0) return "open failed";
    std::string bytes(size_t(frames) * 4, '\0');
    snd_pcm_sframes_t got = -1;
    if (snd_pcm_set_params(handle, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, 44100,
                           0, 200000) == 0)
        got = snd_pcm_readi(handle, bytes.data(), frames);
    snd_pcm_close(handle);
    if (got != snd_pcm_sframes_t(frames)) return "read failed";
    return bytes;
}

TEST(AlsaFixture, EachFixtureReplacesTheConfigurationAndRestoresItAfter) {
    setenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf", 1);
    std::string first = FrameCounterSignal(4410);
    std::string second = FrameCounterSignal(8820).substr(4410 * 4);
    {
        AlsaFixture fixture(first);
        EXPECT_EQ(std::string(std::getenv("ALSA_CONFIG_PATH")), fixture.ConfigPathValue());
        EXPECT_EQ(ReadFrames("default", 4410), first);
        EXPECT_EQ(ReadFrames("zt_capture", 4410), first) << "each open reads from the start";
    }
    {
        AlsaFixture fixture(second);
        EXPECT_EQ(ReadFrames("zt_capture", 4410), second);
    }
    EXPECT_EQ(std::string(std::getenv("ALSA_CONFIG_PATH")), "/usr/share/alsa/alsa.conf");
    snd_pcm_t* handle = nullptr;
    EXPECT_LT(snd_pcm_open(&handle, "zt_capture", SND_PCM_STREAM_CAPTURE, 0), 0);
    unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

TEST(AlsaFixture, SilenceFollowsTheEndOfTheBytes) {
    std::string bytes = FrameCounterSignal(100);
    AlsaFixture fixture(bytes);
    std::string got = ReadFrames("zt_capture", 4410);
    ASSERT_EQ(got.size(), 4410u * 4);
    EXPECT_EQ(got.substr(0, bytes.size()), bytes);
    EXPECT_EQ(got.substr(bytes.size()), std::string(got.size() - bytes.size(), '\0'));
}

TEST(AlsaFixture, ArecordCapturesTheSameBytes) {
    if (std::system("command -v arecord > /dev/null 2>&1") != 0) GTEST_SKIP() << "no arecord";
    std::string bytes = FrameCounterSignal(44100);
    AlsaFixture fixture(bytes);
    TempDir dir;
    std::string out = dir.file("out.raw");
    std::string command = "ALSA_CONFIG_PATH='" + fixture.ConfigPathValue() +
                          "' arecord -q -D zt_capture -f cd -t raw -s 22050 '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(out), bytes.substr(0, 22050 * 4));
}

}  // namespace
}  // namespace zt::test
