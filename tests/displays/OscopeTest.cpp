#include "displays/Oscope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/MainWindowDisplaySetUp.h"
#include "displays/DisplayErrors.h"
#include "support/Renders.h"

namespace zt {
namespace {

constexpr int kW = 273, kH = 86;
const QRgb kLime = ToQRgb(clLime), kBlack = ToQRgb(clBlack);

// 16-bit stereo frames, as many as the scope reads in one update.
std::vector<int16_t> StereoFrames(int frames, int16_t left, int16_t right) {
    std::vector<int16_t> data(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        data[size_t(2 * i)] = left;
        data[size_t(2 * i + 1)] = right;
    }
    return data;
}

class OscopeTest : public ::testing::Test {
protected:
    OscopeTest() { SetUpMainWindowOscope(scope); }

    void Feed(int16_t left, int16_t right) {
        const auto data = StereoFrames(scope.BytesPerUpdate() / 4, left, right);
        scope.ProcessData(data.data());
    }
    // Rows of column x that differ from the background.
    std::vector<int> LitRows(const QImage& image, int x) {
        std::vector<int> rows;
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y) != kBlack) rows.push_back(y);
        return rows;
    }

    TMMOscope scope;
};

TEST_F(OscopeTest, BytesPerUpdateFollowsZoomAndFormat) {
    struct Case {
        int zoom, bits, channels, bytes;
    } const cases[] = {
        {1, 16, 2, 4 * kW},
        {3, 16, 2, 3 * 4 * kW},
        {-1, 16, 2, (4 * kW / 2 + 5) / 4 * 4},  // 548
        {-3, 16, 2, (4 * kW / 4 + 5) / 4 * 4},  // 276
        {1, 8, 1, kW},
        {-2, 8, 1, (kW / 3 + 5) / 4 * 4},  // 96
        {-9, 16, 1, (2 * kW / 10 + 5) / 4 * 4},
    };
    for (const Case& c : cases) {
        const WAVEFORMATEX format = MakePCMFormat(uint16_t(c.bits), uint16_t(c.channels), 44100);
        scope.SetPCMFormat(&format);
        scope.SetZoom(c.zoom);
        EXPECT_EQ(scope.BytesPerUpdate(), c.bytes)
            << "zoom " << c.zoom << ", " << c.bits << " bits, " << c.channels << " channels";
    }
}

TEST_F(OscopeTest, EveryColumnTakesItsFrameAndStaysInsideTheWindow) {
    // Each frame carries its own index, so the trace shows which frame a
    // column read. The buffer is exactly one update long (ASan catches a
    // read past it).
    for (int zoom : {1, 2, -1, -4, -9}) {
        scope.SetZoom(zoom);
        const int frames = scope.BytesPerUpdate() / 4;
        std::vector<int16_t> data(size_t(frames) * 2);
        for (int i = 0; i < frames; ++i) data[size_t(2 * i)] = data[size_t(2 * i + 1)] = int16_t(i);
        scope.ProcessData(data.data());
        for (int x = 0; x < kW; x += 17) {
            const int frame = zoom > 0 ? x * zoom : x / (-zoom + 1);
            ASSERT_EQ(scope.Trace()[size_t(x)], frame) << "zoom " << zoom << ", column " << x;
        }
        EXPECT_LT(scope.Trace().back(), frames);
    }
}

TEST_F(OscopeTest, ChannelChoiceAndEightBitSamples) {
    Feed(1000, -3001);
    EXPECT_EQ(scope.Trace()[0], -1000) << "mean rounded towards zero";
    scope.SetChannel(TMMChannel::chLeft);
    Feed(1000, -3001);
    EXPECT_EQ(scope.Trace()[0], 1000);
    scope.SetChannel(TMMChannel::chRight);
    Feed(1000, -3001);
    EXPECT_EQ(scope.Trace()[5], -3001);

    const WAVEFORMATEX mono8 = MakePCMFormat(8, 1, 22050);
    scope.SetPCMFormat(&mono8);
    std::vector<uint8_t> bytes(size_t(scope.BytesPerUpdate()), 255);
    bytes[1] = 0;
    bytes[2] = 128;
    scope.ProcessData(bytes.data());
    EXPECT_EQ(scope.Trace()[0], 255 * 256 - 32768);
    EXPECT_EQ(scope.Trace()[1], -32768);
    EXPECT_EQ(scope.Trace()[2], 0);
}

TEST_F(OscopeTest, LowPassMixesThePreviousInput) {
    scope.SetLowPass(true);
    const int frames = scope.BytesPerUpdate() / 4;
    std::vector<int16_t> data(size_t(frames) * 2, 0);
    data[2] = data[3] = 4000;  // frame 1
    scope.ProcessData(data.data());
    EXPECT_EQ(scope.Trace()[1], 3000);  // (0 + 3 * 4000) / 4
    EXPECT_EQ(scope.Trace()[2], 1000);  // (4000 + 3 * 0) / 4
    EXPECT_EQ(scope.Trace()[3], 0);
}

