#include "displays/LEDLabel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/MainWindowDisplaySetUp.h"
#include "support/Renders.h"

namespace zt {
namespace {

constexpr TColor kGray = clGray;

// Reads a rendered label back into cell codes: each cell is compared with
// every glyph of the font, drawn in the label's three colours. The first
// matching code wins (lower case shares the capitals' shapes, so it reads
// as upper case; every blank cell reads as 32). -1 when nothing matches.
std::vector<int> ReadCells(TMMLEDLABEL& label) {
    const QImage& image = label.Image();
    const TMMLEDFont& font = TMMLEDFont::Get(label.FontSize());
    const int gw = font.GlyphWidth(), gh = font.GlyphHeight();
    const int pitch = gw + label.LEDSpace() - 1;
    const QRgb colours[3] = {
        ToQRgb(label.Color()),
        label.DrawInactive() ? ToQRgb(label.InactiveColor()) : ToQRgb(label.Color()),
        ToQRgb(label.LEDColor())};
    std::vector<int> out;
    for (int i = 0; i < label.NumChars(); ++i) {
        const int x0 = label.BorderWidth() + i * pitch, y0 = label.BorderWidth();
        int found = -1;
        for (int code = TMMLEDFont::kFirstCode; code <= TMMLEDFont::kLastCode && found < 0;
             ++code) {
            bool same = true;
            for (int y = 0; y < gh && same; ++y)
                for (int x = 0; x < gw && same; ++x)
                    same = (image.pixel(x0 + x, y0 + y) | 0xFF000000) ==
                           (colours[int(font.PixelAt(code, x, y))] | 0xFF000000);
            if (same) found = code;
        }
        out.push_back(found);
    }
    return out;
}

std::string ReadText(TMMLEDLABEL& label) {
    std::string text;
    for (int code : ReadCells(label)) text += code < 0 ? '?' : char(code);
    return text;
}

// A label that shows its unlit dots in a colour of their own, so a read
// back tells lit, unlit and background apart.
struct TestLabel : TMMLEDLABEL {
    TestLabel() {
        SetLEDColor(clLime);
        SetInactiveColor(kGray);
    }
};

// ---- the font bitmaps ----------------------------------------------------

TEST(LEDFontTest, BitmapsHoldTwoRowsOf63CellsSeparatedByTwoPixels) {
    struct Case {
        TMMLEDFontSize size;
        int w, h;
    } cases[] = {{TMMLEDFontSize::fs11x13, 11, 13},
                 {TMMLEDFontSize::fs16x20, 16, 20},
                 {TMMLEDFontSize::fs11x13_bold, 11, 13}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w * 100 + c.h);
        const TMMLEDFont& font = TMMLEDFont::Get(c.size);
        ASSERT_FALSE(font.Bitmap().isNull());
        EXPECT_EQ(font.Bitmap().width(), 63 * c.w);
        EXPECT_EQ(font.Bitmap().height(), 2 * c.h + 2);
        EXPECT_EQ(font.GlyphWidth(), c.w);
        EXPECT_EQ(font.GlyphHeight(), c.h);
        EXPECT_EQ(font.CellOrigin(32), QPoint(0, 0));
        EXPECT_EQ(font.CellOrigin(94), QPoint(62 * c.w, 0));
        EXPECT_EQ(font.CellOrigin(95), QPoint(0, c.h + 2));
        EXPECT_EQ(font.CellOrigin(157), QPoint(62 * c.w, c.h + 2));
        // The two rows between the cell rows are background.
        for (int x = 0; x < font.Bitmap().width(); ++x) {
            EXPECT_EQ(qGray(font.Bitmap().pixel(x, c.h)), 0) << x;
            EXPECT_EQ(qGray(font.Bitmap().pixel(x, c.h + 1)), 0) << x;
        }

        // '_' (the first cell of the second row) lights only its bottom
        // dot row: a wrong row offset would move it or cut it off.
        int lowestLit = -1, highestLit = c.h;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (font.PixelAt('_', x, y) == TMMLEDPixel::Lit) {
                    lowestLit = std::max(lowestLit, y);
                    highestLit = std::min(highestLit, y);
                }
        EXPECT_EQ(lowestLit, c.h - 1);
        EXPECT_GE(highestLit, c.h - 2);

        // A blank cell has unlit dots and nothing lit; every character the
        // read-outs show has a glyph of its own.
        int unlit = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                EXPECT_NE(font.PixelAt(' ', x, y), TMMLEDPixel::Lit);
                unlit += font.PixelAt(' ', x, y) == TMMLEDPixel::Unlit;
            }
        EXPECT_EQ(unlit, c.w == 16 ? 35 * 4 : 35);
        auto lit = [&](int code) {
            int n = 0;
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x) n += font.PixelAt(code, x, y) == TMMLEDPixel::Lit;
            return n;
        };
        for (int code : std::string("0123456789:.-%ABCDEFGHIJKLMNOPQRSTUVWXYZaz"))
            EXPECT_GT(lit(code), 0) << char(code);
        for (int code : {135, 137, 140, 149, 150}) EXPECT_GT(lit(code), 0) << code;
    }
}

