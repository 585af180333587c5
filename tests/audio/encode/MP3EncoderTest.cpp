#include "audio/encode/MP3Encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>

#include "audio/SignalTestSupport.h"
#include "audio/chain/ChainTestComponents.h"
#include "audio/files/Mpg123TestDecoder.h"
#include "support/FileSystemLimits.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::Correlate;
using test::Correlation;
using test::DecodedMp3;
using test::DecodeMp3;
using test::Sweep;
using test::TestDriver;

constexpr uint32_t kCaptureBuffer = 4096;
constexpr size_t kMp3FrameSamples = 1152;

// Forwards every call to the real LAME binding and records what the
// component asked for.
class RecordingLibrary : public Mp3EncoderLibrary {
public:
    struct Encode {
        uint32_t nSamples;
        const int16_t* samples;
    };
    enum class Fail { None, Init, Encode, Deinit };

    explicit RecordingLibrary(Mp3EncoderLibrary* real) : real_(real) {}

    BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samplesPerChunk, uint32_t* outBufferSize,
                        HBE_STREAM* stream) override {
        inits.push_back(*config);
        if (fail == Fail::Init) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        return real_->beInitStream(config, samplesPerChunk, outBufferSize, stream);
    }
    BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                         uint8_t* output, uint32_t* outputBytes) override {
        encodes.push_back({nSamples, samples});
        log.push_back("encode " + std::to_string(nSamples));
        if (fail == Fail::Encode) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        return real_->beEncodeChunk(stream, nSamples, samples, output, outputBytes);
    }
    BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes) override {
        log.push_back("deinit");
        if (fail == Fail::Deinit) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        return real_->beDeinitStream(stream, output, outputBytes);
    }
    BE_ERR beCloseStream(HBE_STREAM stream) override {
        log.push_back("close");
        ++closes;
        return real_->beCloseStream(stream);
    }
    BE_ERR beVersion(BE_VERSION* version) override { return real_->beVersion(version); }
    BE_ERR beInfoFrame(HBE_STREAM stream, uint8_t* output, uint32_t capacity,
                       uint32_t* outputBytes) override {
        log.push_back("info");
        return real_->beInfoFrame(stream, output, capacity, outputBytes);
    }

    Fail fail = Fail::None;
    std::vector<BE_CONFIG> inits;
    std::vector<Encode> encodes;
    std::vector<std::string> log;
    int closes = 0;

private:
    Mp3EncoderLibrary* real_;
};

class MP3EncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Mp3EncoderLibrary* real = SharedMp3EncoderLibrary();
        ASSERT_NE(real, nullptr) << "libmp3lame.so.0 cannot be loaded";
        library = std::make_unique<RecordingLibrary>(real);
        encoder.SetLibraryProvider([this] { return library.get(); });
        encoder.SetInput(&driver);
        driver.SetBufferSize(kCaptureBuffer);
        SetFormat(16, 2, 44100);
    }

    void SetFormat(uint16_t bits, uint16_t channels, uint32_t rate) {
        const WAVEFORMATEX format = MakePCMFormat(bits, channels, rate);
        driver.SetWaveFormat(&format);
    }

    void Push(const void* data, uint32_t bytes) {
        TStreamBufferHeader header{};
        header.wh.lpData = static_cast<char*>(const_cast<void*>(data));
        header.wh.dwBufferLength = bytes;
        header.wh.dwBytesRecorded = bytes;
        driver.BufferReady(&header);
    }

    void PushAll(const std::vector<int16_t>& pcm) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
        const size_t total = pcm.size() * 2;
        for (size_t at = 0; at < total; at += kCaptureBuffer)
            Push(bytes + at, static_cast<uint32_t>(std::min<size_t>(kCaptureBuffer, total - at)));
    }

    void Start() {
        driver.Opened();
        driver.Started();
    }
    void Finish() {
        driver.Stopped();
        driver.Closed();
    }
    void Record(const std::vector<int16_t>& pcm) {
        Start();
        PushAll(pcm);
        Finish();
    }

    test::TempDir dir;
    std::unique_ptr<RecordingLibrary> library;
    TestDriver driver{"WaveIn"};
    TMMMP3Encoder encoder{"MP3"};
};

