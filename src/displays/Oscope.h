#pragma once
// The oscilloscope: draws one update window of PCM as a trace across the
// control, one sample per column.
//
// ProcessData takes one sample per column (every Zoom-th frame, or each
// frame repeated |Zoom| + 1 times for a negative Zoom) into the trace and
// marks the picture stale; Render draws the trace in the chosen style.
//
// Measurement overlay (ShowInfo): while the left button is held on the
// control, updates stop and a small box at the pointer shows the time into
// the update window and the amplitude at the pointer's row. Keeping the
// pointer inside the control while the button is held is the view's
// business; the control only clamps the position it is given.
//
// Threads: main thread only (the connector's delivery, the view's events).
// No timer.

#include <string>
#include <vector>

#include "displays/DisplayTarget.h"
#include "displays/DisplayTypes.h"
#include "displays/GraphicControl.h"

namespace zt {

enum class TMMOscopeKind { okDots, okConLines, okVertLines, okMirLines, okSpikes };

class TMMOscope : public TMMGraphicControl, public TMMDisplayTarget {
public:
    TMMOscope(int width = 273, int height = 86);

    // TMMDisplayTarget. SetPCMFormat raises EMMOscopeError "Invalid
    // WaveFormat" for a format that is not valid PCM; the rate is limited
    // to 8000..88200.
    void SetPCMFormat(const WAVEFORMATEX* format) override;
    int BytesPerUpdate() const override;
    void ProcessData(const void* data) override;
    void ResetData() override;

    TMMOscopeKind Kind() const { return kind_; }
    void SetKind(TMMOscopeKind value);
    TColor ForegroundColor() const { return foreground_; }
    void SetForegroundColor(TColor value);
    TColor Color() const { return background_; }
    void SetColor(TColor value);
    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits value);
    TMMMode Mode() const { return mode_; }
    void SetMode(TMMMode value);  // mMultiChannel is taken as stereo
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);  // limited to 8000..88200
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel value);
    // -9..9; 0 is refused (the value stays).
    int Zoom() const { return zoom_; }
    void SetZoom(int value);
    int Steps() const { return steps_; }
    void SetSteps(int value);  // limited to 1..9
    int Gain() const { return gain_; }
    void SetGain(int value);  // limited to -8..32
    bool LowPass() const { return lowPass_; }
    void SetLowPass(bool value);
    bool ShowInfo() const { return showInfo_; }
    void SetShowInfo(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    // Trace values (one per column, 16-bit scale), and the row each is
    // drawn at in the current style.
    const std::vector<int>& Trace() const { return trace_; }
    int RowOf(int sample) const;

    // The measurement overlay: active while the left button is held; its
    // text ("%4.1f ms" and " %4.2f V"), empty while inactive.
    bool InfoActive() const { return infoActive_; }
    std::string InfoText() const;

    void MouseDown(TMMMouseButton button, int x, int y) override;
    void MouseMove(int x, int y) override;
    void MouseUp(TMMMouseButton button, int x, int y) override;

protected:
    void Render(QImage& image) override;
    void Resized() override;

private:
    int BytesPerFrame() const;
    int Channels() const { return mode_ == TMMMode::mMono ? 1 : 2; }
    int FramesPerUpdate() const;
    void DrawInfo(QImage& image) const;

    TMMOscopeKind kind_ = TMMOscopeKind::okConLines;
    TColor foreground_ = clLime;
    TColor background_ = clBlack;
    TMMBits bits_ = TMMBits::b16Bit;
    TMMMode mode_ = TMMMode::mStereo;
    int sampleRate_ = 44100;
    TMMChannel channel_ = TMMChannel::chBoth;
    int zoom_ = 1;
    int steps_ = 1;
    int gain_ = 0;
    bool lowPass_ = false;
    bool showInfo_ = true;
    bool enabled_ = true;

    std::vector<int> trace_;  // Width() values
    bool infoActive_ = false;
    int infoX_ = 0;
    int infoY_ = 0;
};

// The click cycle of the main window: counter 1..5 gives the style, and
// NextOscopeStyle steps the counter (back to 1 after 5).
TMMOscopeKind OscopeKindForStyle(int counter);
int NextOscopeStyle(int counter);

}  // namespace zt
