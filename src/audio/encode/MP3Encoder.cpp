#include "audio/encode/MP3Encoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>

#include "audio/chain/MMErrors.h"
#include "platform/DiskSpace.h"

namespace zt {

namespace {

// Room left on the drive beyond every write.
constexpr uint64_t kSpaceReserve = 10240;

// MPEG layer-3 extension values of the WAVE format record.
constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3FlagPaddingOff = 2;
constexpr uint16_t kMpegLayer3CodecDelay = 1393;

// Repeats a read or write call until `bytes` have moved; io(done) moves
// what it can from position `done` on and returns what the system call did.
template <class Io>
bool TransferAll(size_t bytes, Io io) {
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = io(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t bytes) {
    return TransferAll(bytes, [&](size_t done) { return ::write(fd, data + done, bytes - done); });
}

bool PWriteAll(int fd, const uint8_t* data, size_t bytes, off_t offset) {
    return TransferAll(bytes, [&](size_t done) {
        return ::pwrite(fd, data + done, bytes - done, offset + off_t(done));
    });
}

bool ReadAt(int fd, uint8_t* data, size_t bytes, off_t offset) {
    return TransferAll(bytes, [&](size_t done) {
        return ::pread(fd, data + done, bytes - done, offset + off_t(done));
    });
}

uint32_t LittleEndian32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The info frame replaces the placeholder frame at `offset` only when that
// is really a frame of the same size with the same header: a file that does
// not start as expected keeps its bytes.
bool PatchFrame(int fd, off_t offset, uint64_t dataBytes, const uint8_t* frame, uint32_t size) {
    if (size < 4 || dataBytes < size) return false;
    uint8_t head[4];
    if (!ReadAt(fd, head, sizeof head, offset)) return false;
    // Sync, version, layer and bit rate must match; padding and the other
    // bits of the placeholder may differ from the final frame.
    if (head[0] != 0xFF || (head[1] & 0xE0) != 0xE0) return false;
    if (head[1] != frame[1] || (head[2] & 0xF0) != (frame[2] & 0xF0)) return false;
    return PWriteAll(fd, frame, size, offset);
}

// Offset and length of the "data" chunk of a RIFF WAVE file.
bool FindWaveData(int fd, off_t& offset, uint64_t& bytes) {
    uint8_t riff[12];
    if (!ReadAt(fd, riff, sizeof riff, 0)) return false;
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return false;
    off_t pos = 12;
    for (int guard = 0; guard < 64; ++guard) {
        uint8_t chunk[8];
        if (!ReadAt(fd, chunk, sizeof chunk, pos)) return false;
        const uint32_t size = LittleEndian32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            offset = pos + 8;
            bytes = size;
            return true;
        }
        pos += 8 + static_cast<off_t>(size) + (size & 1);
    }
    return false;
}

}  // namespace

bool IsSupportedMp3Input(const WAVEFORMATEX& input) {
    return input.wFormatTag == WAVE_FORMAT_PCM && input.wBitsPerSample == 16 &&
           (input.nChannels == 1 || input.nChannels == 2) &&
           (input.nSamplesPerSec == 48000 || input.nSamplesPerSec == 44100 ||
            input.nSamplesPerSec == 32000);
}

BE_CONFIG MakeMp3EncoderConfig(const WAVEFORMATEX& input, const Mp3EncoderSettings& settings) {
    BE_CONFIG config;
    std::memset(&config, 0, sizeof config);
    config.dwConfig = BE_CONFIG_MP3;
    BE_CONFIG_MP3_FORMAT& mp3 = config.format.mp3;
    mp3.dwSampleRate = input.nSamplesPerSec;
    if (input.nChannels == 1)
        mp3.byMode = BE_MP3_MODE_MONO;
    else if (settings.channelMode == TMMChannelMode::cmDualChannel)
        mp3.byMode = BE_MP3_MODE_DUALCHANNEL;
    else
        mp3.byMode = BE_MP3_MODE_STEREO;
    mp3.wBitrate = BitrateKbps(settings.bitrate);
    mp3.bPrivate = settings.privat ? BE_TRUE : BE_FALSE;
    mp3.bCRC = settings.crc ? BE_TRUE : BE_FALSE;
    mp3.bCopyright = settings.copyright ? BE_TRUE : BE_FALSE;
    mp3.bOriginal = settings.original ? BE_TRUE : BE_FALSE;
    return config;
}

MPEGLAYER3WAVEFORMAT MakeMpegLayer3Format(uint16_t channels, uint32_t rate, uint16_t kbps) {
    MPEGLAYER3WAVEFORMAT f;
    std::memset(&f, 0, sizeof f);
    const int64_t bitsPerSecond = int64_t{kbps} * 1000;
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nAvgBytesPerSec = static_cast<uint32_t>(MulDivRound(bitsPerSecond, 144, 1152));
    f.wfx.nBlockAlign = 1;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX);
    f.wID = kMpegLayer3IdMpeg;
    f.fdwFlags = kMpegLayer3FlagPaddingOff;
    f.nBlockSize = static_cast<uint16_t>(MulDivRound(bitsPerSecond, 144, rate));
    f.nFramesPerBlock = 1;
    f.nCodecDelay = kMpegLayer3CodecDelay;
    return f;
}

