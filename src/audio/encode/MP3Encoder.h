#pragma once
// TMMMP3Encoder: the last member of the capture chain. It cuts the pushed
// 16-bit PCM buffers into the chunks the MP3 encoder library asks for,
// encodes them and appends the MP3 bytes to the file named by FileName.
//
// Life of one file: Opened creates the file (an existing one is replaced)
// and the encoder stream; Started begins encoding; every BufferReady
// encodes the whole chunks it completes; Stopped encodes the last partial
// chunk and flushes the encoder; Closed writes the stream's info frame over
// the placeholder frame at the start of the MP3 data (so players know the
// exact length and the encoder delay), closes the file and releases the
// stream. With ftRAW the file is the bare MP3 stream; with ftWAV it is a
// RIFF WAVE file with an MPEG layer-3 format record.
//
// Cutting (CutTo) while the chain runs: between two buffers the file in
// progress is finished exactly as a stop and close would finish it (last
// partial chunk, flush, info frame) and the next file is created with the
// bitrate and settings of that moment, so the first sample of the new file
// follows the last sample of the old one and both decode to exactly what
// they were given. The chain itself is neither stopped nor closed.
//
// Writing: before every write the free space on FileName's drive must be
// at least the byte count + 10240 (space that cannot be measured counts as
// too little). A write refused for space, or a short write, closes the
// file by itself: the file keeps what was written (it still decodes), no
// exception is raised, and later buffers are ignored until the next cut or
// open starts a new file; the component stays open in its chain. The info
// frame is then left out: the frame counts it would carry no longer match
// the file.
//
// Buffers: the pending and output buffers are allocated once per Opened.
// Whole chunks are encoded straight from the pushed buffer; only a
// remainder is copied to the pending buffer. Pushed buffers hold whole
// sample frames (the capture's block size).
//
// Errors raise plain zt::Exception: "Unable to load Blade Encoder DLL",
// "Unsupported Input Format", "Unable to create file" (with the path and
// the system's reason), "Unable to
// initialize stream" (Opened), "Unable to encode data" (BufferReady,
// Stopped), "Unable to deinitialize stream" (Stopped); msg::ChangeWhileOpen when
// FileName or FileType is changed while the stream is open.
//
// Threads: every operation (properties, notifications, BufferReady) runs on
// the one thread that delivers the chain's notifications and buffers, the
// main thread in the recorder. The component has no lock of its own; the
// encoder library binding is process-wide and thread-safe.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/chain/DSPComponent.h"
#include "audio/encode/Bitrates.h"
#include "audio/encode/Mp3EncoderLibrary.h"
#include "audio/files/Wave.h"

namespace zt {

// MP3 channel mode for a two-channel input (a one-channel input is always
// coded mono).
enum class TMMChannelMode { cmStereo, cmDualChannel, cmMono };

// ftRAW: the bare MP3 stream; ftWAV: wrapped in a RIFF WAVE file.
enum class TMMFileType { ftWAV, ftRAW };

// The encoder settings that go into the configuration record.
struct Mp3EncoderSettings {
    TMMChannelMode channelMode = TMMChannelMode::cmStereo;
    TMMBitrates bitrate = TMMBitrates::br128;
    bool privat = false;
    bool crc = false;
    bool copyright = false;
    bool original = false;
};

// 16-bit PCM at 32000, 44100 or 48000 Hz, one or two channels.
bool IsSupportedMp3Input(const WAVEFORMATEX& input);

// The configuration record for an input format. The record has no channel
// count of its own, so the mode carries it: a one-channel input is mode 3
// (mono) whatever ChannelMode says, a two-channel input mode 2 with
// cmDualChannel and mode 0 (stereo) otherwise, cmMono included (mode 3
// would make the library read the interleaved pairs as one channel).
BE_CONFIG MakeMp3EncoderConfig(const WAVEFORMATEX& input, const Mp3EncoderSettings& settings);

// MPEG layer-3 format record (tag 0x55, cbSize 12) followed by its
// extension, as a RIFF WAVE "fmt " chunk holds it.
#pragma pack(push, 1)
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wID;  // 1: MPEG
    uint32_t fdwFlags;
    uint16_t nBlockSize;
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);
inline constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x55;
MPEGLAYER3WAVEFORMAT MakeMpegLayer3Format(uint16_t channels, uint32_t rate, uint16_t kbps);

class TMMMP3Encoder : public TMMDSPComponent {
public:
    explicit TMMMP3Encoder(std::string name = {});
    // Runs Closed (errors are swallowed: a destructor cannot report them).
    ~TMMMP3Encoder() override;