// ---- chunking -------------------------------------------------------------------

TEST_F(MP3EncoderTest, CollectsCaptureBuffersIntoChunksAndEncodesTheRestAtStop) {
    encoder.SetFileName(dir.file("seg.mp3"));
    Start();
    ASSERT_EQ(encoder.ChunkBytes(), 4608u);
    std::vector<int16_t> pcm = Sweep(44100, 2, 0.1);

    Push(pcm.data(), 4096);
    EXPECT_TRUE(library->encodes.empty());
    EXPECT_EQ(encoder.PendingBytes(), 4096);

    Push(pcm.data() + 2048, 4096);
    ASSERT_EQ(library->encodes.size(), 1u);
    EXPECT_EQ(library->encodes[0].nSamples, 2304u);
    EXPECT_EQ(encoder.PendingBytes(), 3584);

    driver.Stopped();
    EXPECT_EQ(library->log, (std::vector<std::string>{"encode 2304", "encode 1792", "deinit"}));
    EXPECT_EQ(encoder.PendingBytes(), 0);
    driver.Closed();
    EXPECT_EQ(library->closes, 1);
    EXPECT_FALSE(encoder.IsStreamOpen());
}

TEST_F(MP3EncoderTest, EncodesWholeChunksStraightFromTheBuffer) {
    encoder.SetFileName(dir.file("seg.mp3"));
    Start();
    std::vector<int16_t> pcm = Sweep(44100, 2, 0.5);
    const int16_t* data = pcm.data();

    // Nothing pending: two chunks read in place, 100 bytes kept.
    Push(data, 2 * 4608 + 100);
    ASSERT_EQ(library->encodes.size(), 2u);
    EXPECT_EQ(library->encodes[0].samples, data);
    EXPECT_EQ(library->encodes[1].samples, data + 2304);
    EXPECT_EQ(encoder.PendingBytes(), 100);

    // 100 pending: the pending chunk is completed first (a copy), then one
    // whole chunk comes straight from the buffer, 100 bytes are kept again.
    const int16_t* next = data + 10000;
    Push(next, 2 * 4608);
    ASSERT_EQ(library->encodes.size(), 4u);
    EXPECT_EQ(library->encodes[2].nSamples, 2304u);
    EXPECT_TRUE(library->encodes[2].samples < next ||
                library->encodes[2].samples >= next + 2 * 2304);
    EXPECT_EQ(library->encodes[3].samples, next + (4608 - 100) / 2);
    EXPECT_EQ(encoder.PendingBytes(), 100);
    Finish();
}

// ---- round trips through a real decoder ---------------------------------------

struct RoundTrip {
    TMMBitrates bitrate;
    uint16_t channels;
    uint32_t rate;
    TMMChannelMode mode;
    int decodedChannels;
    // Below 64 kbit/s stereo (48 mono) a frame is too small to hold the info
    // frame, so LAME writes none; the decoder then keeps the encoder delay of
    // 576 + 529 samples at the start and the padding at the end.
    int lag;
};
constexpr int kEncoderDelay = 576 + 529;

