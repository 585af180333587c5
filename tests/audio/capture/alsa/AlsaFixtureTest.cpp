// The ALSA fixture itself: its configuration is what this process and a peer
// process (arecord) see, and it is replaced and restored per fixture. The
// clock PCM delivers the frames of the wall clock and loses what is not
// read in time; the tools that measure recordings of it find the frame a
// stretch belongs to, through MP3 coding, and report cuts to the frame.

#include "support/AlsaFixture.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/ClockSignal.h"
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

// --- The clock signal and the tools that place recordings of it ---

const char* FormatName(snd_pcm_format_t format) {
    return snd_pcm_format_name(format);
}

// How the clock PCM carries the 16-bit sample v in `format`.
void AppendSample(std::string& out, snd_pcm_format_t format, int16_t v) {
    char bytes[4];
    size_t n = 0;
    switch (format) {
        case SND_PCM_FORMAT_U8:
            bytes[0] = char(uint8_t((v >> 8) + 128));
            n = 1;
            break;
        case SND_PCM_FORMAT_S16_LE:
            std::memcpy(bytes, &v, 2);
            n = 2;
            break;
        case SND_PCM_FORMAT_S24_LE: {
            const int32_t s = int32_t(v) * 256;
            std::memcpy(bytes, &s, 4);
            n = 4;
            break;
        }
        case SND_PCM_FORMAT_S32_LE: {
            const int32_t s = int32_t(v) * 65536;
            std::memcpy(bytes, &s, 4);
            n = 4;
            break;
        }
        case SND_PCM_FORMAT_FLOAT_LE: {
            const float f = float(v) / 32768.0f;
            std::memcpy(bytes, &f, 4);
            n = 4;
            break;
        }
        default:
            break;
    }
    out.append(bytes, n);
}

std::string ExpectedClockBytes(int64_t first, size_t frames, unsigned channels,
                               snd_pcm_format_t format) {
    std::string out;
    for (size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c)
            AppendSample(out, format, ClockSample(first + int64_t(i), c));
    return out;
}

// The first frame where two captures differ, or -1.
long FirstDifference(const std::string& got, const std::string& want, size_t frameBytes) {
    if (got == want) return -1;
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i]) return long(i / frameBytes);
    return long(std::min(got.size(), want.size()) / frameBytes);
}

