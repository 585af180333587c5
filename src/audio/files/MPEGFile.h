#pragma once
// TMMMPEGFile: the chain member that reads an MPEG audio file through the
// decoder (codecs/Mpg123Decoder.h) and answers pulls with 16-bit PCM. It
// sits at the head of the audio file source's internal chain.
//
// Setting FileName probes the file; when it is decodable the reader's
// format becomes 16-bit PCM at the decoder's playback rate with one channel
// (single-channel stream, or a channel mode other than both) or two, and is
// sent down the chain. Opened opens a decoding run and remembers its
// position, Started goes back to that position, Closed ends the run.
//
// BufferLoad: started and enabled with a file, it fills up to the asked
// length with decoded bytes and promises more until the decoder is done;
// stopped or disabled with a file, it answers a full record of silence;
// without a file, nothing.
//
// Threads:
// - Construction, destruction, FileName, the settings and the
//   notifications belong to the main thread; BufferLoad runs on the pump's
//   worker.
// - lock_ guards the decoder, its settings, the running flag and the
//   remembered position between the two (GUARDED_BY, checked by clang); it
//   is never held while an event runs. Enabled is atomic. Mpeg() hands the
//   decoder out; outside the lock it is used only while nothing pulls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/chain/DSPComponent.h"
#include "audio/files/Mpg123Decoder.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMMPEGFile : public TMMDSPComponent {
public:
    explicit TMMMPEGFile(std::string name = {},
                         MpegDecoderLoader& loader = SharedMpegDecoderLoader());
    ~TMMMPEGFile() override;

    bool HasOutputSide() const override { return true; }

    // The decoder object, created on first use. EMMMpegError when the
    // library is unavailable.
    TMMMpeg& Mpeg() EXCLUDES(lock_);
    // Whether the library is usable (loads it on the first call).
    bool DecoderAvailable();

    // Probes `name` (an empty name clears). Raises nothing for a file that
    // does not decode: HasFile() stays false.
    void SetFileName(const std::string& name) EXCLUDES(lock_);
    std::string FileName() const EXCLUDES(lock_);
    // The decoder holds a decodable file.
    bool HasFile() const EXCLUDES(lock_);
    // Of the file held (all zero without one).
    TMpegFileInfo FileInfo() const EXCLUDES(lock_);

    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value) { enabled_.store(value); }
    void SetTrailingHeader(int32_t bytes) EXCLUDES(lock_);
    int32_t TrailingHeader() const EXCLUDES(lock_) {
        MutexLock guard(lock_);
        return trailingHeader_;
    }
    void SetChannelMode(TMpegChannelMode mode) EXCLUDES(lock_);
    // See TMMMpeg::SetMinimumRate; takes effect at the next SetFileName.
    void SetMinimumRate(int hz) EXCLUDES(lock_);

    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

private:
    void SendFormat() EXCLUDES(lock_);

    MpegDecoderLoader& loader_;
    mutable Mutex lock_;
    std::unique_ptr<TMMMpeg> mpeg_ GUARDED_BY(lock_) PT_GUARDED_BY(lock_);
    std::atomic<bool> enabled_{true};
    int32_t trailingHeader_ GUARDED_BY(lock_) = 0;
    TMpegChannelMode channelMode_ GUARDED_BY(lock_) = TMpegChannelMode::cmBoth;
    int minimumRate_ GUARDED_BY(lock_) = 0;
    bool running_ GUARDED_BY(lock_) = false;
    int64_t openPosition_ GUARDED_BY(lock_) = 0;  // ms, remembered at Opened
};

}  // namespace zt