TEST(LEDFontTest, CharactersMapToTheirCells) {
    struct Case {
        uint32_t ch;
        int cell;
    } cases[] = {
        {'A', 'A'}, {' ', 32},  {157, 157}, {31, 32},   {158, 32},    {0, 32},
        {196, 135}, {228, 135}, {214, 140}, {246, 140}, {220, 137},   {252, 137},
        {223, 149}, {177, 150}, {200, 32},  {199, 32},  {0x20AC, 32}, {0xFFFD, 32},
    };
    for (const Case& c : cases) EXPECT_EQ(TMMLEDFont::CellCodeOf(c.ch), c.cell) << c.ch;
}

// ---- characters, cells and size ------------------------------------------

TEST(LEDLabelTest, Utf8CaptionDrawsOneCellPerCharacterWithTheMappedGlyph) {
    TestLabel label;
    label.SetCaption("A\xC3\x84\xC3\xBC\xC3\x9F\xC2\xB1 z");  // "AÄüß± z"
    EXPECT_EQ(label.NumChars(), 7);
    EXPECT_EQ(ReadCells(label), (std::vector<int>{'A', 135, 137, 149, 150, 32, 'Z'}));

    // A Latin-1 letter the font has no cell for shows blank: code 200 (È)
    // and the Ç of the main window's captions.
    label.SetCaption(
        "\xC3\x88"
        "ESPA\xC3\x87O");  // "ÈESPAÇO"
    EXPECT_EQ(label.NumChars(), 7);
    EXPECT_EQ(ReadText(label), " ESPA O");

    // Broken UTF-8 does not throw nor eat its neighbours.
    label.SetCaption(
        "A\xC3"
        "B");
    EXPECT_EQ(ReadText(label).front(), 'A');
    EXPECT_EQ(ReadText(label).back(), 'B');
}

TEST(LEDLabelTest, AutoSizeFitsTheCaptionAndFixedWidthGivesTheCellCount) {
    TestLabel label;
    label.SetCaption("0 MB");
    EXPECT_EQ(label.NumChars(), 4);
    EXPECT_EQ(label.Width(), 2 * 2 + 4 * 11);
    EXPECT_EQ(label.Height(), 2 * 2 + 13);
    std::vector<std::pair<int, int>> reported;
    label.OnAutoSize = [&](int w, int h) { reported.emplace_back(w, h); };
    label.SetCaption("12345 MB");
    EXPECT_EQ(label.Width(), 2 * 2 + 8 * 11);
    // A size from outside (a view being laid out) does not stick.
    label.SetBounds(300, 40);
    EXPECT_EQ(label.Width(), 2 * 2 + 8 * 11);
    EXPECT_EQ(label.Height(), 17);
    label.SetCaption("12346 MB");  // same length, same size: nothing reported
    EXPECT_EQ(reported, (std::vector<std::pair<int, int>>{{92, 17}, {92, 17}}));

    label.SetAutoSize(false);
    struct Case {
        TMMLEDFontSize size;
        int ledSpace, border, width, cells;
    } cases[] = {
        {TMMLEDFontSize::fs11x13, 1, 2, 235, 21},  // the format banner
        {TMMLEDFontSize::fs11x13, 1, 2, 234, 20},
        {TMMLEDFontSize::fs11x13, 1, 0, 235, 21},
        {TMMLEDFontSize::fs11x13, 1, 2, 3, 0},
        {TMMLEDFontSize::fs11x13, 3, 2, 235, 17},  // (235 + 3 − 4 − 1) div 13
        {TMMLEDFontSize::fs11x13, 0, 2, 235, 23},  // (235 − 5) div 10
        {TMMLEDFontSize::fs16x20, 1, 2, 235, 14},
        {TMMLEDFontSize::fs11x13_bold, 2, 1, 100, 8},  // (100 + 2 − 2 − 1) div 12
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        label.SetFontSize(c.size);
        label.SetLEDSpace(c.ledSpace);
        label.SetBorderWidth(c.border);
        label.SetBounds(c.width, 30);
        EXPECT_EQ(label.NumChars(), c.cells);
    }

    // Whatever the spacing, border and font, the auto size of n cells is a
    // width that holds exactly n cells.
    for (auto size : {TMMLEDFontSize::fs11x13, TMMLEDFontSize::fs16x20})
        for (int space = 0; space <= 4; ++space)
            for (int border = 0; border <= 3; ++border)
                for (int n = 0; n <= 6; ++n) {
                    TMMLEDLABEL fit;
                    fit.SetFontSize(size);
                    fit.SetLEDSpace(space);
                    fit.SetBorderWidth(border);
                    fit.SetCaption(std::string(size_t(n), 'X'));
                    fit.SetAutoSize(false);
                    EXPECT_EQ(fit.NumChars(), n) << space << " " << border;
                }
}