std::vector<int16_t> Samples16(const std::string& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

class ClockCapture {
public:
    ClockCapture(const char* name, snd_pcm_access_t access, snd_pcm_format_t format,
                 unsigned channels, unsigned rate, unsigned latencyUs)
        : access_(access) {
        if (snd_pcm_open(&pcm_, name, SND_PCM_STREAM_CAPTURE, 0) < 0) {
            pcm_ = nullptr;
            return;
        }
        if (snd_pcm_set_params(pcm_, format, access, channels, rate, 0, latencyUs) < 0) {
            snd_pcm_close(pcm_);
            pcm_ = nullptr;
            return;
        }
        frameBytes_ = size_t(snd_pcm_format_physical_width(format) / 8) * channels;
    }
    ~ClockCapture() {
        if (pcm_) snd_pcm_close(pcm_);
    }
    bool Ok() const { return pcm_ != nullptr; }
    snd_pcm_t* Pcm() const { return pcm_; }
    size_t FrameBytes() const { return frameBytes_; }

    // Reads `frames` frames in chunks of uneven sizes, so that reads end
    // anywhere in a period and cross the end of the ring at odd places.
    // Returns the error of a read that fails (the frames so far stay in
    // `out`).
    snd_pcm_sframes_t Read(size_t frames, std::string& out) {
        static const size_t chunks[] = {1000, 333, 2205, 17, 4093};
        size_t done = 0;
        for (size_t i = 0; done < frames; ++i) {
            const size_t want = std::min(chunks[i % 5], frames - done);
            std::string buf(want * frameBytes_, '\0');
            const snd_pcm_sframes_t got = access_ == SND_PCM_ACCESS_MMAP_INTERLEAVED
                                              ? snd_pcm_mmap_readi(pcm_, buf.data(), want)
                                              : snd_pcm_readi(pcm_, buf.data(), want);
            if (got < 0) return got;
            out.append(buf, 0, size_t(got) * frameBytes_);
            done += size_t(got);
        }
        return snd_pcm_sframes_t(done);
    }

private:
    snd_pcm_t* pcm_ = nullptr;
    snd_pcm_access_t access_;
    size_t frameBytes_ = 0;
};

TEST(ClockSignal, TheGeneratorMatchesThePluginsSamplesAndIsBroadbandNoise) {
    // The tests' generator filters a run of noise at once; the plugin
    // computes each sample on its own. Both must agree to the bit anywhere
    // on the time line, negative indices and long uptimes included.
    for (const int64_t first : {int64_t(0), int64_t(-40), int64_t(123456789), int64_t(1) << 40}) {
        const std::vector<int16_t> block = ClockSignal(first, 1000, 2);
        for (size_t i = 0; i < 1000; ++i)
            for (unsigned c = 0; c < 2; ++c)
                ASSERT_EQ(block[i * 2 + c], ClockSample(first + int64_t(i), c))
                    << "frame " << first << " + " << i << ", channel " << c;
    }
    // What the placement relies on: a level an encoder keeps, and
    // neighbours that differ enough for a lag of one frame to show but not
    // so much that the noise reaches where an encoder cuts.
    const std::vector<int16_t> s = ClockSignal(987654321, 441000, 1);
    double energy = 0, lag1 = 0, lag2 = 0;
    for (size_t i = 0; i + 2 < s.size(); ++i) {
        energy += double(s[i]) * s[i];
        lag1 += double(s[i]) * s[i + 1];
        lag2 += double(s[i]) * s[i + 2];
    }
    const double dbfs = 10 * std::log10(energy / double(s.size()) / (32768.0 * 32768.0));
    EXPECT_GT(dbfs, -12.5);
    EXPECT_LT(dbfs, -9.5);
    EXPECT_LT(lag1 / energy, 0.9);
    EXPECT_GT(lag1 / energy, 0.7) << "not band-limited: an encoder would smear it";
    EXPECT_LT(lag2 / energy, 0.6);
}

TEST(ClockSignal, AWindowIsPlacedToTheFrameWithinItsRadiusAndNowhereOutside) {
    const int64_t base = 5'000'000'000;  // some 31 hours of uptime at 44.1 kHz
    const std::vector<int16_t> samples = ClockSignal(base, 30000, 2);
    struct Case {
        size_t offset;
        int64_t guessError;  // expected index - true index
        int64_t radius;
        bool within;
    };
    // Radii up to a few hundred frames are searched directly, wider ones
    // through the FFT; both must find the same frame.
    const Case cases[] = {
        {0, 0, 0, true},           {1000, 16, 16, true},          {1000, -16, 16, true},
        {1000, 17, 16, false},     {1000, -17, 16, false},        {1000, 300, 200, false},
        {5000, 3000, 4096, true},  {5000, -4096, 4096, true},     {5000, 4097, 4096, false},
        {5000, 9000, 4096, false}, {20000, 200000, 441000, true}, {27952, -1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + ", guess off by " +
                     std::to_string(c.guessError) + ", radius " + std::to_string(c.radius));
        const int64_t truth = base + int64_t(c.offset);
        const ClockMatch m =
            FindClockIndex(samples, 2, c.offset, 2048, truth + c.guessError, c.radius);
        if (c.within) {
            EXPECT_EQ(m.index, truth);
            EXPECT_GT(m.correlation, 0.9999);
            EXPECT_NEAR(m.gain, 1.0, 1e-9);
        } else {
            // At best the edge of the radius, next to the truth: about the
            // signal's correlation at a lag of one frame.
            EXPECT_NE(m.index, truth);
            EXPECT_LT(m.correlation, 0.85);
        }
    }
    // Level does not matter, and silence matches nothing.
    std::vector<int16_t> quieter(samples);
    for (int16_t& v : quieter) v = int16_t(v / 4);
    const ClockMatch q = FindClockIndex(quieter, 2, 3000, 2048, base + 2900, 200);
    EXPECT_EQ(q.index, base + 3000);
    EXPECT_NEAR(q.gain, 0.25, 0.01);
    const std::vector<int16_t> silence(20000, 0);
    EXPECT_EQ(FindClockIndex(silence, 2, 0, 2048, base, 100).correlation, 0.0);
    EXPECT_EQ(FindClockIndex(samples, 2, 29000, 2048, base, 100).correlation, 0.0)
        << "a window past the end";
}

TEST(AlsaFixture, TheClockPcmDeliversTheFramesOfTheClockFromTheLoggedStart) {
    // Every frame read must be the clock's frame at (start + position):
    // which proves that the plugin takes the stream position of a transfer
    // from appl_ptr as alsa-lib leaves it (read/write: the frames go to the
    // reader's buffer; mmap: to the ring, split at its end).
    struct Case {
        const char* pcm;
        snd_pcm_access_t access;
        snd_pcm_format_t format;
        unsigned channels, rate;
    };
    const Case cases[] = {
        {"clock", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S16_LE, 2, 44100},
        {"clock", SND_PCM_ACCESS_MMAP_INTERLEAVED, SND_PCM_FORMAT_S16_LE, 2, 44100},
        {"clock", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S16_LE, 1, 48000},
        {"clock", SND_PCM_ACCESS_MMAP_INTERLEAVED, SND_PCM_FORMAT_U8, 1, 8000},
        {"clock", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S24_LE, 2, 44100},
        {"clock", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S32_LE, 2, 22050},
        {"clock", SND_PCM_ACCESS_MMAP_INTERLEAVED, SND_PCM_FORMAT_FLOAT_LE, 2, 44100},
        {"default", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S16_LE, 2, 44100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pcm) + " " + snd_pcm_access_name(c.access) + " " +
                     FormatName(c.format) + " " + std::to_string(c.channels) + " ch " +
                     std::to_string(c.rate) + " Hz");
        AlsaFixture fixture({ClockPcm("clock")});
        // A 50 ms buffer: a third of a second crosses the ring's end often.
        ClockCapture capture(c.pcm, c.access, c.format, c.channels, c.rate, 50000);
        ASSERT_TRUE(capture.Ok());
        const size_t frames = c.rate / 3;
        std::string got;
        const int64_t before = ClockFrameNow(c.rate);
        ASSERT_EQ(capture.Read(1000, got), 1000);
        const int64_t after = ClockFrameNow(c.rate);
        ASSERT_EQ(capture.Read(frames - 1000, got), snd_pcm_sframes_t(frames - 1000));

        const std::vector<int64_t> starts = fixture.StartFrames(c.pcm);
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(fixture.StartFrames("default"), fixture.StartFrames("clock"));
        // The stream starts within the first read.
        EXPECT_GE(starts[0], before);
        EXPECT_LE(starts[0], after);
        EXPECT_EQ(FirstDifference(got, ExpectedClockBytes(starts[0], frames, c.channels, c.format),
                                  capture.FrameBytes()),
                  -1);
    }
}

