#pragma once
// TMMAudioFile: the source of the export chain. It opens an MP3 or WAV
// file and answers the pump's pulls with its audio as PCM.
//
// Inside, it owns a small chain of its own: an MPEG reader (TMMMPEGFile)
// or a wave reader (TMMWaveFile) -> an ADPCM stage -> a PCM normaliser ->
// the audio file itself (linked as its Input, although the class publishes
// no Input). A pump whose Input is the audio file therefore reaches the
// readers with its notifications: they open, start, stop and close with it.
// Its format is always PCM: for an MP3 16-bit at the decoder's playback
// rate, one channel for a single-channel stream, else two.
//
// FileName (set): an equal name does nothing; otherwise the current file is
// let go, then
// - an empty name, or one that names no existing file, leaves no file and
//   raises nothing;
// - a RIFF WAVE file with format tag 80 or 85 (MPEG audio inside a WAVE
//   file), or any file the decoder can decode, is read through the MPEG
//   reader;
// - another RIFF WAVE file with PCM data is read through the wave reader;
// - anything else (not a WAVE file, a WAVE file the reader refuses, non-PCM
//   data) unlinks the readers, so the chain has no format, and raises
//   EMMAudioError "This is not a valid Audiofile".
// The play range is the whole file. A new file's format always travels
// down the chain, which closes a pump that was left open by the previous
// run, so the next Start opens the new file from its beginning.
//
// BufferLoad (the pull answer): while started and not finished, the
// request goes up the internal chain; what came back is scaled by the
// volume envelope when Volume or Panning differ from unity; the data is
// finished when nothing came, or the reader promised no more (MoreBuffers
// is then cleared). A failed read fires OnError with Handled false and is
// passed on unless a handler set Handled.
//
// Threads:
// - Construction, destruction, FileName and the other properties, and the
//   notifications belong to the main thread; BufferLoad runs on the pump's
//   worker.
// - lock_ guards the read state (file held, running, finished, counters,
//   envelope gains, Enabled) and the readers against a FileName change from
//   the main thread; it is held across the pull, and never while OnChange
//   runs. The fields are GUARDED_BY it (checked by clang); the readers
//   have locks of their own, taken after this one. OnError runs on the
//   worker with the lock released.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/chain/DSPComponent.h"
#include "audio/files/Mpg123Decoder.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMMPEGFile;
class TMMWaveFile;
class TMMADPCMConverter;
class TMMPCMConverter;

enum class TMMAudioFileType { ftWave, ftMpeg, ftWMA, ftCDA };

class TMMAudioFile : public TMMDSPComponent {
public:
    static constexpr int32_t kUnityVolume = 16384;
    static constexpr int32_t kMaxVolume = 32768;
    static constexpr int32_t kMaxPanning = 32768;
    static const char* const kNotAnAudioFile;

    explicit TMMAudioFile(std::string name = {},
                          MpegDecoderLoader& loader = SharedMpegDecoderLoader());
    ~TMMAudioFile() override;

    bool HasOutputSide() const override { return true; }

    // ---- properties (main thread) -----------------------------------------------
    void SetFileName(const std::string& name);
    // The file held, or empty.
    const std::string& FileName() const { return fileName_; }
    bool HasFile() const EXCLUDES(lock_);
    // ftMpeg when the MPEG reader holds the file, else ftWave.
    TMMAudioFileType FileType() const EXCLUDES(lock_);
    // Length of the file held in milliseconds.
    int64_t FileEnd() const EXCLUDES(lock_);
    bool Enabled() const EXCLUDES(lock_) {
        MutexLock guard(lock_);
        return enabled_;
    }
    void SetEnabled(bool value) EXCLUDES(lock_);
    int32_t MpegTrailingHeader() const { return trailingHeader_; }
    void SetMpegTrailingHeader(int32_t bytes);
    // How an MP3 is decoded, from the next SetFileName on: the channel
    // mode (a mono down-mix gives a one-channel format) and the lowest
    // rate wanted, which lets the decoder work at a half or a quarter of
    // the coded rate (see TMMMpeg::SetMinimumRate). An export to a
    // narrow-band mono codec needs neither the full rate nor two channels.
    void SetMpegChannelMode(TMpegChannelMode mode);
    void SetMpegMinimumRate(int hz);
    // 0..32768, 16384 = unity.
    int32_t Volume() const { return volume_.load(); }
    void SetVolume(int32_t value);
    // -32768 (left only) .. 32768 (right only), 0 = centre.
    int32_t Panning() const { return panning_.load(); }
    void SetPanning(int32_t value);

    std::function<void(TMMDSPComponent* sender)> OnChange;
    std::function<void(TMMDSPComponent* sender, bool& handled)> OnError;

    // ---- chain ------------------------------------------------------------------
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

private:
    void CloseCurrent() EXCLUDES(lock_);
    // The internal chain from the reader to this component.
    void LinkReader(TMMDSPComponent* reader) EXCLUDES(lock_);
    [[noreturn]] void Refuse() EXCLUDES(lock_);
    bool OpenMpeg(const std::string& name, bool riffMpeg) EXCLUDES(lock_);
    void OpenWave(const std::string& name) EXCLUDES(lock_);
    void ApplyEnvelope(PWaveHdr buffer) const REQUIRES(lock_);
    void Changed() EXCLUDES(lock_);

    std::unique_ptr<TMMMPEGFile> mpeg_;
    TMpegChannelMode mpegChannelMode_ = TMpegChannelMode::cmBoth;
    int mpegMinimumRate_ = 0;
    std::unique_ptr<TMMWaveFile> wave_;
    std::unique_ptr<TMMADPCMConverter> adpcm_;
    std::unique_ptr<TMMPCMConverter> pcm_;

    std::string fileName_;  // main thread only
    int32_t trailingHeader_ = 0;
    std::atomic<int32_t> volume_{kUnityVolume};
    std::atomic<int32_t> panning_{0};

    mutable Mutex lock_;
    bool enabled_ GUARDED_BY(lock_) = true;  // read by the pull
    TMMAudioFileType fileType_ GUARDED_BY(lock_) = TMMAudioFileType::ftWave;
    bool hasFile_ GUARDED_BY(lock_) = false;
    int64_t fileEnd_ GUARDED_BY(lock_) = 0;  // ms
    bool running_ GUARDED_BY(lock_) = false;
    bool finished_ GUARDED_BY(lock_) = false;
    int64_t bytesDelivered_ GUARDED_BY(lock_) = 0;
    // Gains per channel taken at Started, 16384 = unity.
    int32_t gainLeft_ GUARDED_BY(lock_) = kUnityVolume;
    int32_t gainRight_ GUARDED_BY(lock_) = kUnityVolume;
};

}  // namespace zt
