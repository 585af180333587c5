#include <gsm/gsm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "audio/SignalTestSupport.h"
#include "audio/convert/CodecTestSupport.h"
#include "audio/convert/codecs/CodecManager.h"
#include "audio/convert/codecs/G711Driver.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using namespace acm;
using test::Bytes;
using test::Samples;

// A format held by value together with the codec word that follows it
// (GSM's samples per block), so table rows can carry GSM formats.
#pragma pack(push, 1)
struct Fmt {
    WAVEFORMATEX f{};
    uint16_t extra = 0;
    Fmt() = default;
    Fmt(const WAVEFORMATEX& w) : f(w) {  // NOLINT: implicit on purpose
        if (w.wFormatTag != WAVE_FORMAT_PCM && w.cbSize >= 2)
            std::memcpy(&extra, reinterpret_cast<const uint8_t*>(&w) + sizeof w, 2);
    }
    operator const WAVEFORMATEX&() const { return f; }
};
#pragma pack(pop)

WAVEFORMATEX Pcm(uint16_t bits, uint16_t channels, uint32_t rate) {
    return MakePCMFormat(bits, channels, rate);
}

// The offered GSM format of a rate (with its samples-per-block word).
WaveFormatPtr Gsm(uint32_t rate) {
    for (WaveFormatPtr& f : EnumFormats(kTagGSM610))
        if (f->nSamplesPerSec == rate) return std::move(f);
    ADD_FAILURE() << "no GSM format at " << rate;
    return CopyWaveFormat(nullptr);
}

WAVEFORMATEX Law(uint16_t tag, uint16_t channels, uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * channels;
    f.nBlockAlign = channels;
    f.wBitsPerSample = 8;
    return f;
}

uint16_t GsmSamplesPerBlock(const WAVEFORMATEX& f) {
    uint16_t v = 0;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&f) + sizeof(WAVEFORMATEX), 2);
    return v;
}

// ---- version, metrics, enumeration ----------------------------------------------

TEST(CodecManager, ReportsAVersionTheConverterAcceptsAndMetricsThatMatchItsFormats) {
    EXPECT_GE(Version(), 0x0200u);
    const Metrics m = GetMetrics();
    EXPECT_GE(m.drivers, 3);
    EXPECT_EQ(m.codecs + m.converters + m.filters, m.drivers);
    uint32_t largest = 0;
    for (const FormatTagDetails& t : EnumFormatTags())
        for (const WaveFormatPtr& f : EnumFormats(t.tag))
            largest = std::max(largest, WaveFormatSize(f.get()));
    EXPECT_EQ(m.maxFormatSize, largest);
    EXPECT_EQ(m.maxFormatSize, 20u);  // GSM: 18 + its samples-per-block word
}

TEST(CodecManager, EnumeratesTheTagsWithTheirNamesAndTheirFormatsInChooserOrder) {
    std::vector<std::pair<uint16_t, std::string>> tags;
    for (const FormatTagDetails& t : EnumFormatTags()) tags.emplace_back(t.tag, t.name);
    const std::vector<std::pair<uint16_t, std::string>> expected = {
        {1, "PCM"}, {0x31, "GSM 6.10"}, {6, "CCITT A-Law"}, {7, "CCITT u-Law"}};
    EXPECT_EQ(tags, expected);

    for (const auto& [tag, name] : tags) {
        SCOPED_TRACE(name);
        const std::vector<WaveFormatPtr> formats = EnumFormats(tag);
        ASSERT_FALSE(formats.empty());
        for (size_t i = 0; i < formats.size(); ++i) {
            const WAVEFORMATEX& f = *formats[i];
            EXPECT_EQ(f.wFormatTag, tag);
            EXPECT_GT(f.nBlockAlign, 0);
            EXPECT_GT(f.nAvgBytesPerSec, 0u);
            if (i == 0) continue;
            const WAVEFORMATEX& p = *formats[i - 1];
            // Ascending rate; within a rate mono before stereo.
            EXPECT_TRUE(p.nSamplesPerSec < f.nSamplesPerSec ||
                        (p.nSamplesPerSec == f.nSamplesPerSec && p.nChannels <= f.nChannels))
                << i;
            EXPECT_TRUE(WaveFormatsDiffer(&p, &f)) << "listed twice: " << i;
        }
    }
    EXPECT_TRUE(EnumFormats(0x55).empty());
}