class MP3EncoderRoundTrip : public MP3EncoderTest,
                            public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(MP3EncoderRoundTrip, DecodesToTheInputsLengthRateAndSignal) {
    const RoundTrip& p = GetParam();
    SetFormat(16, p.channels, p.rate);
    encoder.SetBitrate(p.bitrate);
    encoder.SetChannelMode(p.mode);
    encoder.SetFileName(dir.file("seg.mp3"));
    const std::vector<int16_t> pcm = Sweep(p.rate, p.channels, 3.0);
    Record(pcm);

    const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(dir.file("seg.mp3")));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.rate, static_cast<long>(p.rate));  // no resampling at low bit rates
    ASSERT_EQ(decoded.channels, p.decodedChannels);
    const size_t inFrames = pcm.size() / p.channels;
    const long extra = static_cast<long>(decoded.Frames()) - static_cast<long>(inFrames);
    if (p.lag == 0) {
        // The info frame lets the decoder drop the encoder delay and padding.
        EXPECT_LE(std::abs(extra), static_cast<long>(kMp3FrameSamples));
    } else {
        EXPECT_GE(extra, p.lag);
        EXPECT_LE(extra, p.lag + 2 * static_cast<long>(kMp3FrameSamples));
    }
    if (decoded.channels != p.channels) return;
    for (int ch = 0; ch < p.channels; ++ch) {
        const Correlation c = Correlate(pcm, decoded.samples, p.channels, ch, 1200);
        EXPECT_GT(c.peak, 0.9) << "channel " << ch;
        EXPECT_LE(std::abs(c.lag - p.lag), 1) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bitrates, MP3EncoderRoundTrip,
    ::testing::Values(RoundTrip{TMMBitrates::br128, 2, 44100, TMMChannelMode::cmStereo, 2, 0},
                      RoundTrip{TMMBitrates::br64, 2, 44100, TMMChannelMode::cmStereo, 2, 0},
                      RoundTrip{TMMBitrates::br32, 2, 44100, TMMChannelMode::cmStereo, 2,
                                kEncoderDelay},
                      RoundTrip{TMMBitrates::br128, 2, 48000, TMMChannelMode::cmDualChannel, 2, 0},
                      RoundTrip{TMMBitrates::br64, 1, 32000, TMMChannelMode::cmDualChannel, 1, 0}));

TEST_F(MP3EncoderTest, WavFileCarriesTheLayer3FormatAndDecodableData) {
    encoder.SetFileType(TMMFileType::ftWAV);
    encoder.SetFileName(dir.file("seg.wav"));
    const std::vector<int16_t> pcm = Sweep(44100, 2, 2.0);
    Record(pcm);

    TMMWave wave;
    wave.SetFileName(dir.file("seg.wav"));
    ASSERT_TRUE(wave.HasFile());
    const WAVEFORMATEX* f = wave.WaveFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wFormatTag, 0x55);
    EXPECT_EQ(f->nChannels, 2);
    EXPECT_EQ(f->nSamplesPerSec, 44100u);
    EXPECT_EQ(f->nAvgBytesPerSec, 16000u);  // 128000 bits/s × 144 / 1152
    EXPECT_EQ(f->nBlockAlign, 1);
    EXPECT_EQ(f->wBitsPerSample, 0);
    ASSERT_EQ(f->cbSize, 12);
    MPEGLAYER3WAVEFORMAT mp3;
    std::memcpy(&mp3, f, sizeof mp3);
    EXPECT_EQ(mp3.wID, 1);
    EXPECT_EQ(mp3.fdwFlags, 2u);
    EXPECT_EQ(mp3.nBlockSize, 418);  // 128000 × 144 / 44100 rounded
    EXPECT_EQ(mp3.nFramesPerBlock, 1);
    EXPECT_EQ(mp3.nCodecDelay, 1393);

    std::string data(wave.DataSize(), '\0');
    ASSERT_EQ(wave.ReadData(data.data(), static_cast<int64_t>(data.size())),
              static_cast<int64_t>(data.size()));
    const DecodedMp3 decoded = DecodeMp3(data);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.rate, 44100);
    EXPECT_LE(std::abs(static_cast<long>(decoded.Frames()) - static_cast<long>(pcm.size() / 2)),
              static_cast<long>(kMp3FrameSamples));
    EXPECT_GT(Correlate(pcm, decoded.samples, 2, 0, 1200).peak, 0.9);
}

// ---- refusals and file handling -------------------------------------------------

TEST_F(MP3EncoderTest, RefusesInputsTheEncoderCannotTake) {
    struct Case {
        uint16_t bits, channels;
        uint32_t rate;
    };
    for (const Case c :
         {Case{16, 2, 22050}, Case{8, 2, 44100}, Case{16, 2, 11025}, Case{8, 1, 48000}}) {
        SCOPED_TRACE(std::to_string(c.bits) + " bit " + std::to_string(c.rate) + " Hz");
        SetFormat(c.bits, c.channels, c.rate);
        encoder.SetFileName(dir.file("seg.mp3"));
        try {
            driver.Opened();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.what(), "Unsupported Input Format");
        }
        EXPECT_FALSE(encoder.IsStreamOpen());
        EXPECT_FALSE(std::filesystem::exists(dir.file("seg.mp3")));
        driver.Closed();
    }
}

