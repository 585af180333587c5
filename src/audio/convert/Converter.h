#pragma once
// TMMACMConverter: the chain member that converts the PCM it is given into
// a requested format (in the export chain: the decoded recording into the
// codec format the monitoring firm wants), in as many codec stages as the
// codec manager's drivers need (see CodecStreamChain.h).
//
// Formats: the Input's format is kept as the input format; SetWaveFormat
// sets the requested output format (nullptr is ignored). After every
// change the converter recomputes what it announces downstream: the
// effective output format when it differs from the input format and a
// conversion path exists, otherwise the input format itself. A pair with
// no path is announced as the input format and fails at Opened with
// EMMConverterError "Unable to convert to destination format".
//
// Data: Opened builds the stream chain (every stream, header and buffer is
// allocated there, nothing per buffer). A pushed buffer is converted in
// pieces of at most 8192 bytes and the output is pushed on in records of
// at most GetBufferSize() bytes that point into the chain's output area;
// the incoming record itself is not passed on. Stopped ends a pushed
// signal: the codecs are flushed and their tail is pushed on before the
// downstream members stop, so an export keeps its last fraction of a
// second. A pull request is answered from converted output, pulling and
// converting further pieces from the Input as needed and flushing the
// codecs when the Input is exhausted; output not yet pulled is dropped at
// Stopped.
// Without a conversion (equal formats, Enabled false) buffers pass through
// unchanged. While a converted format is announced but the converter is
// not opened and started, pushed buffers are dropped and pull requests
// come back empty: raw input never travels under the converted format.
//
// Threads:
// - Construction, destruction, Enabled, Quality, the format changes and the
//   notifications Opened, Started, Stopped, Closed and Reset belong to the
//   main thread.
// - BufferReady and BufferLoad run on the pump's worker (or on whatever
//   thread feeds the chain); the stream chain is touched only there and at
//   Opened / Closed / Reset.
// - No lock of its own: the driving pump serialises the worker against the
//   main-thread notifications that touch the chain (Opened, Closed, Reset
//   and Stopped come while its worker is not inside BufferReady/BufferLoad;
//   the pump finishes a stop only between rounds). Stopped pushes the
//   flushed tail downstream on the thread that stops. The running flag is
//   atomic, so a round sees a stop at once.

#include <atomic>
#include <memory>

#include "audio/chain/DSPComponent.h"
#include "audio/convert/CodecStreamChain.h"

namespace zt {

class TMMACMConverter : public TMMDSPComponent {
public:
    // Four pull conversions in a row may yield nothing; the fifth fails.
    static constexpr int kEmptyConversionsTolerated = 4;

    explicit TMMACMConverter(std::string name = {});
    ~TMMACMConverter() override;

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    // Default true; false passes every buffer through unchanged and
    // announces the input format.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Default cqLow.
    TMMConvertQuality Quality() const { return quality_; }
    void SetQuality(TMMConvertQuality value);

    // The Input's format (own copy), the requested output format, and the
    // effective one (prepared from the requested one while Enabled).
    const WAVEFORMATEX* InputFormat() const { return input_.get(); }
    const WAVEFORMATEX* RequestedFormat() const { return requested_.get(); }
    const WAVEFORMATEX* EffectiveFormat() const { return effective_.get(); }
    // Whether the effective format differs from the input format, and
    // whether a conversion path between them exists.
    bool FormatsDiffer() const { return differ_; }
    bool ConversionPossible() const { return possible_; }
    // The chain built at Opened, or nullptr.
    const CodecStreamChain* Chain() const { return chain_.get(); }

    void InputFormatChanged(const WAVEFORMATEX* format) override;
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void Loaded() override;
    void Opened() override;
    void Closed() override;
    void Started() override;
    void Stopped() override;
    void Reset() override;
    void BufferReady(PWaveHdr buffer) override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

protected:
    // Derives the effective output format from the requested one (a plain
    // copy here); a derived converter may adjust it, e.g. to the input's
    // rate.
    virtual void PrepareOutputFormat();
    WaveFormatPtr& Effective() { return effective_; }

private:
    void Recompute();
    // The announced format is not the input format (so raw input must not
    // go downstream), also after a failed conversion.
    bool AnnouncesConversion() const;
    // ... and the chain to produce it is open.
    bool Converting() const;
    [[noreturn]] void Fail();
    // Pushes the unread output downstream in records of GetBufferSize().
    void PassOutput();
    // Drops output that a Stopped asked to drop.
    void DropStaleOutput();

    bool enabled_ = true;
    TMMConvertQuality quality_ = TMMConvertQuality::cqLow;
    WaveFormatPtr input_, requested_, effective_;
    bool differ_ = false;
    bool possible_ = false;
    std::unique_ptr<CodecStreamChain> chain_;
    std::atomic<bool> running_{false};     // started while opened
    std::atomic<bool> dropOutput_{false};  // set by Stopped, honoured by the worker
    TStreamBufferHeader record_{};         // output records (push) and input pulls
    std::atomic<bool> pushed_{false};      // BufferReady converted since Started
    bool inputExhausted_ = false;
    bool flushed_ = false;
};

}  // namespace zt