TEST(CodecManager, GsmFormatsCarryTheWavBlockLayout) {
    std::vector<uint32_t> rates;
    for (const WaveFormatPtr& f : EnumFormats(kTagGSM610)) {
        rates.push_back(f->nSamplesPerSec);
        EXPECT_EQ(f->nChannels, 1);
        EXPECT_EQ(f->nBlockAlign, 65);
        EXPECT_EQ(f->nAvgBytesPerSec, f->nSamplesPerSec * 65 / 320);
        EXPECT_EQ(f->cbSize, 2);
        EXPECT_EQ(GsmSamplesPerBlock(*f), 320);
        EXPECT_EQ(WaveFormatSize(f.get()), 20u);
    }
    EXPECT_EQ(rates, (std::vector<uint32_t>{8000, 11025, 22050, 44100}));
    EXPECT_EQ(Gsm(8000)->nAvgBytesPerSec, 1625u);
    EXPECT_EQ(DescribeFormat(*Gsm(8000)), "8.000 kHz, Mono, 1 KB/s");
    EXPECT_EQ(DescribeFormat(Pcm(16, 2, 44100)), "44.100 kHz, 16 Bit, Stereo");
}

// ---- suggestion -------------------------------------------------------------------

struct SuggestCase {
    const char* what;
    Fmt source;
    Fmt wanted;
    uint32_t fields;
    bool found;
    uint16_t tag = 0, channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
};

TEST(CodecManager, SuggestsAFormatOneDriverReachesKeepingTheWantedFields) {
    const Fmt gsm8k = *Gsm(8000);
    const SuggestCase cases[] = {
        {"PCM by channels and rate", Pcm(16, 2, 44100), Pcm(8, 1, 8000),
         SuggestChannels | SuggestRate, true, 1, 1, 8000, 16},
        {"PCM by bits", Pcm(16, 2, 44100), Pcm(8, 1, 8000), SuggestBits, true, 1, 2, 44100, 8},
        {"untagged from PCM stays PCM", Pcm(16, 1, 8000), gsm8k, 0, true, 1, 1, 8000, 16},
        {"GSM by tag from 16-bit mono", Pcm(16, 1, 8000), gsm8k, SuggestTag, true, 0x31, 1, 8000,
         0},
        {"GSM by tag from stereo", Pcm(16, 2, 8000), gsm8k, SuggestTag, false},
        {"GSM by tag from 8-bit", Pcm(8, 1, 8000), gsm8k, SuggestTag, false},
        {"GSM by tag and another rate", Pcm(16, 1, 11025), gsm8k, SuggestTag | SuggestRate, false},
        {"u-law by tag keeps channels", Pcm(16, 2, 22050), Law(7, 1, 8000), SuggestTag, true, 7, 2,
         22050, 8},
        {"GSM decodes to 16-bit mono", gsm8k, Pcm(8, 2, 44100), 0, true, 1, 1, 8000, 16},
        {"GSM cannot decode to another rate", gsm8k, Pcm(16, 1, 44100), SuggestTag | SuggestRate,
         false},
        {"A-law decodes with its channels", Law(6, 2, 11025), Pcm(16, 1, 8000), SuggestTag, true, 1,
         2, 11025, 16},
        {"unknown tag", Pcm(16, 1, 8000), Law(0x55, 1, 8000), SuggestTag, false},
        {"PCM rate out of range", Pcm(16, 1, 8000), Pcm(16, 1, 200000), SuggestRate, false},
    };
    for (const SuggestCase& c : cases) {
        SCOPED_TRACE(c.what);
        const WaveFormatPtr r = SuggestFormat(c.source, c.wanted, c.fields);
        ASSERT_EQ(r != nullptr, c.found);
        if (!r) continue;
        EXPECT_EQ(r->wFormatTag, c.tag);
        EXPECT_EQ(r->nChannels, c.channels);
        EXPECT_EQ(r->nSamplesPerSec, c.rate);
        EXPECT_EQ(r->wBitsPerSample, c.bits);
        // Whatever is suggested must open.
        EXPECT_EQ(StreamOpen(nullptr, c.source, *r, OpenQuery), Result::Ok);
    }
}