TEST_F(OscopeTest, RowsOfSamplesPerStyleAndGain) {
    struct Case {
        TMMOscopeKind kind;
        int gain, sample, row;
    } const cases[] = {
        {TMMOscopeKind::okConLines, 0, 32767, 0},
        {TMMOscopeKind::okConLines, 0, -32768, kH - 1},
        {TMMOscopeKind::okConLines, 0, 0, kH / 2},
        {TMMOscopeKind::okConLines, 8, 16384, 0},         // doubled: full scale
        {TMMOscopeKind::okConLines, 32, 32767, 0},        // beyond the top: clipped
        {TMMOscopeKind::okConLines, 32, -32768, kH - 1},  // beyond the bottom
        {TMMOscopeKind::okConLines, -8, 32767, kH / 2},   // gain 0: flat
        {TMMOscopeKind::okSpikes, 0, 0, kH - 1},
        {TMMOscopeKind::okSpikes, 0, -32767, 0},
        {TMMOscopeKind::okSpikes, 0, 16384, kH - 1 - (16384 * kH) / 32767},
    };
    for (const Case& c : cases) {
        scope.SetKind(c.kind);
        scope.SetGain(c.gain);
        EXPECT_EQ(scope.RowOf(c.sample), c.row)
            << "kind " << int(c.kind) << ", gain " << c.gain << ", sample " << c.sample;
    }
}

TEST_F(OscopeTest, SilenceIsAFlatTraceAtMidHeight) {
    Feed(5000, 5000);
    scope.ResetData();
    const QImage& image = scope.Image();
    test::SaveRender(image, "oscope_conlines_silence");
    for (int x = 0; x < kW; ++x) ASSERT_EQ(LitRows(image, x), std::vector<int>{kH / 2}) << x;
    EXPECT_EQ(image.pixel(100, kH / 2), kLime);
}

TEST_F(OscopeTest, FullScaleSamplesDrawAtTheTopAndBottomRows) {
    Feed(32767, 32767);
    EXPECT_EQ(LitRows(scope.Image(), 0), std::vector<int>{0});
    EXPECT_EQ(LitRows(scope.Image(), kW - 1), std::vector<int>{0});
    Feed(-32768, -32768);
    EXPECT_EQ(LitRows(scope.Image(), 137), std::vector<int>{kH - 1});
}