TEST(AlsaFixture, AReaderThatStallsLosesTheClocksFramesOfTheStall) {
    AlsaFixture fixture({ClockPcm("clock", 44100)});
    ClockCapture capture("clock", SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_FORMAT_S16_LE, 2, 44100,
                         100000);
    ASSERT_TRUE(capture.Ok());
    std::string first, second;
    ASSERT_EQ(capture.Read(8820, first), 8820);
    const int64_t readBy = ClockFrameNow(44100);
    // Four buffers' worth of stall.
    const auto stall = std::chrono::milliseconds(400);
    std::this_thread::sleep_for(stall);
    std::string lost;
    EXPECT_EQ(capture.Read(1000, lost), -EPIPE);
    EXPECT_TRUE(lost.empty());
    const int64_t restartAfter = ClockFrameNow(44100);
    ASSERT_EQ(snd_pcm_prepare(capture.Pcm()), 0);
    ASSERT_EQ(capture.Read(1000, second), 1000);
    const int64_t restartBy = ClockFrameNow(44100);
    ASSERT_EQ(capture.Read(7820, second), 7820);

    const std::vector<int64_t> starts = fixture.StartFrames("clock");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(
        FirstDifference(first, ExpectedClockBytes(starts[0], 8820, 2, SND_PCM_FORMAT_S16_LE), 4),
        -1);
    EXPECT_EQ(
        FirstDifference(second, ExpectedClockBytes(starts[1], 8820, 2, SND_PCM_FORMAT_S16_LE), 4),
        -1);
    // The frames read were there by the end of the read, and the new start
    // lies between the recovery and the end of the first read after it, so
    // the frames between the two reads are gone: at least the stall's.
    EXPECT_LE(starts[0] + 8820, readBy);
    EXPECT_GE(starts[1], restartAfter);
    EXPECT_LE(starts[1], restartBy);
    const int64_t gap = starts[1] - (starts[0] + 8820);
    EXPECT_GE(gap, int64_t(44100 * stall.count() / 1000));

    // The measuring tool sees the same gap, to the frame, from the audio.
    const std::vector<int16_t> both = Samples16(first + second);
    const ClockScan scan = ScanClockStream(both, 2, starts[0], 0);
    EXPECT_TRUE(scan.located);
    EXPECT_EQ(scan.firstIndex, starts[0]);
    EXPECT_EQ(scan.endIndex, starts[1] + 8820);
    EXPECT_EQ(scan.defects, (std::vector<ClockDefect>{{8820, gap}}));
    EXPECT_TRUE(scan.unmatched.empty());
}