// ---- opening --------------------------------------------------------------------------

TEST(CodecManager, OpensOnlyWhatOneDriverConvertsAndAQueryHasNoSideEffects) {
    const Fmt gsm8k = *Gsm(8000);
    Fmt badGsm = gsm8k;
    badGsm.f.nBlockAlign = 64;
    WAVEFORMATEX noChannels = Pcm(16, 1, 8000);
    noChannels.nChannels = 0;
    WAVEFORMATEX inconsistent = Pcm(16, 2, 8000);
    inconsistent.nBlockAlign = 2;
    const struct {
        const char* what;
        Fmt source, dest;
        Result result;
    } cases[] = {
        {"PCM resampled and mixed", Pcm(16, 2, 44100), Pcm(8, 1, 8000), Result::Ok},
        {"PCM to itself", Pcm(16, 2, 44100), Pcm(16, 2, 44100), Result::Ok},
        {"GSM encode", Pcm(16, 1, 8000), gsm8k, Result::Ok},
        {"GSM decode", gsm8k, Pcm(16, 1, 8000), Result::Ok},
        {"GSM from stereo", Pcm(16, 2, 8000), gsm8k, Result::NotPossible},
        {"GSM from 8-bit", Pcm(8, 1, 8000), gsm8k, Result::NotPossible},
        {"GSM to another rate", gsm8k, Pcm(16, 1, 11025), Result::NotPossible},
        {"GSM with a wrong block", Pcm(16, 1, 8000), badGsm, Result::NotPossible},
        {"A-law stereo", Pcm(16, 2, 44100), Law(6, 2, 44100), Result::Ok},
        {"u-law with other channels", Pcm(16, 2, 8000), Law(7, 1, 8000), Result::NotPossible},
        {"A-law to u-law directly", Law(6, 1, 8000), Law(7, 1, 8000), Result::NotPossible},
        {"unknown tag", Pcm(16, 1, 8000), Law(0x55, 1, 8000), Result::NotPossible},
        {"no channels", noChannels, Pcm(16, 1, 8000), Result::InvalidParam},
        {"block align disagrees", inconsistent, Pcm(16, 1, 8000), Result::NotPossible},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Stream> untouched;
        EXPECT_EQ(StreamOpen(&untouched, c.source, c.dest, OpenQuery), c.result);
        EXPECT_EQ(untouched, nullptr);
        EXPECT_EQ(StreamOpen(&untouched, c.source, c.dest, OpenQuery | OpenNonRealTime), c.result);
        std::unique_ptr<Stream> stream;
        EXPECT_EQ(StreamOpen(&stream, c.source, c.dest, 0), c.result);
        EXPECT_EQ(stream != nullptr, c.result == Result::Ok);
    }
    std::unique_ptr<Stream> stream;
    EXPECT_EQ(StreamOpen(&stream, Pcm(16, 1, 8000), gsm8k, 0x100), Result::InvalidFlag);
}

