#pragma once
// The LED bar level meter: a row of spots lit up to the measured level,
// in three colour zones, with a peak mark that holds and then drops.
//
// The bar is spots of SpotWidth pixels, SpotSpace apart, across the full
// thickness; how many fit decides the resolution (Spots()). Zone 1 runs
// up to Point1 percent of the spots, zone 2 to Point2, zone 3 above. The
// image with every spot unlit is cached and rebuilt only when the
// geometry or a colour changes, so a redraw is one copy plus the lit
// spots.
//
// Threads: as TMMLevelMeterBase (LevelMeterBase.h): main thread, except
// the peak tick on the display timer service's thread.

#include <QImage>
#include <QRect>
#include <functional>

#include "displays/LevelMeterBase.h"

namespace zt {

class TMMLevel final : public TMMLevelMeterBase {
public:
    TMMLevel(int width, int height, DisplayTimerService& timers = DisplayTimerService::Shared());

    // Changing it swaps width and height when the bar would lie across.
    TMMLevelKind Kind() const { return kind_; }
    void SetKind(TMMLevelKind value);
    TMMLevelDirection Direction() const { return direction_; }
    void SetDirection(TMMLevelDirection value);
    // 0 .. 10 pixels between spots.
    int SpotSpace() const { return spotSpace_; }
    void SetSpotSpace(int value);
    // 1 .. a third of the bar's length.
    int SpotWidth() const { return spotWidth_; }
    void SetSpotWidth(int value);
    // Zone limits in percent of the bar, 1 .. 100.
    int Point1() const { return point1_; }
    void SetPoint1(int value);
    int Point2() const { return point2_; }
    void SetPoint2(int value);

    // Lit spots of zones 1-3 and unlit ones.
    TColor BarColor(int zone) const { return barColor_[Zone(zone)]; }
    void SetBarColor(int zone, TColor value);
    TColor InactiveColor(int zone) const { return inactiveColor_[Zone(zone)]; }
    void SetInactiveColor(int zone, TColor value);
    // A dotted spot sets every second pixel of every second row.
    bool InactiveDoted() const { return inactiveDoted_; }
    void SetInactiveDoted(bool value);
    bool ActiveDoted() const { return activeDoted_; }
    void SetActiveDoted(bool value);
    // Background between and around the spots.
    TColor Color() const { return color_; }
    void SetColor(TColor value);

    // 0 .. 5 spots drawn as the peak mark; 0 pauses the peak timer.
    int NumPeaks() const { return numPeaks_; }
    void SetNumPeaks(int value);

    // Geometry: spot count, offset of the first spot, last spot of zone 1
    // and of zone 2.
    int Spots() const { return spots_; }
    int Margin() const { return margin_; }
    int P1() const { return p1_; }
    int P2() const { return p2_; }
    // Spot i (1 .. Spots()) in control coordinates.
    QRect SpotRect(int i) const;
    // 1, 2 or 3.
    int ZoneOf(int spot) const { return spot <= p1_ ? 1 : spot <= p2_ ? 2 : 3; }

    // At the start of every redraw.
    std::function<void()> OnPaint;
    // Draws instead of the built-in spots: the work image (already holding
    // the unlit bar), the client rectangle, the lit spot count, the peak.
    std::function<void(TMMLevel& sender, QImage& image, const QRect& rect, int spots, int peak)>
        OnDrawBar;

protected:
    void Render(QImage& image) override;
    void Resized() override;
    int ScaleSteps() const override { return spots_; }
    float DbFloor() const override { return 1e-6f; }
    int LimitValue(int value) override;
    bool TakesPeak(int value, int peak) const override;
    [[noreturn]] void RaiseInvalidFormat() const override;
    bool PeakTimerWanted() const override { return numPeaks_ > 0; }
    void EnabledAgain() override { Recalculate(); }

private:
    static int Zone(int zone) { return zone < 1 ? 0 : zone > 3 ? 2 : zone - 1; }
    int Length() const;
    void Recalculate();
    void RebuildBackground();
    void DrawSpot(QImage& image, int spot, TColor color, bool dotted) const;

    TMMLevelKind kind_ = TMMLevelKind::lkHorizontal;
    TMMLevelDirection direction_ = TMMLevelDirection::dirNormal;
    int spotSpace_ = 1;
    int spotWidth_ = 1;
    int point1_ = 50;
    int point2_ = 85;
    TColor barColor_[3] = {clAqua, clAqua, clRed};
    TColor inactiveColor_[3] = {clTeal, clTeal, clMaroon};
    bool inactiveDoted_ = false;
    bool activeDoted_ = false;
    TColor color_ = clBlack;
    int numPeaks_ = 1;

    int spots_ = 1;
    int margin_ = 0;
    int p1_ = 0;
    int p2_ = 0;
    QImage background_;  // every spot unlit; null when it must be rebuilt
};

}  // namespace zt
