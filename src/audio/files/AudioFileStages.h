#pragma once
// The two middle stages of the audio file source's internal chain
// (reader -> ADPCM decoder -> PCM normaliser -> audio file).
//
// TMMADPCMConverter: the recorder reads only its own MP3 files and WAV
// files; the codec manager has no ADPCM decoder, so no ADPCM data ever
// reaches this stage (the normaliser refuses it, see CanNormalise). It
// passes buffers and the format through unchanged. Enabled records whether
// the reader holds ADPCM data.
//
// TMMPCMConverter: a TMMACMConverter whose output format is its input
// format when that is PCM, otherwise the PCM format the codec manager
// suggests for it (a GSM 6.10, A-law or mu-law WAV decodes to 16-bit PCM
// at its own rate). The requested format plays no part.
//
// Threads: as TMMACMConverter (format changes and notifications on the
// main thread, BufferLoad on the pump's worker). Enabled of the ADPCM
// stage is atomic.

#include <atomic>

#include "audio/chain/DSPComponent.h"
#include "audio/convert/Converter.h"

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

class TMMPCMConverter : public TMMACMConverter {
public:
    using TMMACMConverter::TMMACMConverter;

    // The PCM this stage delivers for `format`: a copy of it when it is
    // PCM, the codec manager's suggestion otherwise, nullptr when no
    // driver decodes it.
    static WaveFormatPtr NormalisedFormat(const WAVEFORMATEX* format);
    // Whether this stage can deliver PCM for `format`.
    static bool CanNormalise(const WAVEFORMATEX* format);

protected:
    void PrepareOutputFormat() override;
};

}  // namespace zt