TEST(CodecManager, StreamSizesFollowTheBlocksOfBothFormats) {
    const Fmt gsm8k = *Gsm(8000);
    const struct {
        const char* what;
        Fmt source, dest;
        SizeQuery query;
        uint32_t bytes, expected;
    } exact[] = {
        {"GSM encode: one block", Pcm(16, 1, 8000), gsm8k, SizeQuery::DestForSource, 640, 65},
        {"GSM encode: a tail needs a padded block", Pcm(16, 1, 8000), gsm8k,
         SizeQuery::DestForSource, 641, 130},
        {"GSM encode: source for two blocks", Pcm(16, 1, 8000), gsm8k, SizeQuery::SourceForDest,
         140, 1280},
        {"GSM decode", gsm8k, Pcm(16, 1, 8000), SizeQuery::DestForSource, 130, 1280},
        {"A-law encode", Pcm(16, 2, 8000), Law(6, 2, 8000), SizeQuery::DestForSource, 4098, 2048},
        {"u-law decode", Law(7, 2, 8000), Pcm(16, 2, 8000), SizeQuery::DestForSource, 11, 20},
        {"PCM channels and bits only", Pcm(16, 2, 8000), Pcm(8, 1, 8000), SizeQuery::DestForSource,
         4000, 1000},
    };
    for (const auto& c : exact) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Stream> s;
        ASSERT_EQ(StreamOpen(&s, c.source, c.dest, 0), Result::Ok);
        uint32_t n = 0;
        EXPECT_EQ(s->Size(c.bytes, c.query, n), Result::Ok);
        EXPECT_EQ(n, c.expected);
    }
    // Resampling: room for at least the rate ratio; the source for a
    // destination never produces more than that destination.
    std::unique_ptr<Stream> s;
    ASSERT_EQ(StreamOpen(&s, Pcm(16, 2, 44100), Pcm(16, 1, 8000), 0), Result::Ok);
    uint32_t dest = 0, source = 0;
    EXPECT_EQ(s->Size(44100 * 4, SizeQuery::DestForSource, dest), Result::Ok);
    EXPECT_GE(dest, 8000u * 2);
    EXPECT_EQ(s->Size(16000, SizeQuery::SourceForDest, source), Result::Ok);
    EXPECT_LE(source, 44100u * 4);
    EXPECT_GE(source, 44100u * 4 - 8);
}

TEST(CodecManager, HeadersMustBePreparedAndStayInsideTheirPreparedAreas) {
    std::unique_ptr<Stream> s;
    ASSERT_EQ(StreamOpen(&s, Pcm(16, 1, 8000), Law(7, 1, 8000), 0), Result::Ok);
    std::vector<uint8_t> src(1000), dst(500);
    StreamHeader h;
    h.source = src.data();
    h.sourceLength = 1000;
    h.dest = dst.data();
    h.destLength = 500;
    EXPECT_EQ(s->Convert(h, ConvertBlockAlign), Result::Unprepared);
    EXPECT_EQ(h.destUsed, 0u);

    StreamHeader empty;
    EXPECT_EQ(s->Prepare(empty), Result::InvalidParam);
    ASSERT_EQ(s->Prepare(h), Result::Ok);
    h.sourceLength = 400;
    EXPECT_EQ(s->Convert(h, ConvertBlockAlign), Result::Ok);
    EXPECT_TRUE(h.status & HeaderDone);
    EXPECT_EQ(h.sourceUsed, 400u);
    EXPECT_EQ(h.destUsed, 200u);

    h.source = src.data() + 800;  // 800 + 400 runs past the prepared 1000
    EXPECT_EQ(s->Convert(h, ConvertBlockAlign), Result::InvalidParam);
    h.source = src.data() + 600;
    EXPECT_EQ(s->Convert(h, ConvertBlockAlign), Result::Ok);
    EXPECT_EQ(s->Convert(h, 0x1000), Result::InvalidFlag);

    EXPECT_EQ(s->Unprepare(h), Result::Ok);
    EXPECT_EQ(s->Unprepare(h), Result::Unprepared);
    EXPECT_EQ(s->Convert(h, ConvertBlockAlign), Result::Unprepared);
}

// ---- block alignment and the end of a signal ------------------------------------------