TEST_F(MP3EncoderTest, EmptyFileNameRecordsNothingAndRaisesNothing) {
    Record(Sweep(44100, 2, 0.5));
    EXPECT_TRUE(library->inits.empty());
    EXPECT_TRUE(library->encodes.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(MP3EncoderTest, ReplacesAnExistingFile) {
    const std::string name = dir.file("seg.mp3");
    test::WriteFileBytes(name, std::string(1 << 20, 'x'));
    encoder.SetFileName(name);
    Record(Sweep(44100, 2, 1.0));
    const std::string bytes = test::ReadFileBytes(name);
    EXPECT_LT(bytes.size(), 40000u);  // about 16 KiB of MP3, nothing of the old file
    EXPECT_EQ(bytes.find(std::string(64, 'x')), std::string::npos);
    EXPECT_TRUE(DecodeMp3(bytes).ok);
}

TEST_F(MP3EncoderTest, DestroyingAnOpenEncoderCompletesItsFile) {
    auto own = std::make_unique<TMMMP3Encoder>("MP3b");
    own->SetLibraryProvider([this] { return library.get(); });
    own->SetInput(&driver);
    own->SetFileName(dir.file("late.mp3"));
    const std::vector<int16_t> pcm = Sweep(44100, 2, 2.0);
    Start();
    PushAll(pcm);
    own.reset();  // the window frees its components without closing the chain
    EXPECT_EQ(library->log.back(), "close");
    const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(dir.file("late.mp3")));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_LE(std::abs(static_cast<long>(decoded.Frames()) - static_cast<long>(pcm.size() / 2)),
              static_cast<long>(kMp3FrameSamples));
    driver.Stopped();
    driver.Closed();
}

TEST_F(MP3EncoderTest, FileNameAndTypeAreFixedWhileTheStreamIsOpen) {
    encoder.SetFileName(dir.file("a.mp3"));
    Start();
    EXPECT_NO_THROW(encoder.SetFileName(dir.file("a.mp3")));  // equal value
    EXPECT_NO_THROW(encoder.SetFileType(TMMFileType::ftRAW));
    try {
        encoder.SetFileName(dir.file("b.mp3"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_THROW(encoder.SetFileType(TMMFileType::ftWAV), Exception);
    EXPECT_EQ(encoder.FileName(), dir.file("a.mp3"));
    EXPECT_EQ(encoder.FileType(), TMMFileType::ftRAW);
    Finish();
    EXPECT_NO_THROW(encoder.SetFileName(dir.file("b.mp3")));
    EXPECT_NO_THROW(encoder.SetFileType(TMMFileType::ftWAV));
}

TEST_F(MP3EncoderTest, ReportsEachFailingStepWithItsMessage) {
    // A file that cannot be created, bare or wrapped.
    for (TMMFileType type : {TMMFileType::ftRAW, TMMFileType::ftWAV}) {
        encoder.SetFileType(type);
        encoder.SetFileName(dir.file("no/such/folder/seg.mp3"));
        try {
            driver.Opened();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to create file \"" +
                                                 dir.file("no/such/folder/seg.mp3") +
                                                 "\": No such file or directory");
        }
        driver.Closed();
    }
    EXPECT_TRUE(library->inits.empty());
    encoder.SetFileType(TMMFileType::ftRAW);

    // A library that is not there.
    encoder.SetFileName(dir.file("seg.mp3"));
    encoder.SetLibraryProvider([] { return nullptr; });
    try {
        driver.Opened();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Unable to load Blade Encoder DLL");
    }
    driver.Closed();
    EXPECT_FALSE(std::filesystem::exists(dir.file("seg.mp3")));
    encoder.SetLibraryProvider([this] { return library.get(); });

    // The library refuses the stream, an encode or the flush: the stream is
    // released all the same when the chain closes.
    library->fail = RecordingLibrary::Fail::Init;
    EXPECT_THROW(
        {
            try {
                driver.Opened();
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "Unable to initialize stream");
                throw;
            }
        },
        Exception);
    driver.Closed();
    EXPECT_FALSE(encoder.IsStreamOpen());

    std::vector<int16_t> pcm = Sweep(44100, 2, 0.2);
    library->fail = RecordingLibrary::Fail::Encode;
    Start();
    Push(pcm.data(), 4096);
    try {
        Push(pcm.data() + 2048, 4096);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Unable to encode data");
    }
    library->fail = RecordingLibrary::Fail::Deinit;
    try {
        driver.Stopped();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Unable to deinitialize stream");
    }
    library->fail = RecordingLibrary::Fail::None;
    driver.Closed();
    EXPECT_FALSE(encoder.IsStreamOpen());
    EXPECT_EQ(library->closes, 1);
}

// ---- cutting between two buffers -------------------------------------------------------

// Frames pushed before each cut, in capture buffers of 1024 frames; the
// encoder's chunks are 1152 frames, so every cut leaves a partial chunk.
struct CutCase {
    const char* name;
    std::vector<size_t> buffersBeforeCut;  // per file except the last
    size_t buffersInLast;
};

class MP3EncoderCut : public MP3EncoderTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(MP3EncoderCut, EverySampleIsInExactlyOneFileInOrder) {
    const CutCase& c = GetParam();
    size_t totalBuffers = c.buffersInLast;
    for (size_t n : c.buffersBeforeCut) totalBuffers += n;
    const size_t frameBytes = 4;
    const std::vector<int16_t> pcm =
        Sweep(44100, 2, double(totalBuffers * kCaptureBuffer / frameBytes) / 44100 + 0.01);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());

    encoder.SetBitrate(TMMBitrates::br128);
    encoder.SetFileName(dir.file("seg0.mp3"));
    Start();
    size_t at = 0;
    std::vector<size_t> framesPerFile;
    for (size_t i = 0; i < c.buffersBeforeCut.size(); ++i) {
        for (size_t b = 0; b < c.buffersBeforeCut[i]; ++b, at += kCaptureBuffer)
            Push(bytes + at, kCaptureBuffer);
        framesPerFile.push_back(c.buffersBeforeCut[i] * kCaptureBuffer / frameBytes);
        // A bitrate chosen since the last open applies from the cut on.
        encoder.SetBitrate(i % 2 == 0 ? TMMBitrates::br64 : TMMBitrates::br128);
        encoder.CutTo(dir.file("seg" + std::to_string(i + 1) + ".mp3"));
        EXPECT_TRUE(encoder.IsStreamOpen());
        EXPECT_TRUE(encoder.IsEncoding());
    }
    for (size_t b = 0; b < c.buffersInLast; ++b, at += kCaptureBuffer)
        Push(bytes + at, kCaptureBuffer);
    framesPerFile.push_back(c.buffersInLast * kCaptureBuffer / frameBytes);
    Finish();

    ASSERT_EQ(library->inits.size(), framesPerFile.size());
    for (size_t i = 1; i < library->inits.size(); ++i) {
        const uint16_t kbps = library->inits[i].format.mp3.wBitrate;  // a packed field
        EXPECT_EQ(kbps, i % 2 == 1 ? 64 : 128) << "file " << i;
    }

    // Decoded through the info frame, each file holds exactly its frames and
    // the files joined are the input: nothing lost, nothing repeated.
    std::vector<int16_t> joined;
    for (size_t i = 0; i < framesPerFile.size(); ++i) {
        const std::string name = dir.file("seg" + std::to_string(i) + ".mp3");
        const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(name));
        ASSERT_TRUE(decoded.ok) << name << ": " << decoded.error;
        EXPECT_EQ(decoded.Frames(), framesPerFile[i]) << name;
        joined.insert(joined.end(), decoded.samples.begin(), decoded.samples.end());
    }
    const std::vector<int16_t> sent(pcm.begin(), pcm.begin() + long(at / 2));
    ASSERT_EQ(joined.size(), sent.size());
    for (int ch = 0; ch < 2; ++ch) {
        const Correlation corr = Correlate(sent, joined, 2, ch, 50);
        EXPECT_GT(corr.peak, 0.9) << "channel " << ch;
        EXPECT_EQ(corr.lag, 0) << "channel " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, MP3EncoderCut,
                         ::testing::Values(CutCase{"OneCutMidway", {40}, 40},
                                           CutCase{"CutAfterTheFirstBuffer", {1}, 60},
                                           CutCase{"ThreeCutsInARow", {30, 9, 27}, 31}),
                         [](const ::testing::TestParamInfo<CutCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(MP3EncoderTest, CutWhileTheChainIsStoppedOnlyNamesTheNextFile) {
    encoder.CutTo(dir.file("next.mp3"));
    EXPECT_EQ(encoder.FileName(), dir.file("next.mp3"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("next.mp3")));
    EXPECT_TRUE(library->inits.empty());
}

TEST_F(MP3EncoderTest, CutToAFileThatCannotBeCreatedLeavesNoFileOpen) {
    encoder.SetFileName(dir.file("seg.mp3"));
    Start();
    const std::vector<int16_t> pcm = Sweep(44100, 2, 0.5);
    PushAll(pcm);
    EXPECT_THROW(encoder.CutTo(dir.file("missing/next.mp3")), Exception);
    EXPECT_FALSE(encoder.IsStreamOpen());
    // The finished file is complete all the same.
    const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(dir.file("seg.mp3")));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.Frames(), pcm.size() / 2);
    // Later buffers are ignored; a cut to a good name records again.
    PushAll(pcm);
    encoder.CutTo(dir.file("again.mp3"));
    PushAll(pcm);
    Finish();
    const DecodedMp3 again = DecodeMp3(test::ReadFileBytes(dir.file("again.mp3")));
    ASSERT_TRUE(again.ok) << again.error;
    EXPECT_EQ(again.Frames(), pcm.size() / 2);
}

// ---- a drive that fills up ----------------------------------------------------------

class MP3EncoderFullDisk : public MP3EncoderTest {
protected:
    void Mount(const char* size) {
        tmpfs = std::make_unique<test::TinyTmpfs>((dir.path() / "small").string(), size);
        if (!tmpfs->Mounted()) GTEST_SKIP() << tmpfs->Error();
        mountPoint = tmpfs->Path();
    }

    // Records into `name` until the encoder closes itself. Then later
    // buffers are ignored, the chain's own stop and close raise nothing,
    // and the file keeps what was written and still decodes.
    void RecordUntilClosed(const std::string& name, uint64_t maxBytes) {
        encoder.SetFileName(name);
        const std::vector<int16_t> pcm = Sweep(44100, 2, 10.0);  // ~160 KB at 128 kbps
        Start();
        const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
        size_t at = 0;
        for (; at + kCaptureBuffer <= pcm.size() * 2 && encoder.IsStreamOpen();
             at += kCaptureBuffer)
            ASSERT_NO_THROW(Push(bytes + at, kCaptureBuffer));
        ASSERT_FALSE(encoder.IsStreamOpen()) << "the file never filled up";
        const auto size = std::filesystem::file_size(name);
        EXPECT_GT(size, 0u);
        EXPECT_LE(size, maxBytes);

        for (int i = 0; i < 20 && at + kCaptureBuffer <= pcm.size() * 2; ++i, at += kCaptureBuffer)
            ASSERT_NO_THROW(Push(bytes + at, kCaptureBuffer));
        EXPECT_NO_THROW(Finish());
        EXPECT_EQ(std::filesystem::file_size(name), size);
        EXPECT_EQ(library->closes, 1);

        const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(name));
        EXPECT_TRUE(decoded.ok) << decoded.error;
        EXPECT_EQ(decoded.rate, 44100);
        EXPECT_GT(decoded.Frames(), 44100u);  // more than a second survived
    }

    std::unique_ptr<test::TinyTmpfs> tmpfs;
    std::filesystem::path mountPoint;
};