TEST(AlsaFixture, ArecordCapturesTheClockFromItsLoggedStart) {
    if (FindProgram("arecord").empty()) GTEST_SKIP() << "no arecord";
    AlsaFixture fixture({ClockPcm("clock")});
    TempDir dir;
    const std::string out = dir.file("out.raw");
    const std::string command = "ALSA_CONFIG_PATH='" + fixture.ConfigPathValue() +
                                "' arecord -q -D clock -f cd -t raw -s 22050 '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<int64_t> starts = fixture.StartFrames("clock");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(FirstDifference(ReadFileBytes(out), ClockSignalBytes(starts[0], 22050, 2), 4), -1);
}

// Raw PCM of the clock signal from `base`, edited: each (position, frames)
// drops that many frames there (frames > 0) or repeats that many before it
// (frames < 0).
std::string EditedClockBytes(int64_t base, size_t frames, const std::vector<ClockDefect>& edits) {
    std::vector<int64_t> indices;
    int64_t next = base;
    size_t e = 0;
    while (indices.size() < frames) {
        if (e < edits.size() && indices.size() == edits[e].position) {
            next += edits[e].frames;
            ++e;
        }
        indices.push_back(next++);
    }
    std::string bytes;
    for (const int64_t n : indices)
        for (unsigned c = 0; c < 2; ++c)
            AppendSample(bytes, SND_PCM_FORMAT_S16_LE, ClockSample(n, c));
    return bytes;
}

enum class Reader { Mpg123Program, Mpg123Library };

DecodedMp3 EncodeAndDecode(const std::string& pcm, unsigned kbps, Reader reader,
                           bool jointStereo = true) {
    TempDir dir;
    const std::string mp3 = dir.file("signal.mp3");
    std::string log;
    if (!EncodeMp3WithLameProgram(pcm, 44100, 2, kbps, mp3, &log, jointStereo)) {
        DecodedMp3 failed;
        failed.error = "lame failed: " + log;
        return failed;
    }
    return reader == Reader::Mpg123Program ? DecodeMp3WithMpg123Program(mp3)
                                           : DecodeMp3(ReadFileBytes(mp3));
}

bool HavePeerCoders() {
    return !FindProgram("lame").empty() && !FindProgram("mpg123").empty();
}

TEST(ClockSignal, AnMp3OfTheSignalIsPlacedToTheFrameEverywhere) {
    if (!HavePeerCoders()) GTEST_SKIP() << "needs the lame and mpg123 programs";
    const int64_t base = 3'141'592'653;
    const size_t frames = 5 * 44100;
    const std::string pcm = ClockSignalBytes(base, frames, 2);
    struct Case {
        unsigned kbps;
        bool jointStereo;
        Reader reader;
    };
    for (const Case c :
         {Case{64, true, Reader::Mpg123Program}, Case{64, false, Reader::Mpg123Program},
          Case{128, false, Reader::Mpg123Program}, Case{64, false, Reader::Mpg123Library}}) {
        SCOPED_TRACE(std::to_string(c.kbps) + " kbit/s " + (c.jointStereo ? "joint" : "plain") +
                     " stereo, " +
                     (c.reader == Reader::Mpg123Program ? "mpg123 program" : "libmpg123"));
        const DecodedMp3 decoded = EncodeAndDecode(pcm, c.kbps, c.reader, c.jointStereo);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.rate, 44100);
        ASSERT_EQ(decoded.channels, 2);
        EXPECT_EQ(decoded.Frames(), frames) << "gapless decoding gives back every frame";

        const ClockScan scan = ScanClockStream(decoded.samples, 2, base, 4096, {.step = 11025});
        EXPECT_TRUE(scan.located);
        EXPECT_EQ(scan.firstIndex, base);
        EXPECT_EQ(scan.endIndex, base + int64_t(decoded.Frames()));
        EXPECT_TRUE(scan.defects.empty());
        EXPECT_TRUE(scan.unmatched.empty());
        EXPECT_GT(scan.worstCorrelation, 0.6);

        // One frame off is clearly worse than the truth, in every window.
        double worstMargin = 1;
        for (size_t at = 0; at + 2048 <= frames; at += 11025) {
            const int64_t truth = base + int64_t(at);
            const double right = FindClockIndex(decoded.samples, 2, at, 2048, truth, 0).correlation;
            for (const int64_t off : {int64_t(-1), int64_t(1)}) {
                const double wrong =
                    FindClockIndex(decoded.samples, 2, at, 2048, truth + off, 0).correlation;
                worstMargin = std::min(worstMargin, right - wrong);
            }
        }
        EXPECT_GT(worstMargin, 0.03);
    }
}

