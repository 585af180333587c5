#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "audio/SignalTestSupport.h"
#include "audio/chain/ChainTestComponents.h"
#include "audio/chain/MMErrors.h"
#include "audio/convert/CodecStreamChain.h"
#include "audio/convert/CodecTestSupport.h"
#include "audio/convert/Converter.h"
#include "audio/convert/codecs/CodecManager.h"
#include "audio/convert/codecs/G711Driver.h"
#include "audio/files/WaveFile.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::Bytes;
using test::Samples;
using test::TestDriver;

WaveFormatPtr Pcm(uint16_t bits, uint16_t channels, uint32_t rate) {
    const WAVEFORMATEX f = MakePCMFormat(bits, channels, rate);
    return CopyWaveFormat(&f);
}

// The offered format of a tag with that rate and channel count.
WaveFormatPtr Offered(uint16_t tag, uint32_t rate, uint16_t channels = 1) {
    for (WaveFormatPtr& f : acm::EnumFormats(tag))
        if (f->nSamplesPerSec == rate && f->nChannels == channels) return std::move(f);
    ADD_FAILURE() << "tag " << tag << " offers nothing at " << rate << "/" << channels;
    return Pcm(16, channels, rate);
}

WaveFormatPtr Gsm(uint32_t rate) {
    return Offered(acm::kTagGSM610, rate);
}

// "PCM 8000/1/16", "49 8000/1/0".
std::string Describe(const WAVEFORMATEX& f) {
    return (f.wFormatTag == 1 ? std::string("PCM") : std::to_string(f.wFormatTag)) + " " +
           std::to_string(f.nSamplesPerSec) + "/" + std::to_string(f.nChannels) + "/" +
           std::to_string(f.wBitsPerSample);
}

// A chain member that keeps every record pushed into it.
class Sink : public TMMDSPComponent {
public:
    Sink() : TMMDSPComponent("Sink") {}
    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }
    void BufferReady(PWaveHdr b) override {
        records.push_back(b);
        sizes.push_back(b->wh.dwBytesRecorded);
        data.append(b->wh.lpData, b->wh.dwBytesRecorded);
    }
    std::vector<PWaveHdr> records;
    std::vector<uint32_t> sizes;
    std::string data;
};

// A pull source over a byte string. `script` caps the bytes of the first
// answers (0 gives an empty answer that still promises more).
class PullSource : public TMMDSPComponent {
public:
    PullSource() : TMMDSPComponent("Source") {}
    bool HasOutputSide() const override { return true; }
    void BufferLoad(PWaveHdr b, bool& more) override {
        uint32_t n = uint32_t(std::min<size_t>(b->wh.dwBufferLength, data.size() - position));
        if (calls < script.size()) n = std::min(n, script[calls]);
        ++calls;
        std::memcpy(b->wh.lpData, data.data() + position, n);
        b->wh.dwBytesRecorded = n;
        position += n;
        more = position < data.size();
    }
    std::string data;
    std::vector<uint32_t> script;
    size_t position = 0, calls = 0;
};

// Everything a converter hands out when asked in records of `request`
// bytes until it reports no more buffers.
std::string PullAll(TMMACMConverter& converter, uint32_t request = 4096) {
    std::string out;
    std::vector<char> area(request);
    for (int guard = 0; guard < 100000; ++guard) {
        TStreamBufferHeader h{};
        h.wh.lpData = area.data();
        h.wh.dwBufferLength = request;
        bool more = true;
        converter.BufferLoad(&h, more);
        out.append(area.data(), h.wh.dwBytesRecorded);
        if (!more) return out;
    }
    ADD_FAILURE() << "the converter never ran dry";
    return out;
}

