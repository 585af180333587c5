#pragma once
// TMMGauge: a bar that shows how far a value lies between two limits, with
// its percentage as text (the main window's used-disk-space bar).
//
// Percent = trunc((Progress − MinValue) × 100 / (MaxValue − MinValue)),
// 0 when the limits are equal; Progress is kept within the limits. The
// picture goes stale only when the percent (or a drawing property)
// changes, so feeding the same figure on every captured buffer costs
// nothing.
//
// The text ("<Caption> <percent>%", or "<percent>%" without a caption) is
// drawn white on black into an image of its own and laid over the bar by
// exclusive-or, so every text pixel shows the inverse colour of what lies
// under it: readable over the filled part and over the empty part alike.
// The font is drawn without antialiasing, so text pixels are pure white
// and the inversion is exact.
//
// Threads: main thread only.

#include <QFont>
#include <cstdint>
#include <string>

#include "displays/GraphicControl.h"

namespace zt {

// gkHorizontalBar fills from the left, gkVerticalBar from the bottom,
// gkText shows the text over the background alone.
enum class TMMGaugeKind { gkText, gkHorizontalBar, gkVerticalBar };

class TMMGauge : public TMMGraphicControl {
public:
    TMMGauge(int width = 100, int height = 16);

    int64_t MinValue() const { return minValue_; }  // default 0
    // Raising MinValue above MaxValue raises MaxValue with it (and the
    // other way round), so the limits never cross.
    void SetMinValue(int64_t value);
    int64_t MaxValue() const { return maxValue_; }  // default 100
    void SetMaxValue(int64_t value);
    int64_t Progress() const { return progress_; }
    void SetProgress(int64_t value);  // clamped to [MinValue, MaxValue]
    int PercentDone() const { return percent_; }

    TMMGaugeKind Kind() const { return kind_; }  // default gkHorizontalBar
    void SetKind(TMMGaugeKind value);
    TColor ForeColor() const { return foreColor_; }  // filled part, default clBlack
    void SetForeColor(TColor value);
    TColor BackColor() const { return backColor_; }  // empty part, default clWhite
    void SetBackColor(TColor value);
    bool ShowText() const { return showText_; }  // default true
    void SetShowText(bool value);
    const std::string& Caption() const { return caption_; }  // UTF-8
    void SetCaption(const std::string& utf8);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);  // drawn without antialiasing whatever it asks

    // The text as drawn: "<Caption> <percent>%" or "<percent>%".
    std::string Text() const;

protected:
    void Render(QImage& image) override;

private:
    void Recompute();

    int64_t minValue_ = 0;
    int64_t maxValue_ = 100;
    int64_t progress_ = 0;
    int percent_ = 0;
    TMMGaugeKind kind_ = TMMGaugeKind::gkHorizontalBar;
    TColor foreColor_ = clBlack;
    TColor backColor_ = clWhite;
    bool showText_ = true;
    std::string caption_;
    QFont font_;
};

// The bold monospaced pixel font of the gauge's text.
QFont MainWindowGaugeFont();

}  // namespace zt