TEST(LEDLabelTest, FixedWidthDrawsOnlyWholeCells) {
    TestLabel label;
    label.SetAutoSize(false);
    label.SetBounds(235, 17);
    label.SetCaption(std::string(30, '8'));
    EXPECT_EQ(ReadText(label), std::string(21, '8'));
    // Past the 21st cell (2 + 21 × 11 = 233) only background.
    const QImage& image = label.Image();
    for (int x = 233; x < 235; ++x)
        for (int y = 0; y < 17; ++y) EXPECT_EQ(image.pixel(x, y), ToQRgb(clBlack)) << x;
}

TEST(LEDLabelTest, AlignmentPicksAndPadsTheCharacters) {
    struct Case {
        const char* caption;
        TAlignment alignment;
        const char* shown;
    } cases[] = {
        {"AB", TAlignment::taLeftJustify, "AB   "},
        {"AB", TAlignment::taRightJustify, "   AB"},
        {"AB", TAlignment::taCenter, " AB  "},
        {"ABCDEFG", TAlignment::taLeftJustify, "ABCDE"},
        {"ABCDEFG", TAlignment::taRightJustify, "CDEFG"},
        {"ABCDEFG", TAlignment::taCenter, "BCDEF"},
        {"ABCDEF", TAlignment::taCenter, "ABCDE"},
        {"", TAlignment::taCenter, "     "},
    };
    for (const Case& c : cases) {
        TestLabel label;
        label.SetAutoSize(false);
        label.SetBounds(2 * 2 + 5 * 11, 17);
        label.SetAlignment(c.alignment);
        label.SetCaption(c.caption);
        EXPECT_EQ(ReadText(label), c.shown) << c.caption << " " << int(c.alignment);
    }
}

// ---- pixels ---------------------------------------------------------------

TEST(LEDLabelTest, TimeReadOutLightsSegmentsInItsColour) {
    TMMLEDLABEL time;
    SetUpMainWindowReadOut(time, "00:00:00", clYellow);
    ASSERT_EQ(time.Width(), 2 * 2 + 8 * 11);
    ASSERT_EQ(time.Height(), 17);
    test::SaveRender(time.Image(), "led_time");

    // On the main window unlit dots are black: the picture is yellow on
    // black, and the yellow pixels are exactly the glyphs' lit ones.
    const TMMLEDFont& font = TMMLEDFont::Get(TMMLEDFontSize::fs11x13);
    int litInFont = 0;
    for (char ch : std::string("00:00:00"))
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 11; ++x) litInFont += font.PixelAt(ch, x, y) == TMMLEDPixel::Lit;
    int yellow = 0;
    const QImage& image = time.Image();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(p == (ToQRgb(clYellow) & 0xFFFFFF) || p == 0) << x << "," << y;
            yellow += p != 0;
        }
    EXPECT_EQ(yellow, litInFont);

    // Where a cell is lit, unlit and dark: the zero's top row lights its
    // middle dots (cell x = 3, 5, 7) and not its corners (x = 1, 9); x = 2
    // lies between dots.
    time.SetInactiveColor(kGray);
    const int x0 = 2, y0 = 2;
    EXPECT_EQ(time.Image().pixel(x0 + 3, y0), ToQRgb(clYellow));
    EXPECT_EQ(time.Image().pixel(x0 + 1, y0), ToQRgb(kGray));
    EXPECT_EQ(time.Image().pixel(x0 + 2, y0), ToQRgb(clBlack));
    EXPECT_EQ(time.Image().pixel(0, 0), ToQRgb(clBlack));  // the border
    time.SetDrawInactive(false);
    EXPECT_EQ(time.Image().pixel(x0 + 1, y0), ToQRgb(clBlack));
    time.SetColor(clNavy);
    EXPECT_EQ(time.Image().pixel(x0 + 1, y0), ToQRgb(clNavy));
    EXPECT_EQ(time.Image().pixel(x0 + 3, y0), ToQRgb(clYellow));
}

