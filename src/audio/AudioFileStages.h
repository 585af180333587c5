#pragma once
// The two middle stages of the audio file source's internal chain
// (reader -> ADPCM decoder -> PCM normaliser -> audio file).
//
// TMMADPCMConverter: the recorder reads only its own MP3 files and PCM
// WAV files, so no ADPCM data ever reaches it; it passes buffers and the
// format through unchanged. Enabled records whether the reader holds ADPCM
// data; the audio file refuses such a file before it is linked (see
// TMMPCMConverter::CanNormalise).
//
// TMMPCMConverter: its output format is its input format when that is
// PCM. A non-PCM input would need the codec manager's conversion; until
// that is wired in here, CanNormalise() refuses it and the audio file
// treats such a file as not a valid audio file.
//
// Threads: format changes and notifications on the main thread, BufferLoad
// on the pump's worker; neither stage keeps data of its own between calls,
// so they need no lock. Enabled is atomic.

#include <atomic>

#include "audio/DSPComponent.h"

namespace zt {

class TMMADPCMConverter : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }
    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value) { enabled_.store(value); }

private:
    std::atomic<bool> enabled_{false};
};

class TMMPCMConverter : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    // Whether this stage can deliver PCM for `format`.
    static bool CanNormalise(const WAVEFORMATEX* format);
    // PCM passes as it is; anything else leaves the stage without format.
    void InputFormatChanged(const WAVEFORMATEX* format) override;
};

}  // namespace zt
