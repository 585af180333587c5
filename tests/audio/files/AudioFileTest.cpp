#include "audio/files/AudioFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "audio/chain/MMErrors.h"
#include "audio/convert/CodecTestSupport.h"
#include "audio/files/Mpg123Decoder.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "audio/pump/PumpTestSupport.h"
#include "audio/pump/Trigger.h"
#include "support/ChildProcess.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::PumpSink;
using test::RunUntil;

std::string DecodedBytes(const std::string& mp3) {
    const test::DecodedMp3 d = test::DecodeMp3(mp3);
    EXPECT_TRUE(d.ok) << d.error;
    return test::PcmBytes(d.samples);
}

// Deterministic noise that no decoder takes for audio.
std::string Garbage(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 2463534242u;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xff);
    }
    return s;
}

// The export chain without its converter: audio file -> pump -> sink.
class AudioFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(SharedMpegDecoderLoader().Get(), nullptr) << "libmpg123.so.0 is missing";
        ASSERT_NE(SharedMp3EncoderLibrary(), nullptr) << "libmp3lame.so.0 is missing";
        trigger.SetInput(&file);
        trigger.SetOutput(&sink);
        trigger.SetBufferSize(32768);
        trigger.SetTimeFormat(TMMTimeFormats::tfSample);
        trigger.OnStop = [this](TMMDSPComponent*) { ++stops; };
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir.file(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }

    // One export run: the bytes that reached the sink.
    std::string Pump() {
        sink.Clear();
        stops = 0;
        trigger.Start();
        EXPECT_TRUE(RunUntil([this] { return stops.load() > 0; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(stops, 1);
        return sink.Bytes();
    }

    std::string Error(const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }

    const WAVEFORMATEX& Format() {
        static const WAVEFORMATEX none{};
        return file.GetWaveFormat() ? *file.GetWaveFormat() : none;
    }

    test::ScriptedDialogs dialogs;
    test::TempDir dir;
    TMMAudioFile file{"AudioFile"};
    TMMTrigger trigger{"Trigger"};
    PumpSink sink{"Sink"};
    std::atomic<int> stops{0};
};

TEST_F(AudioFileTest, TenSecondsOfStereoMp3ArriveWhole) {
    const std::string mp3 = test::EncodeMp3(test::TonePcm(44100, 2, 10.0), 44100, 2, 128);
    const std::string expected = DecodedBytes(mp3);
    file.SetFileName(Write("ten.mp3", mp3));
    EXPECT_EQ(file.FileType(), TMMAudioFileType::ftMpeg);
    EXPECT_EQ(Format().nChannels, 2);
    EXPECT_EQ(Format().nSamplesPerSec, 44100u);
    EXPECT_EQ(Format().wBitsPerSample, 16);
    EXPECT_NEAR(file.FileEnd(), 10000, 30);

    const std::string got = Pump();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "decoded bytes differ";
    EXPECT_EQ(sink.Buffers(), static_cast<int>((expected.size() + 32767) / 32768));
    EXPECT_NEAR(sink.Buffers(), 54, 1);
    EXPECT_EQ(sink.BuffersOffMainThread(), sink.Buffers());
    EXPECT_TRUE(dialogs.shown.empty());
}

enum class Kind { PcmWave, MonoMp3, Tag85Wave, Tag80Wave, TruncatedMp3 };

struct ReadCase {
    const char* name;
    Kind kind;
    TMMAudioFileType type;
    uint16_t channels;
    uint32_t rate;
};

class AudioFileReadTest : public AudioFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(AudioFileReadTest, DeliversTheFilesAudio) {
    const ReadCase& c = GetParam();
    const auto pcm = test::TonePcm(c.rate, c.channels, 1.5);
    std::string bytes, expected;
    switch (c.kind) {
        case Kind::PcmWave:
            test::WritePcmWave(dir.file("in"), pcm, c.rate, c.channels);
            expected = test::PcmBytes(pcm);
            break;
        case Kind::MonoMp3:
            bytes = test::EncodeMp3(pcm, c.rate, c.channels, 64);
            expected = DecodedBytes(bytes);
            break;
        case Kind::Tag85Wave:
        case Kind::Tag80Wave: {
            const std::string mp3 = test::EncodeMp3(pcm, c.rate, c.channels, 128);
            bytes = test::RiffWave(c.kind == Kind::Tag85Wave ? 85 : 80, c.channels, c.rate, mp3);
            expected = DecodedBytes(mp3);
            break;
        }
        case Kind::TruncatedMp3: {
            const std::string mp3 = test::EncodeMp3(pcm, c.rate, c.channels, 128);
            bytes = mp3.substr(0, mp3.size() * 6 / 10 + 77);  // cut inside a frame
            expected = DecodedBytes(mp3);
            break;
        }
    }
    if (!bytes.empty()) Write("in", bytes);
    file.SetFileName(dir.file("in"));
    EXPECT_TRUE(file.HasFile());
    EXPECT_EQ(file.FileName(), dir.file("in"));
    EXPECT_EQ(file.FileType(), c.type);
    EXPECT_EQ(Format().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(Format().nChannels, c.channels);
    EXPECT_EQ(Format().nSamplesPerSec, c.rate);

    const std::string got = Pump();
    if (c.kind == Kind::TruncatedMp3) {
        // What is there decodes as it would in the whole file; the cut
        // frame is dropped.
        ASSERT_GT(got.size(), expected.size() / 3);
        ASSERT_LT(got.size(), expected.size());
        EXPECT_TRUE(got == expected.substr(0, got.size()));
    } else {
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, AudioFileReadTest,
    ::testing::Values(ReadCase{"PcmWave", Kind::PcmWave, TMMAudioFileType::ftWave, 2, 22050},
                      ReadCase{"MonoMp3", Kind::MonoMp3, TMMAudioFileType::ftMpeg, 1, 32000},
                      ReadCase{"Tag85Wave", Kind::Tag85Wave, TMMAudioFileType::ftMpeg, 2, 44100},
                      ReadCase{"Tag80Wave", Kind::Tag80Wave, TMMAudioFileType::ftMpeg, 2, 48000},
                      ReadCase{"TruncatedMp3", Kind::TruncatedMp3, TMMAudioFileType::ftMpeg, 2,
                               44100}),
    [](const auto& info) { return std::string(info.param.name); });

// Compressed WAV files written by an independent program (sox): the
// normaliser decodes them to 16-bit PCM at their own rate, and the tone
// survives (a wrong GSM framing would decode to noise without an error).
struct CodecWaveCase {
    const char* name;
    const char* encoding;  // sox's name
    uint16_t tag;
};

class AudioFileCodecWaveTest : public AudioFileTest,
                               public ::testing::WithParamInterface<CodecWaveCase> {};

TEST_P(AudioFileCodecWaveTest, DecodesToPcmWithTheTone) {
    const CodecWaveCase& c = GetParam();
    const std::string path = dir.file(std::string(c.name) + ".wav");
    test::RunCommand("sox -n -r 8000 -c 1 -e " + std::string(c.encoding) + " '" + path +
                     "' synth 3 sine 1000 vol 0.5 2>&1");
    ASSERT_EQ(test::RunCommand("soxi -r '" + path + "' 2>/dev/null"), "8000") << "sox is missing";
    const std::string written = test::ReadFileBytes(path);
    ASSERT_GT(written.size(), 22u);
    ASSERT_EQ(static_cast<uint8_t>(written[20]) | static_cast<uint8_t>(written[21]) << 8, c.tag);

    file.SetFileName(path);
    EXPECT_EQ(file.FileType(), TMMAudioFileType::ftWave);
    EXPECT_EQ(Format().wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(Format().wBitsPerSample, 16);
    EXPECT_EQ(Format().nChannels, 1);
    EXPECT_EQ(Format().nSamplesPerSec, 8000u);
    EXPECT_NEAR(file.FileEnd(), 3000, 40);

    const std::vector<int16_t> got = test::Samples(Pump());
    // Whole file: GSM rounds up to a block of 320 samples.
    EXPECT_GE(got.size(), 24000u);
    EXPECT_LE(got.size(), 24000u + 320u);
    EXPECT_NEAR(test::DominantFrequency(got, 8000), 1000, 15);
    EXPECT_GT(test::Rms(got), 0.5 * 16384 / std::sqrt(2.0) * 0.7);
    EXPECT_TRUE(dialogs.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, AudioFileCodecWaveTest,
                         ::testing::Values(CodecWaveCase{"Gsm", "gsm-full-rate", 0x31},
                                           CodecWaveCase{"ALaw", "a-law", 6},
                                           CodecWaveCase{"MuLaw", "u-law", 7}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::function<std::string()> bytes;
};

class AudioFileRefusedTest : public AudioFileTest,
                             public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(AudioFileRefusedTest, IsNotAnAudioFileAndTheNextGoodFileExports) {
    const auto pcm = test::TonePcm(44100, 2, 0.5);
    test::WritePcmWave(dir.file("good1.wav"), pcm, 44100, 2);
    file.SetFileName(dir.file("good1.wav"));
    EXPECT_EQ(Pump(), test::PcmBytes(pcm));

    const std::string bad = Write("bad", GetParam().bytes());
    EXPECT_EQ(Error([&] { file.SetFileName(bad); }), "This is not a valid Audiofile");
    EXPECT_FALSE(file.HasFile());
    // Nothing to pump: the chain has no format any more.
    EXPECT_EQ(Error([&] { trigger.Start(); }), "TriggerOpen:\n\rInvalid wave format");

    const auto pcm2 = test::TonePcm(22050, 1, 0.7);
    test::WritePcmWave(dir.file("good2.wav"), pcm2, 22050, 1);
    file.SetFileName(dir.file("good2.wav"));
    EXPECT_EQ(Pump(), test::PcmBytes(pcm2));
}

std::string RiffHead() {
    std::string s = "RIFF";
    test::PutLe(s, 4, 4);
    return s + "WAVE";
}

INSTANTIATE_TEST_SUITE_P(
    Files, AudioFileRefusedTest,
    ::testing::Values(
        RefusedCase{"Noise", [] { return Garbage(20000); }},
        RefusedCase{"Text", [] { return std::string("station log\n", 12); }},
        RefusedCase{"Empty", [] { return std::string(); }},
        RefusedCase{"RiffHeaderOnly", [] { return RiffHead(); }},
        // A compressed WAV that no codec decodes (MS ADPCM).
        RefusedCase{"AdpcmWave", [] { return test::RiffWave(2, 1, 8000, Garbage(650)); }},
        // MPEG data announced in a WAVE file, but nothing decodes.
        RefusedCase{"Tag85Noise", [] { return test::RiffWave(85, 2, 44100, Garbage(9000)); }},
        RefusedCase{"TruncatedPcmWave",
                    [] {
                        std::string s = RiffHead() + "fmt ";
                        test::PutLe(s, 16, 4);
                        return s + "\x01\x00\x02";
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioFileTest, AMissingFileIsNoFileAndNoError) {
    // Without any file before, the chain has no format.
    file.SetFileName(dir.file("missing.mp3"));
    EXPECT_FALSE(file.HasFile());
    EXPECT_EQ(file.FileName(), "");
    EXPECT_EQ(Error([&] { trigger.Start(); }), "TriggerOpen:\n\rInvalid wave format");

    // After a file, the format stays but there is nothing to deliver.
    const std::string mp3 = test::EncodeMp3(test::TonePcm(44100, 2, 1.0), 44100, 2, 128);
    file.SetFileName(Write("one.mp3", mp3));
    EXPECT_EQ(Pump(), DecodedBytes(mp3));
    file.SetFileName(dir.file("missing.mp3"));
    EXPECT_FALSE(file.HasFile());
    EXPECT_EQ(Error([&] { trigger.Start(); }), "TriggerStart:\n\rUnable to start device");
    EXPECT_EQ(trigger.State(), TMMTrigger::trsClosed);

    file.SetFileName(dir.file("one.mp3"));
    EXPECT_EQ(Pump(), DecodedBytes(mp3));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(AudioFileTest, ANewFileAfterARunStartsFromItsBeginning) {
    // The pump stays open after a run; the next file must not continue
    // where the previous one ended.
    const std::string a = test::EncodeMp3(test::TonePcm(44100, 2, 1.0), 44100, 2, 128);
    const std::string b = test::EncodeMp3(test::TonePcm(44100, 2, 2.0), 44100, 2, 96);
    file.SetFileName(Write("a.mp3", a));
    EXPECT_EQ(Pump(), DecodedBytes(a));
    file.SetFileName(Write("b.mp3", b));
    EXPECT_EQ(Pump(), DecodedBytes(b));
    const auto pcm = test::TonePcm(44100, 2, 0.3);
    test::WritePcmWave(dir.file("c.wav"), pcm, 44100, 2);
    file.SetFileName(dir.file("c.wav"));
    EXPECT_EQ(Pump(), test::PcmBytes(pcm));
    file.SetFileName(dir.file("a.mp3"));
    EXPECT_EQ(Pump(), DecodedBytes(a));
}

struct EnvelopeCase {
    int32_t volume, panning;
    int16_t left, right;
};

class AudioFileEnvelopeTest : public AudioFileTest,
                              public ::testing::WithParamInterface<EnvelopeCase> {};

TEST_P(AudioFileEnvelopeTest, ScalesBothChannels) {
    const EnvelopeCase& c = GetParam();
    std::vector<int16_t> pcm;
    for (int i = 0; i < 4410; ++i) {
        pcm.push_back(1000);
        pcm.push_back(-2000);
    }
    test::WritePcmWave(dir.file("flat.wav"), pcm, 44100, 2);
    file.SetFileName(dir.file("flat.wav"));
    file.SetVolume(c.volume);
    file.SetPanning(c.panning);
    const std::string got = Pump();
    ASSERT_EQ(got.size(), pcm.size() * 2);
    const auto* s = reinterpret_cast<const int16_t*>(got.data());
    for (size_t i = 0; i < pcm.size(); i += 2) {
        ASSERT_EQ(s[i], c.left) << i;
        ASSERT_EQ(s[i + 1], c.right) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gains, AudioFileEnvelopeTest,
    ::testing::Values(EnvelopeCase{16384, 0, 1000, -2000}, EnvelopeCase{8192, 0, 500, -1000},
                      EnvelopeCase{32768, 0, 2000, -4000}, EnvelopeCase{0, 0, 0, 0},
                      EnvelopeCase{16384, -32768, 1000, 0}, EnvelopeCase{16384, 32768, 0, -2000},
                      EnvelopeCase{16384, -16384, 1000, -1000},
                      EnvelopeCase{99999, -99999, 2000, 0}));

// ---- the decoder itself ----------------------------------------------------------

struct InfoCase {
    uint32_t rate;
    int channels;
    uint16_t kbps;
    TMpegVersion version;
    TMpegStereoMode mode;
};

class MpegDecoderInfoTest : public AudioFileTest, public ::testing::WithParamInterface<InfoCase> {};

TEST_P(MpegDecoderInfoTest, DescribesTheStream) {
    const InfoCase& c = GetParam();
    const auto pcm = test::TonePcm(c.rate, c.channels, 2.0);
    const std::string path = Write("s.mp3", test::EncodeMp3(pcm, c.rate, c.channels, c.kbps));
    TMMMpeg mpeg;
    mpeg.SetFileName(path);
    ASSERT_FALSE(mpeg.Empty());
    const TMpegFileInfo& info = mpeg.FileInfo();
    EXPECT_EQ(info.Version, c.version);
    EXPECT_EQ(info.Layer, 3);
    EXPECT_EQ(info.Mode, c.mode);
    EXPECT_EQ(info.BitRate, c.kbps);
    EXPECT_EQ(info.SampleRate, static_cast<int>(c.rate));
    EXPECT_EQ(info.PlaybackRate, static_cast<int>(c.rate));
    EXPECT_NEAR(info.DurationMs, 2000, 30);
    const int64_t frameSamples = c.version == TMpegVersion::mv1 ? 1152 : 576;
    EXPECT_NEAR(info.Frames, info.Samples / frameSamples, 3);
    EXPECT_EQ(mpeg.OutputChannels(), c.channels);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MpegDecoderInfoTest,
    ::testing::Values(InfoCase{44100, 2, 128, TMpegVersion::mv1, TMpegStereoMode::smJointStereo},
                      InfoCase{32000, 1, 64, TMpegVersion::mv1, TMpegStereoMode::smSingleChannel},
                      InfoCase{22050, 2, 64, TMpegVersion::mv2, TMpegStereoMode::smJointStereo},
                      InfoCase{11025, 1, 32, TMpegVersion::mv25,
                               TMpegStereoMode::smSingleChannel}));

TEST_F(AudioFileTest, AnInfoFrameGivesTheLengthWithoutReadingTheWholeStream) {
    // A recording carries the encoder's info frame: its length is exact
    // and known without reading the file through (a long segment would
    // otherwise hold up the export's first step).
    const auto pcm = test::TonePcm(44100, 2, 2.0);
    const std::string tagged = Write("tagged.mp3", test::EncodeMp3(pcm, 44100, 2, 128));
    TMMMpeg mpeg;
    mpeg.SetFileName(tagged);
    ASSERT_FALSE(mpeg.Empty());
    EXPECT_FALSE(mpeg.LengthScanned());
    EXPECT_EQ(mpeg.FileInfo().Samples, int64_t(pcm.size() / 2));

    // A stream without one (the lame tool told to leave it out) is read
    // through; its length then includes the encoder's delay and padding.
    const std::string raw =
        Write("in.raw", std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2));
    const std::string untagged = dir.file("untagged.mp3");
    test::ChildProcess lame("/usr/bin/lame",
                            {"--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed",
                             "--little-endian", "-b", "128", "-t", raw, untagged});
    ASSERT_TRUE(lame.Started());
    ASSERT_TRUE(lame.WaitForExit(std::chrono::seconds(30)));
    ASSERT_EQ(lame.ExitCode(), 0) << lame.Output();
    mpeg.SetFileName(untagged);
    ASSERT_FALSE(mpeg.Empty());
    EXPECT_TRUE(mpeg.LengthScanned());
    EXPECT_GT(mpeg.FileInfo().Samples, int64_t(pcm.size() / 2));
    EXPECT_LT(mpeg.FileInfo().Samples, int64_t(pcm.size() / 2 + 3 * 1152));
}

TEST_F(AudioFileTest, DecoderIsDoneAsSoonAsTheLastBytesAreRead) {
    const std::string mp3 = test::EncodeMp3(test::TonePcm(44100, 2, 1.0), 44100, 2, 128);
    const std::string expected = DecodedBytes(mp3);
    TMMMpeg mpeg;
    mpeg.SetFileName(Write("d.mp3", mp3));
    mpeg.OpenFile();
    // Reads that end exactly at the end of the stream.
    const int32_t chunk = 4 * 1152;
    ASSERT_EQ(expected.size() % 4, 0u);
    std::string got(expected.size(), '\0');
    size_t at = 0;
    while (at < expected.size()) {
        EXPECT_FALSE(mpeg.Done()) << at;
        const int32_t want = static_cast<int32_t>(std::min<size_t>(chunk, expected.size() - at));
        ASSERT_EQ(mpeg.ReadDataBytes(got.data() + at, want), want) << at;
        at += want;
    }
    EXPECT_TRUE(mpeg.Done());
    EXPECT_TRUE(got == expected);
    char more[16];
    EXPECT_EQ(mpeg.ReadDataBytes(more, sizeof more), 0);

    // Back to a position: the rest of the stream from there.
    mpeg.SetPosition(500);
    EXPECT_EQ(mpeg.Position(), 500);
    EXPECT_FALSE(mpeg.Done());
    std::string rest(expected.size(), '\0');
    const int32_t n = mpeg.ReadDataBytes(rest.data(), static_cast<int32_t>(rest.size()));
    EXPECT_TRUE(mpeg.Done());
    EXPECT_EQ(n, static_cast<int32_t>(expected.size() - 22050 * 4));
    EXPECT_TRUE(rest.substr(0, n) == expected.substr(22050 * 4));
}

TEST_F(AudioFileTest, DownMixDeliversOneChannel) {
    const auto pcm = test::TonePcm(44100, 2, 1.0);
    const std::string path = Write("m.mp3", test::EncodeMp3(pcm, 44100, 2, 128));
    TMMMpeg both, mixed;
    both.SetFileName(path);
    mixed.SetChannelMode(TMpegChannelMode::cmDownMix);
    mixed.SetFileName(path);
    EXPECT_EQ(mixed.OutputChannels(), 1);
    both.OpenFile();
    mixed.OpenFile();
    std::vector<int16_t> s(44100 * 2 * 2), m(44100 * 2);
    const int32_t nb = both.ReadDataBytes(s.data(), static_cast<int32_t>(s.size() * 2));
    const int32_t nm = mixed.ReadDataBytes(m.data(), static_cast<int32_t>(m.size() * 2));
    ASSERT_EQ(nb, 2 * nm);
    for (int i = 1000; i < nm / 2; i += 997)
        EXPECT_NEAR(m[i], (s[2 * i] + s[2 * i + 1]) / 2, 2) << i;
}

// A minimum rate lets the decoder synthesise at a half or a quarter of
// the coded rate; the result keeps the audio and its length.
struct ReducedRateCase {
    const char* name;
    uint32_t coded;
    int minimum;
    uint32_t expected;
};

class AudioFileReducedRateTest : public AudioFileTest,
                                 public ::testing::WithParamInterface<ReducedRateCase> {};

TEST_P(AudioFileReducedRateTest, DecodesAtTheLowestRateNotBelowTheMinimum) {
    const ReducedRateCase& c = GetParam();
    const std::string mp3 =
        test::EncodeMp3(test::Tone(c.coded, 2, 1000, 2.0, 12000), c.coded, 2, 128);
    file.SetMpegChannelMode(TMpegChannelMode::cmDownMix);
    file.SetMpegMinimumRate(c.minimum);
    file.SetFileName(Write("r.mp3", mp3));
    EXPECT_EQ(Format().nSamplesPerSec, c.expected);
    EXPECT_EQ(Format().nChannels, 1);
    EXPECT_NEAR(file.FileEnd(), 2000, 30);

    const std::vector<int16_t> got = test::Samples(Pump());
    // Gapless at every rate: the length of the input within a frame.
    EXPECT_NEAR(double(got.size()), 2.0 * c.expected, 1152.0 * c.expected / c.coded);
    EXPECT_NEAR(test::DominantFrequency(got, c.expected), 1000, 15);
    EXPECT_GT(test::Rms(got), 12000 / std::sqrt(2.0) * 0.8);
}

INSTANTIATE_TEST_SUITE_P(Rates, AudioFileReducedRateTest,
                         ::testing::Values(ReducedRateCase{"Full", 44100, 0, 44100},
                                           ReducedRateCase{"Quarter", 44100, 8000, 11025},
                                           ReducedRateCase{"HalfForTwelveK", 44100, 12000, 22050},
                                           ReducedRateCase{"HalfExactly", 44100, 22050, 22050},
                                           ReducedRateCase{"AboveCoded", 44100, 48000, 44100},
                                           ReducedRateCase{"Quarter48k", 48000, 8000, 12000},
                                           ReducedRateCase{"Quarter32k", 32000, 8000, 8000},
                                           // A quarter of 22050 is no rate the decoder offers.
                                           ReducedRateCase{"Half22k", 22050, 8000, 11025}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioFileTest, AMissingDecoderLibraryIsReportedOnceAndRefusesDecoders) {
    test::ScriptedDialogs boxes;
    MpegDecoderLoader loader("libzt-no-such-decoder.so.0");
    const std::string expected = "Unable to load libzt-no-such-decoder.so.0";
    EXPECT_EQ(Error([&] { TMMMpeg mpeg(loader); }), expected);
    EXPECT_EQ(Error([&] { TMMMpeg mpeg(loader); }), expected);
    EXPECT_EQ(boxes.shown, (std::vector<test::ShownDialog>{{DialogKind::Error, expected}}));

    // An audio file on that loader cannot read MP3 files, but still WAV.
    TMMAudioFile other("Other", loader);
    const std::string mp3 =
        Write("x.mp3", test::EncodeMp3(test::TonePcm(44100, 2, 0.5), 44100, 2, 128));
    EXPECT_EQ(Error([&] { other.SetFileName(mp3); }), "This is not a valid Audiofile");
    test::WritePcmWave(dir.file("y.wav"), test::TonePcm(8000, 1, 0.1), 8000, 1);
    other.SetFileName(dir.file("y.wav"));
    EXPECT_EQ(other.FileType(), TMMAudioFileType::ftWave);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

}  // namespace
}  // namespace zt