// A whole signal through a chain: pieces, then flushes until nothing is
// pending.
std::string RunChain(CodecStreamChain& chain, const std::string& input) {
    std::string out;
    for (size_t pos = 0; pos < input.size();) {
        const uint32_t n = std::min<uint32_t>(chain.ChunkSize(), uint32_t(input.size() - pos));
        std::memcpy(chain.InputArea(), input.data() + pos, n);
        EXPECT_GE(chain.Convert(n), 0);
        out.append(reinterpret_cast<const char*>(chain.OutputData()), chain.OutputAvailable());
        pos += n;
    }
    do {
        EXPECT_GE(chain.Flush(), 0);
        out.append(reinterpret_cast<const char*>(chain.OutputData()), chain.OutputAvailable());
    } while (chain.FlushPending());
    EXPECT_FALSE(chain.HoldsLeftover());
    return out;
}

// ---- the planner --------------------------------------------------------------------

TEST(ConversionPlanner, FindsThePathThroughSingleDriverSteps) {
    WaveFormatPtr badGsm = Gsm(8000);
    badGsm->nBlockAlign = 64;
    WaveFormatPtr unknown = Pcm(8, 1, 8000);
    unknown->wFormatTag = 0x55;
    const struct {
        const char* what;
        WaveFormatPtr source, dest;
        bool possible;
        std::vector<std::string> stages;
    } cases[] = {
        {"stereo CD quality to GSM",
         Pcm(16, 2, 44100),
         Gsm(8000),
         true,
         {"PCM 8000/1/16", "49 8000/1/0"}},
        {"equal formats need nothing", Pcm(16, 2, 44100), Pcm(16, 2, 44100), true, {}},
        {"one codec step", Pcm(16, 1, 8000), Gsm(8000), true, {"49 8000/1/0"}},
        {"8-bit source goes through 16 bits",
         Pcm(8, 2, 44100),
         Gsm(8000),
         true,
         {"PCM 8000/1/16", "49 8000/1/0"}},
        {"only the sample size in the way",
         Pcm(8, 1, 11025),
         Gsm(11025),
         true,
         {"PCM 11025/1/16", "49 11025/1/0"}},
        {"GSM decoded, then resampled",
         Gsm(8000),
         Pcm(16, 2, 44100),
         true,
         {"PCM 8000/1/16", "PCM 44100/2/16"}},
        {"A-law stereo to GSM",
         Offered(6, 8000, 2),
         Gsm(8000),
         true,
         {"PCM 8000/2/16", "PCM 8000/1/16", "49 8000/1/0"}},
        {"u-law to A-law",
         Offered(7, 22050, 1),
         Offered(6, 22050, 1),
         true,
         {"PCM 22050/1/16", "6 22050/1/8"}},
        {"a tag no driver knows", Pcm(16, 2, 44100), std::move(unknown), false, {}},
        {"GSM with a wrong block", Pcm(16, 2, 44100), std::move(badGsm), false, {}},
        {"no destination", Pcm(16, 2, 44100), nullptr, false, {}},
        {"no source", nullptr, Gsm(8000), false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (TMMConvertQuality q : {TMMConvertQuality::cqHigh, TMMConvertQuality::cqLow}) {
            const auto plan = PlanConversion(c.source.get(), c.dest.get(), q);
            ASSERT_EQ(plan.has_value(), c.possible);
            EXPECT_EQ(CanConvert(c.source.get(), c.dest.get(), q), c.possible);
            if (!plan) continue;
            std::vector<std::string> stages;
            for (const WaveFormatPtr& f : *plan) stages.push_back(Describe(*f));
            EXPECT_EQ(stages, c.stages);
            // The last stage is the destination as asked, codec word included.
            if (!plan->empty()) {
                EXPECT_EQ(
                    std::memcmp(plan->back().get(), c.dest.get(), WaveFormatSize(c.dest.get())), 0);
            }
        }
    }
}

// Every format the chooser offers can be produced from the PCM the export
// decodes, with the amount of data its byte rate promises.
TEST(CodecStreamChainTest, ProducesEveryOfferedFormatFrom16BitPcm) {
    const double seconds = 0.5;
    const WaveFormatPtr sources[] = {Pcm(16, 2, 44100), Pcm(16, 1, 8000), Pcm(16, 2, 48000)};
    for (const acm::FormatTagDetails& tag : acm::EnumFormatTags()) {
        for (const WaveFormatPtr& dest : acm::EnumFormats(tag.tag)) {
            for (const WaveFormatPtr& source : sources) {
                SCOPED_TRACE(Describe(*source) + " -> " + Describe(*dest));
                std::unique_ptr<CodecStreamChain> chain = CodecStreamChain::Build(
                    *source, *dest, TMMConvertQuality::cqHigh, CodecStreamChain::kMaxChunk);
                if (!WaveFormatsDiffer(source.get(), dest.get())) {
                    EXPECT_EQ(chain, nullptr);
                    continue;
                }
                ASSERT_NE(chain, nullptr);
                const std::string out = RunChain(
                    *chain,
                    Bytes(test::Tone(source->nSamplesPerSec, source->nChannels, 500, seconds)));
                EXPECT_EQ(out.size() % dest->nBlockAlign, 0u);
                const double expected = seconds * dest->nAvgBytesPerSec;
                EXPECT_NEAR(double(out.size()), expected,
                            std::max(2.0 * dest->nBlockAlign, 0.002 * dest->nAvgBytesPerSec));
            }
        }
    }
}

TEST(CodecStreamChainTest, BuildsItsStagesWithTheRequestedQuality) {
    const WaveFormatPtr source = Pcm(16, 2, 44100), dest = Gsm(8000);
    const std::string input = Bytes(test::Tone(44100, 2, 1000, 0.5));
    std::string outputs[2];
    int i = 0;
    for (TMMConvertQuality q : {TMMConvertQuality::cqHigh, TMMConvertQuality::cqLow}) {
        auto chain = CodecStreamChain::Build(*source, *dest, q, 10000);
        ASSERT_NE(chain, nullptr);
        ASSERT_EQ(chain->StageCount(), 2u);
        EXPECT_EQ(Describe(chain->StageSource(0)), "PCM 44100/2/16");
        EXPECT_EQ(Describe(chain->StageDest(0)), "PCM 8000/1/16");
        EXPECT_EQ(Describe(chain->StageSource(1)), "PCM 8000/1/16");
        EXPECT_EQ(Describe(chain->StageDest(1)), "49 8000/1/0");
        EXPECT_EQ(chain->ChunkSize(), 10000u);  // already whole 4-byte frames
        outputs[i++] = RunChain(*chain, input);
    }
    EXPECT_EQ(outputs[0].size(), outputs[1].size());
    EXPECT_NE(outputs[0], outputs[1]) << "both qualities used the same resampler";

    // A chunk is cut to whole source blocks.
    auto chain = CodecStreamChain::Build(*Pcm(16, 2, 44100), *Pcm(16, 1, 8000),
                                         TMMConvertQuality::cqLow, 8190);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->ChunkSize(), 8188u);
}

