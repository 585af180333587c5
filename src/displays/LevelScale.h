#pragma once
// The dB scale under the bar meters: numbers from the empty end
// (Sensitivy) to 0 dB at the full end, coloured by the same zones as the
// bars. Only as many labels as fit are drawn (every k-th), each with its
// right end at its tick.
//
// Threads: main thread only.

#include <QFont>
#include <QString>
#include <vector>

#include "displays/DisplayTypes.h"
#include "displays/GraphicControl.h"

namespace zt {

class TMMLevelScale final : public TMMGraphicControl {
public:
    TMMLevelScale(int width, int height);

    // Number of ticks from end to end, at least 2.
    int ScaleTicks() const { return scaleTicks_; }
    void SetScaleTicks(int value);
    // Zone limits in percent of full scale, 1 .. 100.
    int Point1() const { return point1_; }
    void SetPoint1(int value);
    int Point2() const { return point2_; }
    void SetPoint2(int value);
    // Label colours of zones 1-3.
    TColor ScaleColor(int zone) const { return scaleColor_[Zone(zone)]; }
    void SetScaleColor(int zone, TColor value);
    // Clamped to -90 .. -9.
    int Sensitivy() const { return sensitivity_; }
    void SetSensitivy(int value);
    bool LogAmp() const { return logAmp_; }
    void SetLogAmp(bool value);
    TMMLevelKind Kind() const { return kind_; }
    void SetKind(TMMLevelKind value);
    TMMLevelDirection Direction() const { return direction_; }
    void SetDirection(TMMLevelDirection value);
    // Tick marks (hidden by default; the window leaves them hidden).
    bool ScaleVisible() const { return scaleVisible_; }
    void SetScaleVisible(bool value);
    TMMScalePos ScalePos() const { return scalePos_; }
    void SetScalePos(TMMScalePos value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& value);

    struct Label {
        QString text;
        int tick;  // j: 0 at the empty end
        int x;     // left edge (horizontal) or top (vertical)
        TColor color;
    };
    // The label step: every k-th tick gets a label; 0 when not even one
    // label fits (then none is drawn).
    int LabelStep() const;
    // The labels that are drawn, from the full end to the empty end.
    std::vector<Label> Labels() const;

protected:
    void Render(QImage& image) override;

private:
    static int Zone(int zone) { return zone < 1 ? 0 : zone > 3 ? 2 : zone - 1; }
    int Length() const;
    int TextExtent(const QString& text) const;
    int TickPosition(int j) const;
    QString LabelText(int j) const;
    TColor LabelColor(int j) const;

    int scaleTicks_ = 8;
    int point1_ = 50;
    int point2_ = 85;
    TColor scaleColor_[3] = {clWhite, clWhite, clRed};
    int sensitivity_ = -35;
    bool logAmp_ = true;
    TMMLevelKind kind_ = TMMLevelKind::lkHorizontal;
    TMMLevelDirection direction_ = TMMLevelDirection::dirNormal;
    bool scaleVisible_ = false;
    TMMScalePos scalePos_ = TMMScalePos::spBoth;
    TColor color_ = clBlack;
    QFont font_;
};

}  // namespace zt