// ---- component ----------------------------------------------------------------

TMMMP3Encoder::TMMMP3Encoder(std::string name)
    : TMMDSPComponent(std::move(name)), provider_(SharedMp3EncoderLibrary) {
    // With at most 8 KiB held in the writer's buffer, the 10 KiB reserve of
    // the free-space rule also covers the bytes not yet on disk.
    wave_.SetIOBufferSize(kMinWaveIOBufferSize);
}

TMMMP3Encoder::~TMMMP3Encoder() {
    BeginDestroying();
    try {
        if (streamOpen_) Closed();
    } catch (const std::exception&) {
        ReleaseStream();
    }
}

void TMMMP3Encoder::SetFileName(const std::string& value) {
    if (value == fileName_) return;
    if (streamOpen_) throw Exception(LoadResString(msg::ChangeWhileOpen));
    fileName_ = value;
}

void TMMMP3Encoder::SetFileType(TMMFileType value) {
    if (value == fileType_) return;
    if (streamOpen_) throw Exception(LoadResString(msg::ChangeWhileOpen));
    fileType_ = value;
}

void TMMMP3Encoder::SetLibraryProvider(LibraryProvider provider) {
    provider_ = std::move(provider);
}

void TMMMP3Encoder::Opened() {
    TMMDSPComponent::Opened();
    OpenStream();
}

void TMMMP3Encoder::OpenStream() {
    const WAVEFORMATEX* format = GetWaveFormat();
    if (streamOpen_ || !format || !GetInput() || fileName_.empty()) return;

    Mp3EncoderLibrary* library = provider_ ? provider_() : nullptr;
    if (!library) throw Exception("Unable to load Blade Encoder DLL");
    if (!IsSupportedMp3Input(*format)) throw Exception("Unsupported Input Format");
    const BE_CONFIG config = MakeMp3EncoderConfig(*format, settings_);

    CreateOutputFile(*format);

    uint32_t samplesPerChunk = 0, outBufferSize = 0;
    HBE_STREAM stream = 0;
    const BE_ERR err = library->beInitStream(&config, &samplesPerChunk, &outBufferSize, &stream);
    // A chunk must hold whole sample frames of at least one value each.
    if (err != BE_ERR_SUCCESSFUL || samplesPerChunk == 0 || outBufferSize == 0) {
        if (err == BE_ERR_SUCCESSFUL) library->beCloseStream(stream);
        CloseFile({});
        throw Exception("Unable to initialize stream");
    }

    library_ = library;
    stream_ = stream;
    samplesPerChunk_ = samplesPerChunk;
    chunkBytes_ = 2 * samplesPerChunk;
    output_.assign(outBufferSize, 0);
    pending_.assign(chunkBytes_, 0);
    pendingBytes_ = 0;
    flushed_ = false;
    writeFailed_ = false;
    writeError_ = 0;
    encoding_ = false;
    streamOpen_ = true;
}

