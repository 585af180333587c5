#pragma once
// TMMLEDLABEL: a line of text on an LED dot display (the main window's
// elapsed time, day counter, disk figures and the scrolling format banner).
//
// The text is drawn cell by cell from one of three glyph bitmaps
// (displays/LEDFont.h): lit dots in `LEDColor`, unlit dots in
// `InactiveColor` (or the background when `DrawInactive` is false), the
// rest in `Color`. Cell i starts at x = border + i × (glyph width +
// `LEDSpace` − 1), at y = border.
//
// `Caption` is UTF-8. Each Unicode character is one cell; the Latin-1
// accented letters the font knows borrow their cells, any other character
// outside the font shows as a blank cell (TMMLEDFont::CellCodeOf).
//
// With `AutoSize` the control is as wide (and high) as its caption needs;
// without it the width decides how many cells are drawn. `AutoScroll` runs
// a timer that moves the text one character to the left every
// `ScrollSpeed` ms and starts over at `StartStep` after the last one.
//
// Threads: main thread only (the scroll timer is a QTimer of the main
// thread; OnBegin, OnStep and OnEnd run on it, inside a guard).

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "displays/GraphicControl.h"
#include "displays/LEDFont.h"

namespace zt {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TMMLEDLABEL : public TMMGraphicControl {
public:
    TMMLEDLABEL();
    ~TMMLEDLABEL() override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& utf8);

    TMMLEDFontSize FontSize() const { return fontSize_; }
    void SetFontSize(TMMLEDFontSize value);

    TColor Color() const { return color_; }  // background, default clBlack
    void SetColor(TColor value);
    TColor LEDColor() const { return ledColor_; }  // lit dots, default clLime
    void SetLEDColor(TColor value);
    // Unlit dots, default dark grey.
    TColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(TColor value);
    bool DrawInactive() const { return drawInactive_; }  // default true
    void SetDrawInactive(bool value);

    // Spacing of the cells: 1 (the default) puts them side by side, each
    // step adds a pixel; at least 0.
    int LEDSpace() const { return ledSpace_; }
    void SetLEDSpace(int value);
    // Frame of background around the cells, default 2 pixels, at least 0.
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int value);

    // Default true: NumChars follows the caption's length and the control's
    // size follows NumChars. While it is on, the label keeps its own size:
    // a SetBounds from outside (a view being laid out) is undone.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    // Called after AutoSize changed the size, so that the view showing the
    // label can take the new size (e.g. QWidget::resize).
    std::function<void(int width, int height)> OnAutoSize;

    // Number of cells drawn: the caption's length with AutoSize, else
    // (width + LEDSpace − 2 × border − 1) div (LEDSpace + glyph width − 1).
    int NumChars() const;

    // Which characters fill the cells: from CurrentStep on, padded with
    // blanks (left, the default), the last NumChars ones (right), or the
    // middle ones (centre); a short text is padded on the other side(s).
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment value);

    // Scrolling. Turning AutoScroll on forces taLeftJustify, starts the
    // timer and fires OnBegin; off stops the timer (CurrentStep stays).
    bool AutoScroll() const { return autoScroll_; }
    void SetAutoScroll(bool value);
    int ScrollSpeed() const { return scrollSpeed_; }  // ms, default 100, at least 1
    void SetScrollSpeed(int ms);
    int CurrentStep() const { return currentStep_; }
    void SetCurrentStep(int value);
    int StartStep() const { return startStep_; }  // where a new round starts
    void SetStartStep(int value);
    // True while the scroll timer runs.
    bool Scrolling() const;

    // One scroll step, as the timer makes it: CurrentStep + 1; when that
    // reaches the caption's length it starts over at StartStep and fires
    // OnEnd, otherwise fires OnStep; then the text is redrawn.
    void Step();

    std::function<void()> OnBegin;
    std::function<void()> OnStep;
    std::function<void()> OnEnd;

    // The caption as font cell codes, one per character.
    const std::vector<int>& CaptionCells() const { return cells_; }
    // The cell codes drawn, NumChars of them, after alignment and scrolling.
    std::vector<int> VisibleCells() const;

protected:
    void Render(QImage& image) override;
    void Resized() override;

private:
    const TMMLEDFont& Font() const { return TMMLEDFont::Get(fontSize_); }
    int CellPitch() const;
    void ApplyAutoSize();

    std::string caption_;
    std::vector<int> cells_;
    TMMLEDFontSize fontSize_ = TMMLEDFontSize::fs11x13;
    TColor color_ = clBlack;
    TColor ledColor_ = clLime;
    TColor inactiveColor_ = 0x404040;
    bool drawInactive_ = true;
    int ledSpace_ = 1;
    int borderWidth_ = 2;
    bool autoSize_ = true;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool autoScroll_ = false;
    int scrollSpeed_ = 100;
    int currentStep_ = 0;
    int startStep_ = 0;
    std::unique_ptr<QTimer> timer_;  // created when scrolling first starts
    bool sizing_ = false;            // ApplyAutoSize is setting the size
};

}  // namespace zt