// ---- scrolling -------------------------------------------------------------

struct ScrollEvents {
    int begin = 0, step = 0, end = 0;
    std::string last;
    void Attach(TMMLEDLABEL& label) {
        label.OnBegin = [this] { ++begin, last = "begin"; };
        label.OnStep = [this] { ++step, last = "step"; };
        label.OnEnd = [this] { ++end, last = "end"; };
    }
};

class LEDLabelScrollTest : public ::testing::Test {
protected:
    // The format banner as the recorder sets it: twenty blanks, then the
    // format, so that the text comes in from the right.
    const std::string banner = std::string(20, ' ') + "MP3: 64 Kbps, Stereo";
    TestLabel label;
    ScrollEvents events;

    void SetUp() override {
        events.Attach(label);
        label.SetAlignment(TAlignment::taRightJustify);
        label.SetCaption(banner);
        SetUpMainWindowFormatBanner(label);
        label.SetInactiveColor(kGray);  // for ReadText
    }
    // What the banner shows at a step, from the text itself.
    std::string Expected(int step) const {
        std::string s = banner.substr(size_t(step)) + std::string(21, ' ');
        for (char& ch : s) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        return s.substr(0, 21);
    }
};

TEST_F(LEDLabelScrollTest, BannerScrollsOneCharacterPerStepAndStartsOver) {
    EXPECT_EQ(label.NumChars(), 21);
    EXPECT_EQ(label.ScrollSpeed(), 300);
    EXPECT_TRUE(label.Scrolling());
    EXPECT_EQ(label.Alignment(), TAlignment::taLeftJustify);  // forced
    EXPECT_EQ(events.begin, 1);
    EXPECT_EQ(ReadText(label), Expected(0));

    for (int step = 1; step < int(banner.size()); ++step) {
        label.Step();
        ASSERT_EQ(label.CurrentStep(), step);
        ASSERT_EQ(ReadText(label), Expected(step)) << step;
        if (step == 25) test::SaveRender(label.Image(), "led_format_scrolled");
    }
    EXPECT_EQ(events.step, int(banner.size()) - 1);
    EXPECT_EQ(events.end, 0);
    EXPECT_EQ(ReadText(label), "O" + std::string(20, ' '));  // the last character

    label.Step();  // past the last character: from the beginning again
    EXPECT_EQ(label.CurrentStep(), 0);
    EXPECT_EQ(events.end, 1);
    EXPECT_EQ(events.last, "end");
    EXPECT_EQ(ReadText(label), Expected(0));
    label.Step();
    EXPECT_EQ(events.last, "step");
    EXPECT_EQ(ReadText(label), Expected(1));
    EXPECT_EQ(events.begin, 1);
}

TEST_F(LEDLabelScrollTest, NewRoundStartsAtStartStepAndShortCaptionsWrapAtOnce) {
    label.SetStartStep(20);
    label.SetCurrentStep(int(banner.size()) - 1);
    label.Step();
    EXPECT_EQ(label.CurrentStep(), 20);
    EXPECT_EQ(ReadText(label), Expected(20));
    EXPECT_EQ(events.end, 1);

    // A caption shorter than the step reached: the next step starts over.
    label.SetCaption("MP3");
    EXPECT_EQ(ReadText(label), std::string(21, ' '));
    label.Step();
    EXPECT_EQ(label.CurrentStep(), 20);
    EXPECT_EQ(events.end, 2);
}

TEST_F(LEDLabelScrollTest, TimerStepsUntilScrollingIsTurnedOff) {
    label.SetScrollSpeed(5);
    QElapsedTimer waited;
    waited.start();
    while (events.step < 3 && waited.elapsed() < 5000) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(events.step, 3);
    EXPECT_EQ(ReadText(label), Expected(label.CurrentStep()));

    label.SetAutoScroll(false);
    EXPECT_FALSE(label.Scrolling());
    const int steps = events.step;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QCoreApplication::processEvents();
    EXPECT_EQ(events.step, steps);
    label.SetAutoScroll(true);
    EXPECT_TRUE(label.Scrolling());
    EXPECT_EQ(events.begin, 2);
}

}  // namespace
}  // namespace zt