// ---- the converter component --------------------------------------------------------------

// The export's arrangement: a driver pushes into the converter, which
// pushes into a sink.
class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver.SetBufferSize(32768);
        converter.SetInput(&driver);
        sink.SetInput(&converter);
        ASSERT_EQ(converter.GetInput(), &driver);
        ASSERT_EQ(sink.GetInput(), &converter);
    }
    void Push(const std::string& bytes) {
        std::vector<char> data(bytes.begin(), bytes.end());
        TStreamBufferHeader h{};
        h.wh.lpData = data.data();
        h.wh.dwBufferLength = h.wh.dwBytesRecorded = uint32_t(data.size());
        driver.BufferReady(&h);
    }
    void PushInBuffers(const std::string& bytes, size_t size = 32768) {
        for (size_t pos = 0; pos < bytes.size(); pos += size) Push(bytes.substr(pos, size));
    }

    TestDriver driver{"Trigger"};
    TMMACMConverter converter{"ACMConverter"};
    Sink sink;
};

TEST_F(ConverterTest, AnnouncesTheConvertedFormatOnlyWhenItCanProduceIt) {
    WaveFormatPtr unknown = Pcm(16, 1, 8000);
    unknown->wFormatTag = 0x55;
    const struct {
        const char* what;
        WaveFormatPtr input, requested;
        bool enabled;
        bool announcesRequested, opens;
    } cases[] = {
        {"GSM from CD quality", Pcm(16, 2, 44100), Gsm(8000), true, true, true},
        {"equal formats", Pcm(16, 2, 44100), Pcm(16, 2, 44100), true, false, true},
        {"disabled", Pcm(16, 2, 44100), Gsm(8000), false, false, true},
        {"impossible", Pcm(16, 2, 44100), std::move(unknown), true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestDriver d("Trigger");
        TMMACMConverter conv("ACMConverter");
        Sink s;
        conv.SetInput(&d);
        s.SetInput(&conv);
        conv.SetEnabled(c.enabled);
        // The order of the two format changes does not matter.
        conv.SetWaveFormat(c.requested.get());
        d.SetWaveFormat(c.input.get());
        const WAVEFORMATEX* expected = c.announcesRequested ? c.requested.get() : c.input.get();
        ASSERT_NE(conv.GetWaveFormat(), nullptr);
        EXPECT_EQ(std::memcmp(conv.GetWaveFormat(), expected, WaveFormatSize(expected)), 0);
        ASSERT_NE(s.GetWaveFormat(), nullptr);
        EXPECT_EQ(std::memcmp(s.GetWaveFormat(), expected, WaveFormatSize(expected)), 0);
        if (c.opens) {
            EXPECT_NO_THROW(d.Opened());
            EXPECT_TRUE(conv.IsOpened());
        } else {
            try {
                d.Opened();
                ADD_FAILURE() << "opened an impossible conversion";
            } catch (const EMMConverterError& e) {
                EXPECT_STREQ(e.what(), "Unable to convert to destination format");
            }
            EXPECT_FALSE(conv.IsOpened());
        }
    }
}

TEST_F(ConverterTest, ReannouncesWhenEnabledOrTheInputChanges) {
    converter.SetWaveFormat(Gsm(8000).get());
    driver.SetWaveFormat(Pcm(16, 2, 44100).get());
    EXPECT_EQ(sink.GetWaveFormat()->wFormatTag, acm::kTagGSM610);
    converter.SetEnabled(false);
    EXPECT_EQ(sink.GetWaveFormat()->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(sink.GetWaveFormat()->nSamplesPerSec, 44100u);
    converter.SetEnabled(true);
    EXPECT_EQ(sink.GetWaveFormat()->wFormatTag, acm::kTagGSM610);
    // An input that equals the request passes as it is.
    driver.SetWaveFormat(Pcm(16, 1, 8000).get());
    converter.SetWaveFormat(Pcm(16, 1, 8000).get());
    EXPECT_FALSE(converter.FormatsDiffer());
    // A null request is ignored: the last one stays.
    converter.SetWaveFormat(nullptr);
    ASSERT_NE(converter.RequestedFormat(), nullptr);
    EXPECT_FALSE(WaveFormatsDiffer(converter.RequestedFormat(), Pcm(16, 1, 8000).get()));
}

TEST_F(ConverterTest, OpenedBuildsTheTwoStageChainANewRequestRebuildsItClosedReleasesIt) {
    converter.SetQuality(TMMConvertQuality::cqHigh);
    converter.SetWaveFormat(Gsm(8000).get());
    driver.SetWaveFormat(Pcm(16, 2, 44100).get());
    EXPECT_EQ(converter.Chain(), nullptr);  // nothing before Opened
    driver.Opened();
    ASSERT_NE(converter.Chain(), nullptr);
    EXPECT_EQ(converter.Chain()->StageCount(), 2u);
    EXPECT_EQ(Describe(converter.Chain()->StageDest(0)), "PCM 8000/1/16");
    EXPECT_EQ(converter.Chain()->ChunkSize(), 8192u);
    // Output records are whole GSM blocks.
    EXPECT_EQ(converter.GetBufferSize(), 32768 - 32768 % 65);

    // A new request while open and running: the running signal is ended
    // (its tail pushed on) and the chain rebuilt for the new pair.
    driver.Started();
    Push(Bytes(test::Tone(44100, 2, 1000, 0.25)));
    const size_t beforeChange = sink.data.size();
    converter.SetWaveFormat(Offered(acm::kTagMuLaw, 8000).get());
    EXPECT_FALSE(converter.IsStarted());
    EXPECT_GT(sink.data.size(), beforeChange);
    EXPECT_EQ(sink.data.size() % 65, 0u);
    ASSERT_NE(converter.Chain(), nullptr);
    EXPECT_EQ(Describe(converter.Chain()->StageDest(1)), "7 8000/1/8");
    EXPECT_EQ(sink.GetWaveFormat()->wFormatTag, acm::kTagMuLaw);

    driver.Closed();
    EXPECT_EQ(converter.Chain(), nullptr);
}

TEST_F(ConverterTest, WithoutAConversionTheRecordPassesUnchanged) {
    for (bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "equal formats" : "disabled");
        sink.records.clear();
        converter.SetEnabled(enabled);
        converter.SetWaveFormat(enabled ? Pcm(16, 2, 44100).get() : Gsm(8000).get());
        driver.SetWaveFormat(Pcm(16, 2, 44100).get());
        driver.Opened();
        driver.Started();
        EXPECT_EQ(converter.Chain(), nullptr);
        std::string data = Bytes(test::Tone(44100, 2, 1000, 0.1));
        TStreamBufferHeader h{};
        h.wh.lpData = data.data();
        h.wh.dwBufferLength = h.wh.dwBytesRecorded = uint32_t(data.size());
        driver.BufferReady(&h);
        ASSERT_EQ(sink.records.size(), 1u);
        EXPECT_EQ(sink.records[0], &h);
        EXPECT_EQ(sink.data.substr(sink.data.size() - data.size()), data);
        driver.Stopped();
        driver.Closed();
    }
}

TEST_F(ConverterTest, ConvertsInPiecesOf8192BytesAndPassesRecordsOfTheBufferSize) {
    // u-law halves the bytes and keeps no state, so every piece shows.
    const struct {
        int32_t bufferSize;
        std::vector<uint32_t> records;
    } cases[] = {
        {32768, {4096, 4096, 4096, 4096}},
        {1000, {1000, 1000, 1000, 1000, 96, 1000, 1000, 1000, 1000, 96,
                1000, 1000, 1000, 1000, 96, 1000, 1000, 1000, 1000, 96}},
    };
    const std::vector<int16_t> tone = test::Tone(8000, 1, 700, 32768 / 2 / 8000.0, 20000);
    ASSERT_EQ(tone.size() * 2, 32768u);
    std::string expected;
    for (int16_t s : tone) expected.push_back(char(acm::LinearToMuLaw(s)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bufferSize);
        sink.sizes.clear();
        sink.data.clear();
        driver.SetBufferSize(c.bufferSize);
        converter.SetWaveFormat(Offered(acm::kTagMuLaw, 8000).get());
        driver.SetWaveFormat(Pcm(16, 1, 8000).get());
        driver.Opened();
        driver.Started();
        Push(Bytes(tone));
        EXPECT_EQ(sink.sizes, c.records);
        EXPECT_EQ(sink.data, expected);
        driver.Stopped();
        driver.Closed();
    }
}

TEST_F(ConverterTest, PushedSignalArrivesWholeAsGsmAndResetStartsItAfresh) {
    converter.SetQuality(TMMConvertQuality::cqHigh);
    converter.SetWaveFormat(Gsm(8000).get());
    driver.SetWaveFormat(Pcm(16, 2, 44100).get());
    driver.Opened();
    driver.Started();
    const std::string input = Bytes(test::Tone(44100, 2, 1000, 2));
    PushInBuffers(input);
    const size_t beforeStop = sink.data.size();
    driver.Stopped();
    const std::string first = sink.data;
    // The stop pushes what the resampler and the last part block held: all
    // two seconds arrive, in whole blocks.
    EXPECT_GT(first.size(), beforeStop);
    EXPECT_EQ(first.size() % 65, 0u);
    EXPECT_NEAR(double(first.size()), 2 * 1625, 65);
    const std::vector<int16_t> decoded =
        Samples(test::ConvertWhole(*Gsm(8000), *Pcm(16, 1, 8000), first));
    EXPECT_NEAR(test::DominantFrequency(decoded, 8000), 1000, 3);
    EXPECT_GT(test::Rms(decoded), 3500);

    driver.Reset();
    sink.data.clear();
    driver.Started();
    PushInBuffers(input);
    driver.Stopped();
    EXPECT_EQ(sink.data, first) << "state of the first signal leaked into the second";
    driver.Closed();
}

TEST_F(ConverterTest, NothingPassesWhileStoppedOrWithoutAnOutput) {
    converter.SetWaveFormat(Gsm(8000).get());
    driver.SetWaveFormat(Pcm(16, 1, 8000).get());
    const std::string input = Bytes(test::Tone(8000, 1, 1000, 0.5));
    driver.Opened();
    Push(input);  // opened, not started: raw PCM must not reach a GSM sink
    EXPECT_TRUE(sink.data.empty());
    driver.Started();
    Push(input);
    EXPECT_EQ(sink.data.size(), 4000u / 320 * 65);
    driver.Stopped();  // the last part block, padded
    EXPECT_EQ(sink.data.size(), (4000u / 320 + 1) * 65);
    Push(input);
    EXPECT_EQ(sink.data.size(), (4000u / 320 + 1) * 65);
    driver.Closed();

    // Started without an Output: the buffer is dropped, nothing breaks.
    sink.data.clear();
    sink.SetInput(nullptr);
    driver.Opened();
    driver.Started();
    Push(input);
    driver.Stopped();
    driver.Closed();
    EXPECT_TRUE(sink.data.empty());
}

// ---- pull ----------------------------------------------------------------------------------

TEST(ConverterPull, PullsConvertsAndFlushesTheWholeSignal) {
    const std::string input = Bytes(test::Tone(44100, 2, 1000, 2));
    // The same signal pushed, for comparison.
    std::string pushed;
    {
        TestDriver driver("Trigger");
        TMMACMConverter converter("ACMConverter");
        Sink sink;
        converter.SetInput(&driver);
        sink.SetInput(&converter);
        driver.SetBufferSize(32768);
        converter.SetWaveFormat(Gsm(8000).get());
        driver.SetWaveFormat(Pcm(16, 2, 44100).get());
        driver.Opened();
        driver.Started();
        for (size_t pos = 0; pos < input.size(); pos += 8192) {
            std::string piece = input.substr(pos, 8192);
            TStreamBufferHeader h{};
            h.wh.lpData = piece.data();
            h.wh.dwBufferLength = h.wh.dwBytesRecorded = uint32_t(piece.size());
            driver.BufferReady(&h);
        }
        pushed = sink.data;
    }
    PullSource source;
    TMMACMConverter converter("ACMConverter");
    converter.SetInput(&source);
    source.data = input;
    converter.SetWaveFormat(Gsm(8000).get());
    source.SetWaveFormat(Pcm(16, 2, 44100).get());
    converter.Opened();
    converter.Started();
    const std::string pulled = PullAll(converter, 1000);
    EXPECT_EQ(source.position, input.size());
    // Pull and push run the same conversions; the flush adds the tail that
    // the resampler still held, up to the whole two seconds.
    ASSERT_GT(pulled.size(), pushed.size());
    EXPECT_EQ(pulled.substr(0, pushed.size()), pushed);
    EXPECT_NEAR(double(pulled.size()), 50 * 65, 65);
    const std::vector<int16_t> decoded =
        Samples(test::ConvertWhole(*Gsm(8000), *Pcm(16, 1, 8000), pulled));
    EXPECT_NEAR(test::DominantFrequency(decoded, 8000), 1000, 3);
}

TEST(ConverterPull, ToleratesFourEmptyAnswersInARowButNotFive) {
    const struct {
        std::vector<uint32_t> script;
        bool fails;
    } cases[] = {
        {{0, 0, 0, 0}, false},
        {{0, 0, 0, 0, 4096, 0, 0, 0, 0}, false},
        {{0, 0, 0, 0, 0}, true},
        // Pieces too small for a GSM block are progress, not failures.
        {{100, 100, 100, 100, 100, 100, 100}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.size());
        PullSource source;
        TMMACMConverter converter("ACMConverter");
        converter.SetInput(&source);
        source.data = Bytes(test::Tone(8000, 1, 1000, 1));
        source.script = c.script;
        converter.SetWaveFormat(Gsm(8000).get());
        source.SetWaveFormat(Pcm(16, 1, 8000).get());
        converter.Opened();
        converter.Started();
        if (c.fails) {
            EXPECT_THROW(PullAll(converter), EMMConverterError);
        } else {
            EXPECT_EQ(PullAll(converter).size(), 25u * 65);
        }
    }
}

// ---- into a wave file --------------------------------------------------------------------------

TEST(ConverterToWaveFile, WritesAGsmFileThatSoxReadsBack) {
    if (test::RunCommand("command -v soxi").empty())
        GTEST_SKIP() << "soxi (from the sox package) is not installed";
    test::TempDir dir;
    const std::string path = dir.file("export gsm.wav");
    TestDriver driver("Trigger");
    TMMACMConverter converter("ACMConverterGSM");
    TMMWaveFile file("WaveFileGSM");
    converter.SetInput(&driver);
    file.SetInput(&converter);
    driver.SetBufferSize(32768);
    converter.SetQuality(TMMConvertQuality::cqHigh);
    converter.SetWaveFormat(Gsm(8000).get());
    driver.SetWaveFormat(Pcm(16, 2, 44100).get());
    file.Wave().SetFileMustExist(false);
    file.Wave().SetFileName(path);

    const double seconds = 3;
    const std::vector<int16_t> sweep = test::Sweep(44100, 2, seconds);
    const std::string input = Bytes(sweep);
    driver.Opened();
    driver.Started();
    for (size_t pos = 0; pos < input.size(); pos += 32768) {
        std::string piece = input.substr(pos, 32768);
        TStreamBufferHeader h{};
        h.wh.lpData = piece.data();
        h.wh.dwBufferLength = h.wh.dwBytesRecorded = uint32_t(piece.size());
        driver.BufferReady(&h);
    }
    driver.Stopped();
    driver.Closed();

    const std::string quoted = "'" + path + "'";
    EXPECT_EQ(test::RunCommand("soxi -e " + quoted + " 2>&1"), "GSM");
    EXPECT_EQ(test::RunCommand("soxi -r " + quoted + " 2>&1"), "8000");
    EXPECT_EQ(test::RunCommand("soxi -c " + quoted + " 2>&1"), "1");
    const double duration = std::stod(test::RunCommand("soxi -D " + quoted + " 2>&1"));
    EXPECT_NEAR(duration, seconds, 320.0 / 8000);  // within one block

    // sox's own GSM decoder hears the signal we put in.
    const std::string raw = dir.file("decoded.raw");
    ASSERT_EQ(test::RunCommand("sox -V1 " + quoted + " -t raw -e signed -b 16 '" + raw + "' 2>&1"),
              "");
    const std::vector<int16_t> decoded = Samples(test::ReadFileBytes(raw));
    const std::vector<int16_t> reference =
        Samples(test::ConvertWhole(*Pcm(16, 2, 44100), *Pcm(16, 1, 8000), input));
    const test::Correlation c = test::Correlate(reference, decoded, 1, 0, 200);
    EXPECT_GT(c.peak, 0.8) << "lag " << c.lag;
}

}  // namespace
}  // namespace zt
