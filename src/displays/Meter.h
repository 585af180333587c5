#pragma once
// The needle VU meter: a needle swinging over an arc from the empty end
// (Sensitivy dB, left) to full scale (right), with a peak needle that
// holds and then falls back onto it.
//
// The pivot lies NeedleOffset pixels below the face, so only the upper
// part of the needles shows. The face (background, ticks, labels,
// caption) is cached as the scale image and rebuilt only when a property
// or the size changes; a new value copies it and draws the two needles.
//
// Threads: as TMMLevelMeterBase (LevelMeterBase.h): main thread, except
// the peak tick on the display timer service's thread.

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <functional>

#include "displays/LevelMeterBase.h"

namespace zt {

class TMMMeter final : public TMMLevelMeterBase {
public:
    TMMMeter(int width, int height, DisplayTimerService& timers = DisplayTimerService::Shared());

    // Tick colours of zones 1-3.
    TColor ScaleColor(int zone) const { return scaleColor_[Zone(zone)]; }
    void SetScaleColor(int zone, TColor value);
    TColor NeedleColor() const { return needleColor_; }
    void SetNeedleColor(TColor value);
    TColor PeakColor() const { return peakColor_; }
    void SetPeakColor(TColor value);
    // Pixels from the bottom of the face down to the pivot, >= 0.
    int NeedleOffset() const { return needleOffset_; }
    void SetNeedleOffset(int value);
    // Pen width of both needles, >= 0.
    int NeedleWidth() const { return needleWidth_; }
    void SetNeedleWidth(int value);
    TMMScaleOrigin ScaleOrigin() const { return scaleOrigin_; }
    void SetScaleOrigin(TMMScaleOrigin value);
    // Minor and major tick lengths, >= 0.
    int ScaleHeight1() const { return scaleHeight1_; }
    void SetScaleHeight1(int value);
    int ScaleHeight2() const { return scaleHeight2_; }
    void SetScaleHeight2(int value);
    // Degrees swept by the needle, 45 .. 180.
    int ScaleAngle() const { return scaleAngle_; }
    void SetScaleAngle(int value);
    int ScaleTicks() const { return scaleTicks_; }
    void SetScaleTicks(int value);
    int ScaleTicksEnlargeEvery() const { return enlargeEvery_; }
    void SetScaleTicksEnlargeEvery(int value);
    int ScaleTicksTextEvery() const { return textEvery_; }
    void SetScaleTicksTextEvery(int value);
    bool DrawScale() const { return drawScale_; }
    void SetDrawScale(bool value);
    // Pixels from the top of the face to the scale radius.
    int TopSpace() const { return topSpace_; }
    void SetTopSpace(int value);
    // Zone limits in percent of full scale, 1 .. 100.
    int Point1() const { return point1_; }
    void SetPoint1(int value);
    int Point2() const { return point2_; }
    void SetPoint2(int value);
    // False pauses the peak timer and hides the peak needle.
    bool ShowPeak() const { return showPeak_; }
    void SetShowPeak(bool value);
    // Stretched behind the scale when not null.
    const QImage& BackGroundDIB() const { return background_; }
    void SetBackGroundDIB(const QImage& value);
    // The caption in Font and FontColor, over the face's Color.
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& value);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& value);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    // Border around the face (the bevel's width; drawn in Color).
    int BevelBorderWidth() const { return bevelWidth_; }
    void SetBevelBorderWidth(int value);

    // The face inside the bevel, and the geometry of the needle on it
    // (face coordinates: the pivot is at (w/2, h + NeedleOffset)).
    int FaceWidth() const;
    int FaceHeight() const;
    int ScaleRadius() const;
    // The point of value v (0 .. 32767) at radius r, in face coordinates.
    QPoint PointAt(int v, int r) const;
    QPoint Pivot() const;

    // After the needles are drawn, with the finished image.
    std::function<void(QImage& image)> OnPostPaint;

protected:
    void Render(QImage& image) override;
    void Resized() override { scaleImage_ = QImage(); }
    int ScaleSteps() const override { return kLevelFullScale; }
    float DbFloor() const override { return 1e-5f; }
    int LimitValue(int value) override;
    bool TakesPeak(int value, int peak) const override;
    [[noreturn]] void RaiseInvalidFormat() const override;
    bool PeakTimerWanted() const override { return showPeak_; }
    void ScaleChanged() override { FaceChanged(); }

private:
    static int Zone(int zone) { return zone < 1 ? 0 : zone > 3 ? 2 : zone - 1; }
    void FaceChanged();
    void RebuildScale();
    TColor TickColor(int v) const;
    QString TickLabel(int i) const;

    TColor scaleColor_[3] = {clGreen, clYellow, clRed};
    TColor needleColor_ = clWhite;
    TColor peakColor_ = clRed;
    int needleOffset_ = 30;
    int needleWidth_ = 1;
    TMMScaleOrigin scaleOrigin_ = TMMScaleOrigin::soInner;
    int scaleHeight1_ = 4;
    int scaleHeight2_ = 8;
    int scaleAngle_ = 90;
    int scaleTicks_ = 41;
    int enlargeEvery_ = 4;
    int textEvery_ = 8;
    bool drawScale_ = true;
    int topSpace_ = 14;
    int point1_ = 60;
    int point2_ = 80;
    bool showPeak_ = true;
    QImage background_;
    QString caption_ = QStringLiteral("dB");
    QFont font_;
    TColor fontColor_ = clSilver;
    TColor color_ = clBlack;
    int bevelWidth_ = 0;

    QImage scaleImage_;  // the face without needles; null when stale
};

}  // namespace zt
