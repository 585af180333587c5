#include "displays/LEDLabel.h"

#include <QString>
#include <algorithm>

#include "platform/ErrorDisplay.h"

namespace zt {

TMMLEDLABEL::TMMLEDLABEL() : TMMGraphicControl(1, 1) {
    ApplyAutoSize();
}

TMMLEDLABEL::~TMMLEDLABEL() = default;

void TMMLEDLABEL::SetCaption(const std::string& utf8) {
    if (utf8 == caption_) return;
    caption_ = utf8;
    // Invalid UTF-8 decodes to U+FFFD, which shows as a blank cell.
    const QList<uint> chars =
        QString::fromUtf8(caption_.data(), qsizetype(caption_.size())).toUcs4();
    cells_.clear();
    cells_.reserve(size_t(chars.size()));
    for (uint ch : chars) cells_.push_back(TMMLEDFont::CellCodeOf(ch));
    ApplyAutoSize();
    Invalidate();
}

void TMMLEDLABEL::SetFontSize(TMMLEDFontSize value) {
    if (value == fontSize_) return;
    fontSize_ = value;
    ApplyAutoSize();
    Invalidate();
}

void TMMLEDLABEL::SetColor(TColor value) {
    if (value == color_) return;
    color_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetLEDColor(TColor value) {
    if (value == ledColor_) return;
    ledColor_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetInactiveColor(TColor value) {
    if (value == inactiveColor_) return;
    inactiveColor_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetDrawInactive(bool value) {
    if (value == drawInactive_) return;
    drawInactive_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetLEDSpace(int value) {
    value = std::max(value, 0);
    if (value == ledSpace_) return;
    ledSpace_ = value;
    ApplyAutoSize();
    Invalidate();
}

void TMMLEDLABEL::SetBorderWidth(int value) {
    value = std::max(value, 0);
    if (value == borderWidth_) return;
    borderWidth_ = value;
    ApplyAutoSize();
    Invalidate();
}

void TMMLEDLABEL::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    ApplyAutoSize();
    Invalidate();
}

int TMMLEDLABEL::CellPitch() const {
    // At least one pixel, so a very narrow font never stacks its cells.
    return std::max(Font().GlyphWidth() + ledSpace_ - 1, 1);
}

int TMMLEDLABEL::NumChars() const {
    if (autoSize_) return int(cells_.size());
    const int n = (Width() + ledSpace_ - 2 * borderWidth_ - 1) / CellPitch();
    return std::max(n, 0);
}

void TMMLEDLABEL::ApplyAutoSize() {
    if (!autoSize_ || sizing_) return;
    // The inverse of NumChars' formula: n cells need exactly this width.
    const int n = int(cells_.size());
    const int width = std::max(2 * borderWidth_ + n * CellPitch() - (ledSpace_ - 1), 1);
    const int height = std::max(2 * borderWidth_ + Font().GlyphHeight(), 1);
    if (width == Width() && height == Height()) return;
    sizing_ = true;
    SetBounds(width, height);
    sizing_ = false;
    if (OnAutoSize) OnAutoSize(width, height);
}

void TMMLEDLABEL::Resized() {
    // A size given from outside while AutoSize is on: take ours back.
    ApplyAutoSize();
}

void TMMLEDLABEL::SetAlignment(TAlignment value) {
    if (value == alignment_) return;
    alignment_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetAutoScroll(bool value) {
    if (value == autoScroll_) return;
    autoScroll_ = value;
    if (!value) {
        if (timer_) timer_->stop();
        return;
    }
    alignment_ = TAlignment::taLeftJustify;
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        QObject::connect(timer_.get(), &QTimer::timeout, Guard([this] { Step(); }));
    }
    timer_->start(scrollSpeed_);
    Invalidate();
    if (OnBegin) OnBegin();
}

void TMMLEDLABEL::SetScrollSpeed(int ms) {
    ms = std::max(ms, 1);
    if (ms == scrollSpeed_) return;
    scrollSpeed_ = ms;
    if (timer_) timer_->setInterval(ms);
}

bool TMMLEDLABEL::Scrolling() const {
    return timer_ && timer_->isActive();
}

void TMMLEDLABEL::SetCurrentStep(int value) {
    value = std::max(value, 0);
    if (value == currentStep_) return;
    currentStep_ = value;
    Invalidate();
}

void TMMLEDLABEL::SetStartStep(int value) {
    startStep_ = std::max(value, 0);
}

void TMMLEDLABEL::Step() {
    ++currentStep_;
    // ">=" and not "==": a caption shortened while scrolling may leave the
    // step past its end; the next step starts over instead of running on.
    const bool end = currentStep_ >= int(cells_.size());
    if (end) currentStep_ = startStep_;
    Invalidate();
    if (end) {
        if (OnEnd) OnEnd();
    } else if (OnStep) {
        OnStep();
    }
}

std::vector<int> TMMLEDLABEL::VisibleCells() const {
    const int n = NumChars();
    const int len = int(cells_.size());
    std::vector<int> out(size_t(n), TMMLEDFont::kBlankCode);
    // Index into the caption of the first cell; cells outside it stay blank.
    int first = 0;
    switch (alignment_) {
        case TAlignment::taLeftJustify:
            first = currentStep_;
            break;
        case TAlignment::taRightJustify:
            first = len - n;
            break;
        case TAlignment::taCenter:
            first = (len - n) / 2;
            break;
    }
    for (int i = 0; i < n; ++i) {
        const int k = first + i;
        if (k >= 0 && k < len) out[size_t(i)] = cells_[size_t(k)];
    }
    return out;
}

void TMMLEDLABEL::Render(QImage& image) {
    const QRgb background = ToQRgb(color_);
    const QRgb lit = ToQRgb(ledColor_);
    const QRgb unlit = drawInactive_ ? ToQRgb(inactiveColor_) : background;
    image.fill(background);

    const TMMLEDFont& font = Font();
    const int gw = font.GlyphWidth(), gh = font.GlyphHeight();
    const int pitch = CellPitch();
    const std::vector<int> cells = VisibleCells();
    const int y0 = borderWidth_;
    for (size_t i = 0; i < cells.size(); ++i) {
        const int x0 = borderWidth_ + int(i) * pitch;
        if (x0 >= image.width()) break;
        for (int y = 0; y < gh && y0 + y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y0 + y));
            for (int x = 0; x < gw && x0 + x < image.width(); ++x) {
                switch (font.PixelAt(cells[i], x, y)) {
                    case TMMLEDPixel::Lit:
                        line[x0 + x] = lit;
                        break;
                    case TMMLEDPixel::Unlit:
                        line[x0 + x] = unlit;
                        break;
                    case TMMLEDPixel::Background:
                        line[x0 + x] = background;
                        break;
                }
            }
        }
    }
}

}  // namespace zt