TEST(CodecManager, BlockAlignTakesWholeBlocksAndEndTakesTheRest) {
    const Fmt gsm8k = *Gsm(8000);
    const struct {
        const char* what;
        Fmt source, dest;
        uint32_t length;
        uint32_t flags;
        uint32_t used, produced;
    } cases[] = {
        {"GSM keeps a part block", Pcm(16, 1, 8000), gsm8k, 1000, ConvertBlockAlign, 640, 65},
        {"GSM pads the tail at the end", Pcm(16, 1, 8000), gsm8k, 1000, ConvertEnd, 1000, 130},
        {"GSM decode keeps a cut block", gsm8k, Pcm(16, 1, 8000), 100, ConvertBlockAlign, 65, 640},
        {"GSM decode drops a cut block at the end", gsm8k, Pcm(16, 1, 8000), 100, ConvertEnd, 100,
         640},
        {"PCM keeps a part frame", Pcm(16, 2, 8000), Pcm(16, 1, 8000), 7, ConvertBlockAlign, 4, 2},
        {"PCM drops a part frame at the end", Pcm(16, 2, 8000), Pcm(16, 1, 8000), 7, ConvertEnd, 7,
         2},
        {"u-law keeps a part frame", Pcm(16, 2, 8000), Law(7, 2, 8000), 7, ConvertBlockAlign, 4, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<Stream> s;
        ASSERT_EQ(StreamOpen(&s, c.source, c.dest, 0), Result::Ok);
        std::vector<uint8_t> src(c.length, 0x11), dst(4096);
        StreamHeader h;
        h.source = src.data();
        h.sourceLength = c.length;
        h.dest = dst.data();
        h.destLength = uint32_t(dst.size());
        ASSERT_EQ(s->Prepare(h), Result::Ok);
        EXPECT_EQ(s->Convert(h, c.flags), Result::Ok);
        EXPECT_EQ(h.sourceUsed, c.used);
        EXPECT_EQ(h.destUsed, c.produced);
    }
}

TEST(CodecManager, AFullDestinationTakesLessSourceInsteadOfOverflowing) {
    std::unique_ptr<Stream> s;
    ASSERT_EQ(StreamOpen(&s, Pcm(16, 1, 8000), *Gsm(8000), 0), Result::Ok);
    std::vector<uint8_t> src(640 * 4), dst(65 * 2 + 10, 0xEE);
    StreamHeader h;
    h.source = src.data();
    h.sourceLength = uint32_t(src.size());
    h.dest = dst.data();
    h.destLength = 65 * 2 + 5;
    ASSERT_EQ(s->Prepare(h), Result::Ok);
    EXPECT_EQ(s->Convert(h, ConvertEnd), Result::Ok);
    EXPECT_EQ(h.sourceUsed, 640u * 2);
    EXPECT_EQ(h.destUsed, 130u);
    EXPECT_EQ(dst[130], 0xEE);
}

// ---- PCM ------------------------------------------------------------------------------

TEST(CodecManager, PcmChangesBitsAndChannelsSampleBySample) {
    const struct {
        const char* what;
        Fmt source, dest;
        std::vector<uint8_t> in, out;
    } cases[] = {
        {"16 to 8 bits",
         Pcm(16, 1, 8000),
         Pcm(8, 1, 8000),
         {0, 0, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x01, 0x80, 0xFF},
         {128, 255, 0, 129, 128}},
        {"8 to 16 bits",
         Pcm(8, 1, 8000),
         Pcm(16, 1, 8000),
         {0x80, 0xFF, 0x00, 0x81},
         {0, 0, 0x00, 0x7F, 0x00, 0x80, 0x00, 0x01}},
        // (1000 + 3000) / 2 and (-2 + -4) / 2
        {"stereo to mono averages",
         Pcm(16, 2, 8000),
         Pcm(16, 1, 8000),
         {0xE8, 0x03, 0xB8, 0x0B, 0xFE, 0xFF, 0xFC, 0xFF},
         {0xD0, 0x07, 0xFD, 0xFF}},
        {"mono to stereo duplicates",
         Pcm(16, 1, 8000),
         Pcm(16, 2, 8000),
         {0xD2, 0x04},
         {0xD2, 0x04, 0xD2, 0x04}},
        {"8-bit stereo to 16-bit mono",
         Pcm(8, 2, 8000),
         Pcm(16, 1, 8000),
         {0xC0, 0x40},
         {0x00, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string in(c.in.begin(), c.in.end());
        const std::string out = test::ConvertWhole(c.source, c.dest, in);
        EXPECT_EQ(out, std::string(c.out.begin(), c.out.end()));
    }
}

TEST(CodecManager, ResamplingKeepsAToneAndTheSignalLength) {
    const struct {
        WAVEFORMATEX source, dest;
        uint32_t openFlags;
        double frequency;
    } cases[] = {
        {Pcm(16, 2, 44100), Pcm(16, 1, 8000), OpenNonRealTime, 1000},
        {Pcm(16, 2, 44100), Pcm(16, 1, 8000), 0, 440},
        {Pcm(16, 1, 8000), Pcm(16, 2, 48000), OpenNonRealTime, 1000},
        {Pcm(8, 1, 22050), Pcm(16, 1, 11025), 0, 700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DescribeFormat(c.source) + " -> " + DescribeFormat(c.dest) +
                     (c.openFlags ? " (high quality)" : " (real time)"));
        const double seconds = 2;
        std::vector<int16_t> tone16 =
            test::Tone(c.source.nSamplesPerSec, c.source.nChannels, c.frequency, seconds);
        std::string in = Bytes(tone16);
        if (c.source.wBitsPerSample == 8) {
            in.clear();
            for (int16_t s : tone16) in.push_back(char(uint8_t((s >> 8) + 128)));
        }
        const std::string out = test::ConvertWhole(c.source, c.dest, in, 4096, c.openFlags);
        const std::vector<int16_t> pcm = Samples(out);
        const size_t frames = pcm.size() / c.dest.nChannels;
        EXPECT_NEAR(double(frames), seconds * c.dest.nSamplesPerSec, 2);
        for (int ch = 0; ch < c.dest.nChannels; ++ch) {
            const std::vector<int16_t> mono = test::Channel(pcm, c.dest.nChannels, ch);
            EXPECT_NEAR(test::DominantFrequency(mono, c.dest.nSamplesPerSec), c.frequency, 3);
            // The level survives (a sine of amplitude 10000 has RMS 7071).
            EXPECT_NEAR(test::Rms(mono), 7071, 300);
        }
    }
}

// ---- A-law and u-law ----------------------------------------------------------------------

TEST(CodecManager, LawCodesMatchTheCompandingTables) {
    const struct {
        int16_t linear;
        uint8_t alaw, ulaw;
    } encode[] = {
        {0, 0xD5, 0xFF},      {-1, 0x55, 0x7E},   {32767, 0xAA, 0x80},
        {-32768, 0x2A, 0x00}, {1000, 0xFA, 0xCE}, {-1000, 0x7A, 0x4E},
    };
    for (const auto& c : encode) {
        SCOPED_TRACE(c.linear);
        EXPECT_EQ(LinearToALaw(c.linear), c.alaw);
        EXPECT_EQ(LinearToMuLaw(c.linear), c.ulaw);
    }
    const struct {
        uint8_t code;
        int16_t alaw, ulaw;
    } decode[] = {
        {0xD5, 8, 716},      {0x55, -8, -716},      {0xAA, 32256, 5372}, {0x2A, -32256, -5372},
        {0x80, 5504, 32124}, {0x00, -5504, -32124}, {0xFF, 848, 0},      {0x7F, -848, 0},
    };
    for (const auto& c : decode) {
        SCOPED_TRACE(int(c.code));
        EXPECT_EQ(ALawToLinear(c.code), c.alaw);
        EXPECT_EQ(MuLawToLinear(c.code), c.ulaw);
    }
}

// An independent codec agrees on every code, and encodes a range of
// samples to the same codes up to where it rounds a sample we cut.
TEST(CodecManager, SoxDecodesAndEncodesTheLawsAsWeDo) {
    if (test::RunCommand("command -v sox").empty()) GTEST_SKIP() << "sox is not installed";
    test::TempDir dir;
    std::string codes;
    for (int c = 0; c < 256; ++c) codes.push_back(char(c));
    std::vector<int16_t> linear;
    for (int v = -32768; v <= 32767; v += 7) linear.push_back(int16_t(v));
    test::WriteFileBytes(dir.file("codes.raw"), codes);
    test::WriteFileBytes(dir.file("linear.raw"), Bytes(linear));
    auto quoted = [&](const char* name) { return "'" + dir.file(name) + "'"; };
    for (uint16_t tag : {kTagALaw, kTagMuLaw}) {
        SCOPED_TRACE(tag);
        const std::string encoding = tag == kTagALaw ? "a-law" : "u-law";
        const std::string law = " -D -t raw -r 8000 -c 1 -e " + encoding + " -b 8 ";
        const std::string pcm = " -D -t raw -r 8000 -c 1 -e signed -b 16 ";
        ASSERT_EQ(test::RunCommand("sox -V1" + law + quoted("codes.raw") + pcm +
                                   quoted("decoded.raw") + " 2>&1"),
                  "");
        ASSERT_EQ(test::RunCommand("sox -V1" + pcm + quoted("linear.raw") + law +
                                   quoted("encoded.raw") + " 2>&1"),
                  "");
        const std::vector<int16_t> decoded = Samples(test::ReadFileBytes(dir.file("decoded.raw")));
        const std::string encoded = test::ReadFileBytes(dir.file("encoded.raw"));
        ASSERT_EQ(decoded.size(), 256u);
        ASSERT_EQ(encoded.size(), linear.size());
        const std::vector<int16_t> ours =
            Samples(test::ConvertWhole(Law(tag, 1, 8000), Pcm(16, 1, 8000), codes));
        ASSERT_EQ(ours.size(), 256u);
        for (int c = 0; c < 256; ++c) ASSERT_EQ(ours[c], decoded[c]) << "code " << c;
        const std::string ourCodes =
            test::ConvertWhole(Pcm(16, 1, 8000), Law(tag, 1, 8000), Bytes(linear));
        ASSERT_EQ(ourCodes.size(), encoded.size());
        // Where the two encoders disagree (sox rounds the sample before
        // choosing a level, we cut it), the sample lies between the two
        // levels chosen.
        auto level = tag == kTagALaw ? &ALawToLinear : &MuLawToLinear;
        size_t differ = 0;
        for (size_t i = 0; i < linear.size(); ++i) {
            if (ourCodes[i] == encoded[i]) continue;
            ++differ;
            const int a = level(uint8_t(ourCodes[i])), b = level(uint8_t(encoded[i]));
            ASSERT_LE(std::min(a, b), linear[i] + 8) << linear[i];
            ASSERT_GE(std::max(a, b), linear[i] - 8) << linear[i];
        }
        EXPECT_LT(differ, linear.size() / 50);
    }
}

TEST(CodecManager, LawRoundTripsStayMonotonicAndWithinTheStepSize) {
    for (uint16_t tag : {kTagALaw, kTagMuLaw}) {
        SCOPED_TRACE(tag);
        // Every 16-bit value, as stereo frames through real streams.
        std::vector<int16_t> all;
        for (int v = -32768; v <= 32767; ++v) all.push_back(int16_t(v));
        const std::string codes =
            test::ConvertWhole(Pcm(16, 2, 8000), Law(tag, 2, 8000), Bytes(all));
        ASSERT_EQ(codes.size(), all.size());
        const std::vector<int16_t> back =
            Samples(test::ConvertWhole(Law(tag, 2, 8000), Pcm(16, 2, 8000), codes));
        ASSERT_EQ(back.size(), all.size());
        int previous = -32768;
        for (size_t i = 0; i < all.size(); ++i) {
            const int x = all[i], y = back[i];
            ASSERT_LE(std::abs(y - x), std::abs(x) / 16 + 16) << "at " << x;
            ASSERT_GE(y, previous) << "not monotonic at " << x;
            previous = y;
        }
    }
}

// ---- GSM 6.10 --------------------------------------------------------------------------------

// Decodes WAV-framed GSM with libgsm directly, reading each block's halves
// at the given offsets: 0 and 33 is the WAV framing.
std::vector<int16_t> DecodeWithOffsets(const std::string& blocks, int secondHalf) {
    gsm g = gsm_create();
    int one = 1;
    gsm_option(g, GSM_OPT_WAV49, &one);
    std::vector<int16_t> out;
    for (size_t b = 0; b + 65 <= blocks.size(); b += 65) {
        gsm_byte block[66] = {};
        std::memcpy(block, blocks.data() + b, 65);
        gsm_signal s[320];
        gsm_decode(g, block, s);
        gsm_decode(g, block + secondHalf, s + 160);
        out.insert(out.end(), s, s + 320);
    }
    gsm_destroy(g);
    return out;
}

TEST(CodecManager, GsmRoundTripKeepsTheSignal) {
    const WAVEFORMATEX pcm = Pcm(16, 1, 8000);
    const WaveFormatPtr gsm8k = Gsm(8000);
    for (double frequency : {440.0, 1000.0}) {
        SCOPED_TRACE(frequency);
        const std::vector<int16_t> tone = test::Tone(8000, 1, frequency, 2);
        const std::string blocks = test::ConvertWhole(pcm, *gsm8k, Bytes(tone), 1000);
        EXPECT_EQ(blocks.size(), (16000u + 319) / 320 * 65);
        const std::vector<int16_t> back = Samples(test::ConvertWhole(*gsm8k, pcm, blocks));
        ASSERT_EQ(back.size(), blocks.size() / 65 * 320);
        EXPECT_NEAR(test::DominantFrequency(back, 8000), frequency, 3);
        EXPECT_GT(test::Rms(back), 0.5 * test::Rms(tone));
    }
    // A sweep lines up with the original after the codec's delay.
    const std::vector<int16_t> sweep = test::Sweep(8000, 1, 3);
    const std::string blocks = test::ConvertWhole(pcm, *gsm8k, Bytes(sweep));
    const std::vector<int16_t> back = Samples(test::ConvertWhole(*gsm8k, pcm, blocks));
    const test::Correlation right = test::Correlate(sweep, back, 1, 0, 40);
    EXPECT_GT(right.peak, 0.8) << "lag " << right.lag;

    // The same check sees through a wrong framing: libgsm decoding the
    // second half from byte 32 gives noise without any error.
    const test::Correlation wrong = test::Correlate(sweep, DecodeWithOffsets(blocks, 32), 1, 0, 40);
    const test::Correlation direct =
        test::Correlate(sweep, DecodeWithOffsets(blocks, 33), 1, 0, 40);
    EXPECT_LT(wrong.peak, 0.5);
    EXPECT_NEAR(direct.peak, right.peak, 1e-9);
}

TEST(CodecManager, StartBeginsANewSignalWithFreshCodecState) {
    const std::vector<int16_t> tone = test::Tone(8000, 1, 1000, 0.5);
    const std::string in = Bytes(tone);
    for (bool resample : {false, true}) {
        SCOPED_TRACE(resample ? "PCM resampler" : "GSM encoder");
        const WAVEFORMATEX source = Pcm(16, 1, 8000);
        const WaveFormatPtr dest = resample ? CopyWaveFormat(&source) : Gsm(8000);
        if (resample) *dest = Pcm(16, 1, 11025);
        std::unique_ptr<Stream> s;
        ASSERT_EQ(StreamOpen(&s, source, *dest, 0), Result::Ok);
        std::vector<uint8_t> src(in.begin(), in.end()), dst(40000);
        StreamHeader h;
        h.source = src.data();
        h.sourceLength = uint32_t(src.size());
        h.dest = dst.data();
        h.destLength = uint32_t(dst.size());
        ASSERT_EQ(s->Prepare(h), Result::Ok);
        auto run = [&](uint32_t flags) {
            EXPECT_EQ(s->Convert(h, flags), Result::Ok);
            return std::string(dst.begin(), dst.begin() + h.destUsed);
        };
        const std::string first = run(ConvertBlockAlign);
        const std::string carriedOn = run(ConvertBlockAlign);
        const std::string restarted = run(ConvertStart | ConvertBlockAlign);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(restarted, first);
        EXPECT_NE(carriedOn, first);
        EXPECT_EQ(s->Reset(), Result::Ok);
        EXPECT_EQ(run(ConvertBlockAlign), first);
    }
}

}  // namespace
}  // namespace zt
