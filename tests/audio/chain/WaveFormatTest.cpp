// The format record rules and the unit conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "audio/chain/WaveFormat.h"

namespace zt {
namespace {

TEST(WaveFormat, MulDivRoundRoundsHalfUp) {
    struct Case {
        int64_t a, b, c, expected;
    };
    const Case cases[] = {
        {5, 1, 2, 3},
        {4, 1, 3, 1},
        {5, 1, 3, 2},
        {6, 1, 4, 2},
        {0, 7, 3, 0},
        {7, 0, 3, 0},
        {10, 3, 5, 6},
        // The product is formed in 64 bits.
        {4000000000LL, 176400, 44100, 16000000000LL},
        {1, 1, 0, 0},  // no divisor: 0 rather than a crash
    };
    for (const auto& tc : cases)
        EXPECT_EQ(MulDivRound(tc.a, tc.b, tc.c), tc.expected) << tc.a << "*" << tc.b << "/" << tc.c;
}

TEST(WaveFormat, SizeAndCopyRules) {
    WAVEFORMATEX pcm = MakePCMFormat(16, 2, 44100);
    pcm.cbSize = 22;  // PCM ignores cbSize
    EXPECT_EQ(WaveFormatSize(&pcm), 18u);
    EXPECT_EQ(WaveFormatSize(nullptr), 0u);
    auto copy = CopyWaveFormat(&pcm);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->cbSize, 0);
    EXPECT_EQ(copy->nAvgBytesPerSec, 176400u);
    EXPECT_FALSE(WaveFormatsDiffer(copy.get(), &pcm));

    struct {
        WAVEFORMATEX head;
        uint8_t extra[3];
    } codec{};
    codec.head.wFormatTag = 0x55;
    codec.head.cbSize = 3;
    codec.extra[0] = 1;
    codec.extra[1] = 2;
    codec.extra[2] = 3;
    EXPECT_EQ(WaveFormatSize(&codec.head), 21u);
    auto codecCopy = CopyWaveFormat(&codec.head);
    ASSERT_TRUE(codecCopy);
    EXPECT_EQ(codecCopy->cbSize, 3);
    EXPECT_EQ(std::memcmp(codecCopy.get(), &codec, 21), 0);

    EXPECT_FALSE(CopyWaveFormat(nullptr));
}

TEST(WaveFormat, MakePCMFormatFields) {
    const WAVEFORMATEX f = MakePCMFormat(16, 3, 44100);
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nBlockAlign, 6);
    EXPECT_EQ(f.nAvgBytesPerSec, 264600u);
    EXPECT_EQ(f.cbSize, 0);
}

TEST(WaveFormat, ValidPCMBounds) {
    struct Case {
        uint16_t bits, channels;
        uint32_t rate;
        bool valid;
    };
    const Case cases[] = {
        {16, 2, 44100, true},   {8, 1, 4000, true},    {8, 2, 100000, true},  {8, 1, 3999, false},
        {16, 1, 100001, false}, {24, 2, 44100, false}, {16, 3, 44100, false}, {16, 0, 44100, false},
    };
    for (const auto& tc : cases) {
        const WAVEFORMATEX f = MakePCMFormat(tc.bits, tc.channels, tc.rate);
        EXPECT_EQ(IsValidPCMFormat(&f), tc.valid)
            << tc.bits << "/" << tc.channels << "/" << tc.rate;
    }
    WAVEFORMATEX notPcm = MakePCMFormat(16, 2, 44100);
    notPcm.wFormatTag = 2;
    EXPECT_FALSE(IsValidPCMFormat(&notPcm));
    EXPECT_FALSE(IsValidPCMFormat(nullptr));
}

TEST(WaveFormat, FormatsDifferOnTagBitsChannelsRateOrAbsence) {
    const WAVEFORMATEX a = MakePCMFormat(16, 2, 44100);
    WAVEFORMATEX b = a;
    b.nAvgBytesPerSec = 1;  // not compared
    EXPECT_FALSE(WaveFormatsDiffer(&a, &b));
    EXPECT_TRUE(WaveFormatsDiffer(&a, nullptr));
    EXPECT_TRUE(WaveFormatsDiffer(nullptr, nullptr));
    for (int field = 0; field < 4; ++field) {
        WAVEFORMATEX c = a;
        if (field == 0) c.wFormatTag = 2;
        if (field == 1) c.wBitsPerSample = 8;
        if (field == 2) c.nChannels = 1;
        if (field == 3) c.nSamplesPerSec = 22050;
        EXPECT_TRUE(WaveFormatsDiffer(&a, &c)) << field;
    }
}

TEST(WaveFormat, UnitConversionsRoundBytesUpToWholeBlocks) {
    const WAVEFORMATEX three = MakePCMFormat(16, 3, 44100);  // 6-byte block, 264600 B/s
    // 1 ms = 264.6 bytes -> 265 -> next block multiple 270.
    EXPECT_EQ(MillisecondsToBytes(three, 1), 270);
    EXPECT_EQ(MillisecondsToBytes(three, 1000), 264600);
    EXPECT_EQ(SamplesToBytes(three, 100), 600);
    EXPECT_EQ(BytesToSamples(three, 600), 100);
    EXPECT_EQ(BytesToMilliseconds(three, 264600), 1000);
    // 1 byte is 0.17 samples -> 0; 4 bytes -> 0.67 -> 1.
    EXPECT_EQ(BytesToSamples(three, 1), 0);
    EXPECT_EQ(BytesToSamples(three, 4), 1);

    const WAVEFORMATEX stereo = MakePCMFormat(16, 2, 44100);
    EXPECT_EQ(MillisecondsToBytes(stereo, 1000), 176400);
    EXPECT_EQ(MillisecondsToBytes(stereo, 1), 176);
    EXPECT_EQ(BytesToMilliseconds(stereo, 4096), 23);

    WAVEFORMATEX empty{};
    EXPECT_EQ(BytesToSamples(empty, 100), 0);
    EXPECT_EQ(SamplesToBytes(empty, 100), 0);
}

}  // namespace
}  // namespace zt