TEST(ClockSignal, CutsMadeBeforeEncodingAreFoundWhereTheyAreWithTheirSize) {
    if (!HavePeerCoders()) GTEST_SKIP() << "needs the lame and mpg123 programs";
    const int64_t base = 2'718'281'828;
    const size_t frames = 4 * 44100;
    // The size of a cut comes out exact. Its place is where the audio stops
    // following one placement and follows the other: a long cut changes
    // the audio completely and shows within a few frames; a cut of one
    // frame changes it subtly, and the coder's noise blurs the spot (to
    // about 3 ms at 64 kbit/s plain stereo, a third of that in joint).
    const auto tolerance = [](int64_t frames) { return std::abs(frames) > 1 ? 16.0 : 200.0; };
    const std::vector<std::vector<ClockDefect>> cases = {
        {{70000, 1}},
        {{120001, -1}},
        {{50000, 441}},
        {{150000, -2205}},
        {{40000, 1}, {130000, -1}},
        {{30000, 20000}, {100000, -44100}},
    };
    for (const std::vector<ClockDefect>& edits : cases) {
        std::string name;
        int64_t net = 0;
        for (const ClockDefect& d : edits) {
            name += std::to_string(d.frames) + " at " + std::to_string(d.position) + "; ";
            net += d.frames;
        }
        SCOPED_TRACE(name);
        // Plain stereo: each channel gets half the bits, the harder case.
        const DecodedMp3 decoded = EncodeAndDecode(EditedClockBytes(base, frames, edits), 64,
                                                   Reader::Mpg123Program, false);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        const ClockScan scan = ScanClockStream(decoded.samples, 2, base, 4096, {.step = 11025});
        EXPECT_EQ(scan.firstIndex, base);
        EXPECT_EQ(scan.endIndex, base + int64_t(decoded.Frames()) + net);
        ASSERT_EQ(scan.defects.size(), edits.size());
        for (size_t i = 0; i < edits.size(); ++i) {
            EXPECT_EQ(scan.defects[i].frames, edits[i].frames);
            EXPECT_NEAR(double(scan.defects[i].position), double(edits[i].position),
                        tolerance(edits[i].frames));
        }
    }
}

TEST(ClockSignal, TheJoinOfTwoMp3FilesShowsTheFramesMissingOrRepeatedBetweenThem) {
    if (!HavePeerCoders()) GTEST_SKIP() << "needs the lame and mpg123 programs";
    const int64_t base = 1'414'213'562;
    const size_t frames = 2 * 44100;
    const DecodedMp3 first =
        EncodeAndDecode(ClockSignalBytes(base, frames, 2), 64, Reader::Mpg123Program);
    ASSERT_TRUE(first.ok) << first.error;
    for (const int64_t gap : {int64_t(0), int64_t(1), int64_t(-1), int64_t(100), int64_t(-3000)}) {
        SCOPED_TRACE("gap " + std::to_string(gap));
        const int64_t next = base + int64_t(frames) + gap;
        const DecodedMp3 second =
            EncodeAndDecode(ClockSignalBytes(next, frames, 2), 64, Reader::Mpg123Program);
        ASSERT_TRUE(second.ok) << second.error;
        const ClockJoin join =
            CheckClockJoin(first.samples, second.samples, 2, base + int64_t(frames), 4096);
        EXPECT_TRUE(join.located);
        EXPECT_EQ(join.tailEnd, base + int64_t(frames));
        EXPECT_EQ(join.headIndex, next);
        EXPECT_EQ(join.frames, gap);
    }
}

}  // namespace
}  // namespace zt::test
