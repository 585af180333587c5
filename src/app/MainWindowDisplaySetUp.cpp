#include "app/MainWindowDisplaySetUp.h"

#include <QFont>

#include "displays/DisplayFonts.h"
#include "displays/LEDFont.h"

namespace zt {

void SetUpMainWindowOscope(TMMOscope& oscope) {
    oscope.SetBounds(273, 86);
    oscope.SetKind(TMMOscopeKind::okConLines);
    oscope.SetForegroundColor(clLime);
    oscope.SetColor(clBlack);
    oscope.SetBitLength(TMMBits::b16Bit);
    oscope.SetMode(TMMMode::mStereo);
    oscope.SetSampleRate(44100);
    oscope.SetChannel(TMMChannel::chBoth);
    oscope.SetZoom(1);
    oscope.SetSteps(1);
    oscope.SetGain(0);
    oscope.SetLowPass(false);
    oscope.SetShowInfo(true);
    oscope.SetEnabled(true);
}

void SetUpMainWindowLevelScale(TMMLevelScale& scale) {
    scale.SetPoint2(80);
    scale.SetFont(DisplaySmallFont(kDisplaySmallFontPixels));
}

void SetUpMainWindowReadOut(TMMLEDLABEL& label, const std::string& caption, TColor color) {
    label.SetFontSize(TMMLEDFontSize::fs11x13);
    label.SetAutoSize(true);
    label.SetLEDColor(color);
    label.SetInactiveColor(clBlack);
    label.SetCaption(caption);
}

void SetUpMainWindowFormatBanner(TMMLEDLABEL& label) {
    label.SetFontSize(TMMLEDFontSize::fs11x13);
    label.SetAutoSize(false);
    label.SetBounds(
        235, 2 * label.BorderWidth() + TMMLEDFont::Get(TMMLEDFontSize::fs11x13).GlyphHeight());
    label.SetLEDColor(clAqua);
    label.SetInactiveColor(clBlack);
    label.SetScrollSpeed(300);
    label.SetAutoScroll(true);
}

void SetUpMainWindowLevel(TMMLevel& level, TMMChannel channel) {
    level.SetChannel(channel);
    level.SetBitLength(TMMBits::b16Bit);
    level.SetMode(TMMMode::mStereo);
    level.SetSamples(99);
    level.SetNumPeaks(2);
    level.SetDecayMode(TMMDecayMode::dmStepUp);
    level.SetDecay(8);
    level.SetPoint2(80);
    level.SetBarColor(1, clLime);
    level.SetBarColor(2, clYellow);
    level.SetInactiveColor(1, clGray);
    level.SetInactiveColor(2, clGray);
    level.SetInactiveDoted(true);
    level.SetActiveDoted(true);
}

void SetUpMainWindowSpectrum(TMMSpectrum& spectrum) {
    spectrum.SetBounds(273, 86);
    spectrum.SetKind(TMMSpectrumKind::skBars);
    spectrum.SetFFTLength(64);
    spectrum.SetWindow(TMMFFTWindow::fwHamming);
    spectrum.SetGain(TMMSpectrumGain::sg6db);
    spectrum.SetRefFreq(1000);
    spectrum.SetVerticalScale(20);
    spectrum.SetFrequencyScale(1);
    spectrum.SetDecayMode(TMMDecayMode::dmStepUp);
    spectrum.SetDecay(8);
    spectrum.SetNumPeaks(1);
    spectrum.SetPeakDelay(20);
    spectrum.SetPeakSpeed(0);
    spectrum.SetPoint1(50);
    spectrum.SetPoint2(75);
    spectrum.SetBarColor(1, clLime);
    spectrum.SetBarColor(2, clYellow);
    spectrum.SetBarColor(3, clRed);
    for (int zone = 1; zone <= 3; ++zone) spectrum.SetInactiveColor(zone, clBlack);
    spectrum.SetColor(clBlack);
    spectrum.SetDrawInactive(true);
    spectrum.SetInactiveDoted(true);
    spectrum.SetActiveDoted(false);
    spectrum.SetSpotHeight(1);
    spectrum.SetSpotSpace(1);
    spectrum.SetSpace(1);
    spectrum.SetChannel(TMMChannel::chBoth);
    spectrum.SetBitLength(TMMBits::b16Bit);
    spectrum.SetMode(TMMMode::mStereo);
    spectrum.SetSampleRate(44100);
    spectrum.SetEnabled(true);
}

void SetUpMainWindowGauge(TMMGauge& gauge) {
    gauge.SetKind(TMMGaugeKind::gkHorizontalBar);
    gauge.SetForeColor(clRed);
    gauge.SetBackColor(clBlack);
    gauge.SetCaption("ESPAÇO OCUPADO");
    gauge.SetFont(MainWindowGaugeFont());
    gauge.SetShowText(true);
}

void SetUpMainWindowMeter(TMMMeter& meter, TMMChannel channel) {
    meter.SetChannel(channel);
    meter.SetBitLength(TMMBits::b16Bit);
    meter.SetMode(TMMMode::mStereo);
    meter.SetSamples(20);
    meter.SetDecayMode(TMMDecayMode::dmStepUp);
    meter.SetDecay(8);
    meter.SetPeakSpeed(2);
    meter.SetScaleColor(1, clLime);
    meter.SetNeedleOffset(50);
    meter.SetScaleAngle(80);
    meter.SetTopSpace(12);
    meter.SetCaption(QStringLiteral("dB"));
    QFont font = meter.Font();
    font.setBold(true);
    meter.SetFont(font);
    meter.SetFontColor(clSilver);
    meter.SetBevelBorderWidth(2);
}

}  // namespace zt
