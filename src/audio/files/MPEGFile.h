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
// - lock_ guards the decoder and the running flag between the two; it is
//   never held while an event runs. Enabled is atomic.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/chain/DSPComponent.h"
#include "audio/files/Mpg123Decoder.h"

namespace zt {

class TMMMPEGFile : public TMMDSPComponent {
public:
    explicit TMMMPEGFile(std::string name = {},
                         MpegDecoderLoader& loader = SharedMpegDecoderLoader());
    ~TMMMPEGFile() override;

    bool HasOutputSide() const override { return true; }

    // The decoder object, created on first use. EMMMpegError when the
    // library is unavailable.
    TMMMpeg& Mpeg();
    // Whether the library is usable (loads it on the first call).
    bool DecoderAvailable();

    // Probes `name` (an empty name clears). Raises nothing for a file that
    // does not decode: HasFile() stays false.
    void SetFileName(const std::string& name);
    std::string FileName() const;
    // The decoder holds a decodable file.
    bool HasFile() const;
    // Of the file held (all zero without one).
    TMpegFileInfo FileInfo() const;

    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value) { enabled_.store(value); }
    void SetTrailingHeader(int32_t bytes);
    int32_t TrailingHeader() const { return trailingHeader_; }
    void SetChannelMode(TMpegChannelMode mode);
    // See TMMMpeg::SetMinimumRate; takes effect at the next SetFileName.
    void SetMinimumRate(int hz);

    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

private:
    void SendFormat();

    MpegDecoderLoader& loader_;
    mutable std::mutex lock_;
    std::unique_ptr<TMMMpeg> mpeg_;
    std::atomic<bool> enabled_{true};
    int32_t trailingHeader_ = 0;
    TMpegChannelMode channelMode_ = TMpegChannelMode::cmBoth;
    int minimumRate_ = 0;
    bool running_ = false;
    int64_t openPosition_ = 0;  // ms, remembered at Opened
};

}  // namespace zt