TEST_F(OscopeTest, EveryStyleDrawsItsShape) {
    // A square wave: half the window at +half scale, half at -half scale.
    const int frames = scope.BytesPerUpdate() / 4;
    std::vector<int16_t> data(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        data[size_t(2 * i)] = data[size_t(2 * i + 1)] = int16_t(i < frames / 2 ? 16384 : -16384);
    const int high = scope.RowOf(16384), low = scope.RowOf(-16384), mid = kH / 2;
    ASSERT_LT(high, mid);
    ASSERT_GT(low, mid);

    auto range = [](int a, int b) {
        std::vector<int> v;
        for (int y = std::min(a, b); y <= std::max(a, b); ++y) v.push_back(y);
        return v;
    };
    struct Case {
        TMMOscopeKind kind;
        const char* name;
        std::vector<int> column10;   // lit rows of column 10 (high half)
        std::vector<int> column200;  // and of column 200 (low half)
    } const cases[] = {
        {TMMOscopeKind::okDots, "oscope_dots_square", {high}, {low}},
        {TMMOscopeKind::okConLines, "oscope_conlines_square", {high}, {low}},
        {TMMOscopeKind::okVertLines, "oscope_vertlines_square", range(mid, high), range(mid, low)},
        {TMMOscopeKind::okMirLines, "oscope_mirlines_square", range(high, kH - 1 - high),
         range(kH - 1 - low, low)},
        {TMMOscopeKind::okSpikes, "oscope_spikes_square",
         range(kH - 1, kH - 1 - (16384 * kH) / 32767),
         range(kH - 1, kH - 1 - (16384 * kH) / 32767)},
    };
    for (const Case& c : cases) {
        scope.SetKind(c.kind);
        scope.ProcessData(data.data());
        const QImage& image = scope.Image();
        test::SaveRender(image, c.name);
        EXPECT_EQ(LitRows(image, 10), c.column10) << c.name;
        EXPECT_EQ(LitRows(image, 200), c.column200) << c.name;
    }
    // The connected line joins the two halves with a vertical run.
    scope.SetKind(TMMOscopeKind::okConLines);
    const int edge = frames / 2;  // first column of the low half
    std::vector<int> step = LitRows(scope.Image(), edge - 1);
    for (int y : LitRows(scope.Image(), edge)) step.push_back(y);
    std::sort(step.begin(), step.end());
    EXPECT_EQ(step, range(high, low)) << "the step between the halves is drawn";
    // The mirrored style has its two middle rows across the whole width.
    scope.SetKind(TMMOscopeKind::okMirLines);
    scope.ResetData();
    EXPECT_EQ(LitRows(scope.Image(), 50), (std::vector<int>{mid - 1, mid}));
}

TEST_F(OscopeTest, StepsDrawEveryNthColumn) {
    scope.SetKind(TMMOscopeKind::okDots);
    scope.SetSteps(3);
    Feed(0, 0);
    const QImage& image = scope.Image();
    EXPECT_EQ(image.pixel(0, kH / 2), kLime);
    EXPECT_EQ(image.pixel(1, kH / 2), kBlack);
    EXPECT_EQ(image.pixel(2, kH / 2), kBlack);
    EXPECT_EQ(image.pixel(3, kH / 2), kLime);
}

TEST_F(OscopeTest, DisabledOrHiddenScopeIgnoresData) {
    Feed(1234, 1234);
    scope.SetEnabled(false);
    Feed(-5000, -5000);
    EXPECT_EQ(scope.Trace()[0], 1234);
    for (int x : {0, 100, 272}) EXPECT_TRUE(LitRows(scope.Image(), x).empty());
    scope.SetEnabled(true);
    scope.SetVisible(false);
    Feed(-5000, -5000);
    EXPECT_EQ(scope.Trace()[0], 1234);
    scope.SetVisible(true);
    Feed(-5000, -5000);
    EXPECT_EQ(scope.Trace()[0], -5000);
}

TEST_F(OscopeTest, MeasurementOverlayHoldsTheTraceWhileTheButtonIsDown) {
    Feed(32767, 32767);
    scope.MouseDown(TMMMouseButton::mbLeft, 136, 0);
    ASSERT_TRUE(scope.InfoActive());
    // 273 frames at 44100 Hz last 6.19 ms; column 136 ends 137/273 in.
    EXPECT_EQ(scope.InfoText(), " 3.1 ms 1.00 V");
    Feed(0, 0);
    EXPECT_EQ(scope.Trace()[0], 32767) << "updates stop while measuring";

    scope.MouseMove(400, kH - 1);  // clamped to the last column
    EXPECT_EQ(scope.InfoText(), " 6.2 ms -0.98 V");
    const QImage& image = scope.Image();
    test::SaveRender(image, "oscope_info_overlay");
    // The box sits left of and above the pointer near the bottom right
    // corner, and hides the trace there.
    int boxPixels = 0;
    for (int y = kH - 30; y < kH; ++y)
        for (int x = kW - 80; x < kW; ++x)
            if (image.pixel(x, y) == kLime && y != 0) ++boxPixels;
    EXPECT_GT(boxPixels, 20) << "frame and text of the box";

    scope.SetKind(TMMOscopeKind::okSpikes);
    scope.MouseMove(10, 0);
    EXPECT_EQ(scope.InfoText(), " 0.2 ms 1.00 V");

    scope.MouseUp(TMMMouseButton::mbLeft, 10, 0);
    EXPECT_FALSE(scope.InfoActive());
    EXPECT_EQ(scope.InfoText(), "");
    Feed(0, 0);
    EXPECT_EQ(scope.Trace()[0], 0) << "updates resume";

    scope.SetShowInfo(false);
    scope.MouseDown(TMMMouseButton::mbLeft, 10, 10);
    EXPECT_FALSE(scope.InfoActive());
    scope.SetShowInfo(true);
    scope.MouseDown(TMMMouseButton::mbRight, 10, 10);
    EXPECT_FALSE(scope.InfoActive()) << "only the left button measures";
}

TEST_F(OscopeTest, FormatIsTakenFromValidPcmOnly) {
    const WAVEFORMATEX fast = MakePCMFormat(16, 1, 96000);
    scope.SetPCMFormat(&fast);
    EXPECT_EQ(scope.SampleRate(), 88200);
    EXPECT_EQ(scope.Mode(), TMMMode::mMono);
    EXPECT_EQ(scope.BytesPerUpdate(), 2 * kW);

    WAVEFORMATEX gsm = MakePCMFormat(16, 2, 44100);
    gsm.wFormatTag = 0x31;
    try {
        scope.SetPCMFormat(&gsm);
        FAIL() << "a non-PCM format must be refused";
    } catch (const EMMOscopeError& e) {
        EXPECT_EQ(e.message(), "Invalid WaveFormat");
    }
    EXPECT_THROW(scope.SetPCMFormat(nullptr), EMMOscopeError);
    EXPECT_EQ(scope.SampleRate(), 88200) << "a refused format changes nothing";
    EXPECT_EQ(scope.BytesPerUpdate(), 2 * kW);
}

TEST(OscopeStyleCycleTest, FiveClicksRunThroughTheStylesAndBack) {
    const TMMOscopeKind expected[] = {TMMOscopeKind::okDots, TMMOscopeKind::okMirLines,
                                      TMMOscopeKind::okSpikes, TMMOscopeKind::okVertLines,
                                      TMMOscopeKind::okConLines};
    int counter = 1;
    EXPECT_EQ(OscopeKindForStyle(counter), TMMOscopeKind::okConLines);
    for (TMMOscopeKind kind : expected) {
        counter = NextOscopeStyle(counter);
        EXPECT_EQ(OscopeKindForStyle(counter), kind) << "counter " << counter;
    }
    EXPECT_EQ(counter, 1);
}

}  // namespace
}  // namespace zt