    bool HasInputSide() const override { return true; }

    // ---- properties ---------------------------------------------------------
    // ChannelMode, Bitrate and the flags are read at the next Opened.
    TMMChannelMode ChannelMode() const { return settings_.channelMode; }
    void SetChannelMode(TMMChannelMode value) { settings_.channelMode = value; }
    TMMBitrates Bitrate() const { return settings_.bitrate; }
    void SetBitrate(TMMBitrates value) { settings_.bitrate = value; }
    bool Copyright() const { return settings_.copyright; }
    void SetCopyright(bool value) { settings_.copyright = value; }
    bool Privat() const { return settings_.privat; }
    void SetPrivat(bool value) { settings_.privat = value; }
    bool CRC() const { return settings_.crc; }
    void SetCRC(bool value) { settings_.crc = value; }
    bool Original() const { return settings_.original; }
    void SetOriginal(bool value) { settings_.original = value; }
    // Nothing is encoded while it is empty. Changing it (or FileType) while
    // the stream is open raises msg::ChangeWhileOpen; an equal value is ignored.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value);
    TMMFileType FileType() const { return fileType_; }
    void SetFileType(TMMFileType value);

    // Where the encoder library comes from: by default the process-wide LAME
    // binding (SharedMp3EncoderLibrary). A provider returning nullptr means
    // the library cannot be loaded. The component does not own the binding.
    using LibraryProvider = std::function<Mp3EncoderLibrary*()>;
    void SetLibraryProvider(LibraryProvider provider);

    // Ends the file in progress and goes on in `fileName` from the next
    // buffer, without stopping the chain (see above). While the chain is not
    // running it only names the file of the next open (as SetFileName,
    // except that it never refuses). Called on the thread that delivers the
    // buffers, between two of them. An error finishing the old file is
    // raised after the new one has been opened; an error creating the new
    // one ("Unable to create file \"path\": reason", ...) leaves no file open
    // and is raised.
    void CutTo(const std::string& fileName);

    // ---- notifications --------------------------------------------------------
    void Opened() override;
    void Started() override;
    void Stopped() override;
    void Closed() override;
    void BufferReady(PWaveHdr buffer) override;

    // ---- state, for diagnostics and tests -------------------------------------
    bool IsStreamOpen() const { return streamOpen_; }
    bool IsEncoding() const { return encoding_; }
    // Bytes waiting in the pending buffer for their chunk to complete.
    int32_t PendingBytes() const { return pendingBytes_; }
    // 2 × the library's samples per chunk; 0 while no stream is open.
    uint32_t ChunkBytes() const { return chunkBytes_; }
    // The file of the last open closed itself after a failed write (until
    // the next file opens), and why: ENOSPC when the free-space rule refused
    // the write, otherwise the system's error of the write.
    bool WriteFailed() const { return writeFailed_; }
    int WriteError() const { return writeError_; }

private:
    // Encodes `values` sample values and writes the output. False when the
    // write failed (the component has closed itself then).
    bool EncodeAndWrite(const uint8_t* pcm, uint32_t values);
    // The free-space rule, then the append. False when nothing or not
    // everything was written.
    bool Write(const uint8_t* data, uint32_t bytes);
    void CloseAfterFailedWrite();
    // Creates the file and the encoder stream (the work of Opened).
    void OpenStream();
    // Encodes the last partial chunk and flushes the encoder (the work of
    // Stopped).
    void FlushStream();
    // Finishes and closes the file, writes the info frame, releases the
    // stream and the buffers. Safe to call when nothing is open.
    void ReleaseStream();
    void CloseFile(const std::vector<uint8_t>& infoFrame);
    void CreateOutputFile(const WAVEFORMATEX& input);

    Mp3EncoderSettings settings_;
    std::string fileName_;
    TMMFileType fileType_ = TMMFileType::ftRAW;
    LibraryProvider provider_;

    TMMWave wave_;  // ftWAV output
    int fd_ = -1;   // ftRAW output
    Mp3EncoderLibrary* library_ = nullptr;
    HBE_STREAM stream_ = 0;
    bool streamOpen_ = false;
    bool encoding_ = false;
    bool flushed_ = false;      // beDeinitStream done: the info frame is final
    bool writeFailed_ = false;  // closed itself after a failed write
    int writeError_ = 0;        // why
    uint32_t samplesPerChunk_ = 0;
    uint32_t chunkBytes_ = 0;
    std::vector<uint8_t> pending_;
    std::vector<uint8_t> output_;
    int32_t pendingBytes_ = 0;
};

}  // namespace zt