void TMMMP3Encoder::CreateOutputFile(const WAVEFORMATEX& input) {
    std::error_code ec;
    std::filesystem::remove(fileName_, ec);  // O_TRUNC / CreateFile cover a failure here
    // The operator needs to know which file and why (a folder missing, no
    // permission, a full drive), not only that it failed.
    auto fail = [this](int err) {
        throw Exception("Unable to create file \"" + fileName_ +
                        "\": " + (err != 0 ? std::strerror(err) : "unknown reason"));
    };
    if (fileType_ == TMMFileType::ftRAW) {
        fd_ = ::open(fileName_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) fail(errno);
        return;
    }
    const MPEGLAYER3WAVEFORMAT mp3 =
        MakeMpegLayer3Format(input.nChannels, input.nSamplesPerSec, BitrateKbps(settings_.bitrate));
    errno = 0;
    try {
        wave_.CreateFile(fileName_, &mp3.wfx);
    } catch (const EMMWaveError&) {
        fail(errno);
    }
    if (!wave_.IsWriting()) fail(errno);
}

void TMMMP3Encoder::Started() {
    TMMDSPComponent::Started();
    if (streamOpen_ && !encoding_) {
        encoding_ = true;
        pendingBytes_ = 0;
    }
}

void TMMMP3Encoder::BufferReady(PWaveHdr buffer) {
    if (encoding_ && GetInput() && !fileName_.empty() && buffer && buffer->wh.lpData &&
        buffer->wh.dwBytesRecorded > 0) {
        const uint8_t* data = reinterpret_cast<const uint8_t*>(buffer->wh.lpData);
        uint32_t left = buffer->wh.dwBytesRecorded;
        bool writing = true;
        if (pendingBytes_ > 0) {
            const uint32_t take =
                std::min(chunkBytes_ - static_cast<uint32_t>(pendingBytes_), left);
            std::memcpy(pending_.data() + pendingBytes_, data, take);
            pendingBytes_ += static_cast<int32_t>(take);
            data += take;
            left -= take;
            if (static_cast<uint32_t>(pendingBytes_) == chunkBytes_) {
                pendingBytes_ -= static_cast<int32_t>(chunkBytes_);
                writing = EncodeAndWrite(pending_.data(), samplesPerChunk_);
            }
        }
        while (writing && left >= chunkBytes_) {
            writing = EncodeAndWrite(data, samplesPerChunk_);
            data += chunkBytes_;
            left -= chunkBytes_;
        }
        if (writing && left > 0) {
            std::memcpy(pending_.data(), data, left);
            pendingBytes_ = static_cast<int32_t>(left);
        }
    }
    TMMDSPComponent::BufferReady(buffer);
}

bool TMMMP3Encoder::EncodeAndWrite(const uint8_t* pcm, uint32_t values) {
    uint32_t produced = 0;
    // Pushed buffers hold whole 16-bit sample frames, so `pcm` is aligned.
    const BE_ERR err = library_->beEncodeChunk(
        stream_, values, reinterpret_cast<const int16_t*>(pcm), output_.data(), &produced);
    if (err != BE_ERR_SUCCESSFUL || produced > output_.size())
        throw Exception("Unable to encode data");
    if (produced > 0 && !Write(output_.data(), produced)) {
        CloseAfterFailedWrite();
        return false;
    }
    return true;
}

bool TMMMP3Encoder::Write(const uint8_t* data, uint32_t bytes) {
    std::filesystem::path folder = std::filesystem::path(fileName_).parent_path();
    if (folder.empty()) folder = ".";
    const auto space = MeasureDiskSpace(folder.string());
    if (!space || space->freeBytes < uint64_t{bytes} + kSpaceReserve) {
        writeError_ = ENOSPC;
        return false;
    }
    errno = 0;
    const bool written = fileType_ == TMMFileType::ftRAW
                             ? fd_ >= 0 && WriteAll(fd_, data, bytes)
                             : wave_.WriteData(data, bytes) == static_cast<int64_t>(bytes);
    if (!written) writeError_ = errno != 0 ? errno : EIO;
    return written;
}

void TMMMP3Encoder::CloseAfterFailedWrite() {
    writeFailed_ = true;
    encoding_ = false;
    // Only the file ends: the component stays in the running chain, so the
    // next cut (CutTo) starts a new file without the capture stopping.
    ReleaseStream();
}

void TMMMP3Encoder::Stopped() {
    try {
        FlushStream();
    } catch (...) {
        TMMDSPComponent::Stopped();
        throw;
    }
    TMMDSPComponent::Stopped();
}