TEST_F(MP3EncoderFullDisk, ClosesItselfWhenTheDriveIsNearlyFull) {
    Mount("64k");
    if (IsSkipped()) return;
    RecordUntilClosed((mountPoint / "seg.mp3").string(), 64 * 1024 - 10240);
}

TEST_F(MP3EncoderFullDisk, TheNextCutRecordsAgainAfterAFullDrive) {
    Mount("64k");
    if (IsSkipped()) return;
    encoder.SetFileName((mountPoint / "seg.mp3").string());
    const std::vector<int16_t> pcm = Sweep(44100, 2, 10.0);
    Start();
    PushAll(pcm);
    ASSERT_FALSE(encoder.IsStreamOpen()) << "the file never filled up";
    // The chain still runs: the cut opens the next file on a drive with room.
    encoder.CutTo(dir.file("next.mp3"));
    ASSERT_TRUE(encoder.IsStreamOpen());
    const std::vector<int16_t> second = Sweep(44100, 2, 1.0);
    PushAll(second);
    Finish();
    const DecodedMp3 decoded = DecodeMp3(test::ReadFileBytes(dir.file("next.mp3")));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.Frames(), second.size() / 2);
}

TEST_F(MP3EncoderFullDisk, ClosesItselfAfterAShortWrite) {
    // A file size limit cuts a write short although the drive has room.
    constexpr rlim_t kLimit = 40000;
    test::FileSizeLimit limit(kLimit);
    ASSERT_TRUE(limit.Active());
    RecordUntilClosed(dir.file("seg.mp3"), kLimit);
}

TEST(MP3EncoderLibraryLoad, AMissingLibraryGivesNoBinding) {
    EXPECT_EQ(LoadLameEncoderLibrary("libzt-no-such-encoder.so.0"), nullptr);
    EXPECT_EQ(LoadLameEncoderLibrary("libc.so.6"), nullptr);  // loads, lacks lame_*
}

// ---- configuration record and its effect on the frames --------------------------

TEST(MP3EncoderConfig, BuildsTheRecordFromFormatAndSettings) {
    struct Case {
        uint16_t channels;
        TMMChannelMode mode;
        uint8_t expected;
    };
    for (const Case c :
         {Case{1, TMMChannelMode::cmDualChannel, 3}, Case{1, TMMChannelMode::cmStereo, 3},
          Case{2, TMMChannelMode::cmMono, 0}, Case{2, TMMChannelMode::cmStereo, 0},
          Case{2, TMMChannelMode::cmDualChannel, 2}}) {
        Mp3EncoderSettings s;
        s.channelMode = c.mode;
        const BE_CONFIG config = MakeMp3EncoderConfig(MakePCMFormat(16, c.channels, 44100), s);
        EXPECT_EQ(config.format.mp3.byMode, c.expected)
            << c.channels << " channels, mode " << static_cast<int>(c.mode);
    }

    Mp3EncoderSettings s;
    s.bitrate = TMMBitrates::br224;
    s.privat = true;
    s.copyright = true;
    const BE_CONFIG config = MakeMp3EncoderConfig(MakePCMFormat(16, 2, 48000), s);
    uint8_t raw[27];
    std::memcpy(raw, &config, sizeof raw);
    const uint8_t expected[27] = {0,    0,    0,    0,     // MP3
                                  0x80, 0xBB, 0,    0,     // 48000
                                  0,                       // stereo
                                  224,  0,                 // kbit/s
                                  0xFF, 0xFF, 0xFF, 0xFF,  // private
                                  0,    0,    0,    0,     // CRC
                                  0xFF, 0xFF, 0xFF, 0xFF,  // copyright
                                  0,    0,    0,    0};    // original
    EXPECT_EQ(std::memcmp(raw, expected, sizeof raw), 0);

    const uint16_t kbps[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(BitrateKbps(static_cast<TMMBitrates>(i)), kbps[i]);
}

TEST(MP3EncoderLibraryBinding, FramesCarryTheConfiguredHeader) {
    Mp3EncoderLibrary* lib = SharedMp3EncoderLibrary();
    ASSERT_NE(lib, nullptr);
    struct Case {
        uint8_t mode;
        bool privat, crc, copyright, original;
        uint16_t kbps;
        uint8_t headerMode;  // the frame header's two mode bits
    };
    for (const Case c :
         {Case{0, false, false, false, false, 128, 0}, Case{2, true, true, false, false, 64, 2},
          Case{3, false, false, true, true, 64, 3}, Case{1, false, true, true, false, 96, 1}}) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        BE_CONFIG config{};
        config.format.mp3 = {44100,
                             c.mode,
                             c.kbps,
                             c.privat ? BE_TRUE : BE_FALSE,
                             c.crc ? BE_TRUE : BE_FALSE,
                             c.copyright ? BE_TRUE : BE_FALSE,
                             c.original ? BE_TRUE : BE_FALSE};
        uint32_t samples = 0, outSize = 0;
        HBE_STREAM stream = 0;
        ASSERT_EQ(lib->beInitStream(&config, &samples, &outSize, &stream), BE_ERR_SUCCESSFUL);
        const uint16_t channels = c.mode == 3 ? 1 : 2;
        EXPECT_EQ(samples, 1152u * channels);
        EXPECT_GE(outSize, 1440u + 7200u);
        const std::vector<int16_t> pcm = Sweep(44100, channels, 1.0);
        std::string mp3;
        std::vector<uint8_t> out(outSize);
        uint32_t n = 0;
        for (size_t at = 0; at + samples <= pcm.size(); at += samples) {
            ASSERT_EQ(lib->beEncodeChunk(stream, samples, pcm.data() + at, out.data(), &n), 0u);
            mp3.append(reinterpret_cast<char*>(out.data()), n);
        }
        uint32_t info = 0;
        EXPECT_EQ(lib->beInfoFrame(stream, out.data(), outSize, &info), BE_ERR_NOT_FLUSHED);
        ASSERT_EQ(lib->beDeinitStream(stream, out.data(), &n), 0u);
        mp3.append(reinterpret_cast<char*>(out.data()), n);
        EXPECT_EQ(lib->beEncodeChunk(stream, samples, pcm.data(), out.data(), &n),
                  BE_ERR_STREAM_FLUSHED);
        ASSERT_EQ(lib->beInfoFrame(stream, out.data(), outSize, &info), 0u);
        EXPECT_GT(info, 0u);
        EXPECT_EQ(lib->beCloseStream(stream), 0u);
        EXPECT_EQ(lib->beCloseStream(stream), BE_ERR_INVALID_HANDLE);

        // The second frame is the first one holding audio.
        const auto* b = reinterpret_cast<const uint8_t*>(mp3.data());
        ASSERT_GT(mp3.size(), 2 * 418u);
        const size_t first = 144 * c.kbps * 1000 / 44100 + ((b[2] >> 1) & 1);
        EXPECT_EQ(first, info);  // the info frame replaces exactly this frame
        const uint8_t* h = b + first;
        ASSERT_EQ(h[0], 0xFF);
        EXPECT_EQ(h[1] & 0xFE, 0xFA);           // MPEG-1 layer III
        EXPECT_EQ(h[1] & 1, c.crc ? 0 : 1);     // protection bit: 0 means CRC
        EXPECT_EQ((h[2] >> 2) & 3, 0);          // 44100 Hz
        EXPECT_EQ(h[2] & 1, c.privat ? 1 : 0);  // private bit
        EXPECT_EQ(h[3] >> 6, c.headerMode);     // channel mode
        EXPECT_EQ((h[3] >> 3) & 1, c.copyright ? 1 : 0);
        EXPECT_EQ((h[3] >> 2) & 1, c.original ? 1 : 0);
    }

    BE_VERSION version{};
    ASSERT_EQ(lib->beVersion(&version), 0u);
    EXPECT_EQ(version.byMajorVersion, 3);
}

}  // namespace
}  // namespace zt