void TMMMP3Encoder::FlushStream() {
    if (!streamOpen_ || !encoding_) return;
    encoding_ = false;
    bool writing = true;
    if (pendingBytes_ > 0) {
        const uint32_t values = static_cast<uint32_t>(pendingBytes_) / 2;
        pendingBytes_ = 0;
        writing = EncodeAndWrite(pending_.data(), values);
    }
    if (writing) {
        uint32_t produced = 0;
        const BE_ERR err = library_->beDeinitStream(stream_, output_.data(), &produced);
        if (err != BE_ERR_SUCCESSFUL || produced > output_.size())
            throw Exception("Unable to deinitialize stream");
        flushed_ = true;
        if (produced > 0 && !Write(output_.data(), produced)) CloseAfterFailedWrite();
    }
}

void TMMMP3Encoder::CutTo(const std::string& fileName) {
    if (!IsOpened() || !IsStarted()) {
        // A closed or stopped chain opens its next file at its next open.
        if (!streamOpen_) fileName_ = fileName;
        return;
    }
    // The file in progress ends here: its last partial chunk is encoded, the
    // encoder flushed and the info frame written, so that its decoded
    // length is exactly what it was given.
    std::exception_ptr finishError;
    try {
        FlushStream();
    } catch (...) {
        finishError = std::current_exception();
    }
    ReleaseStream();
    fileName_ = fileName;
    // The next file starts with the next buffer; a failure to create it is
    // the caller's to handle (the chain keeps running without a file).
    OpenStream();
    if (streamOpen_) {
        encoding_ = true;
        pendingBytes_ = 0;
    }
    if (finishError) std::rethrow_exception(finishError);
}

void TMMMP3Encoder::Closed() {
    if (streamOpen_) {
        try {
            Stopped();
        } catch (...) {
            // The file and the stream are released even when the last chunk
            // or the flush failed; the error still reaches the caller.
            ReleaseStream();
            TMMDSPComponent::Closed();
            throw;
        }
        ReleaseStream();  // nothing left to do when a failed write closed it
    }
    TMMDSPComponent::Closed();
}

void TMMMP3Encoder::ReleaseStream() {
    if (!streamOpen_) return;
    streamOpen_ = false;
    encoding_ = false;

    // The info frame is final only after the flush, and it describes what
    // the encoder produced: after a failed write the file holds less, so
    // the placeholder stays (it decodes as one silent frame).
    std::vector<uint8_t> infoFrame;
    if (flushed_ && !writeFailed_ && stream_ != 0 && !output_.empty()) {
        uint32_t size = 0;
        if (library_->beInfoFrame(stream_, output_.data(), static_cast<uint32_t>(output_.size()),
                                  &size) == BE_ERR_SUCCESSFUL &&
            size > 0)
            infoFrame.assign(output_.begin(), output_.begin() + size);
    }
    CloseFile(infoFrame);

    if (stream_ != 0) library_->beCloseStream(stream_);
    stream_ = 0;
    std::vector<uint8_t>().swap(pending_);
    std::vector<uint8_t>().swap(output_);
    pendingBytes_ = 0;
    chunkBytes_ = 0;
    samplesPerChunk_ = 0;
}

void TMMMP3Encoder::CloseFile(const std::vector<uint8_t>& infoFrame) {
    const auto size = static_cast<uint32_t>(infoFrame.size());
    if (fd_ >= 0) {
        if (size > 0) {
            const off_t end = ::lseek(fd_, 0, SEEK_END);
            if (end > 0) PatchFrame(fd_, 0, static_cast<uint64_t>(end), infoFrame.data(), size);
        }
        ::close(fd_);
        fd_ = -1;
    }
    if (wave_.IsWriting()) {
        wave_.FinishFile();
        if (size > 0) {
            const int fd = ::open(wave_.FileName().c_str(), O_RDWR | O_CLOEXEC);
            if (fd >= 0) {
                off_t offset = 0;
                uint64_t bytes = 0;
                if (FindWaveData(fd, offset, bytes))
                    PatchFrame(fd, offset, bytes, infoFrame.data(), size);
                ::close(fd);
            }
        }
        wave_.CloseFile();
    }
}

}  // namespace zt
