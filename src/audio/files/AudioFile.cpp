#include "audio/files/AudioFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "audio/chain/MMErrors.h"
#include "audio/files/AudioFileStages.h"
#include "audio/files/MPEGFile.h"
#include "audio/files/WaveFile.h"

namespace zt {

const char* const TMMAudioFile::kNotAnAudioFile = "This is not a valid Audiofile";

namespace {

constexpr uint16_t kTagMpeg = 80;
constexpr uint16_t kTagMpegLayer3 = 85;
constexpr uint16_t kTagMsAdpcm = 2;
constexpr uint16_t kTagImaAdpcm = 0x11;

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct RiffProbe {
    bool wave = false;    // "RIFF" .... "WAVE"
    bool hasFmt = false;  // a "fmt " chunk with at least the tag
    uint16_t tag = 0;
};

// Reads the RIFF header and walks the chunks up to the "fmt " chunk. Every
// size is checked against the file before it is used.
RiffProbe ProbeRiff(const std::string& path) {
    RiffProbe probe;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return probe;
    unsigned char head[12];
    if (std::fread(head, 1, 12, f) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        probe.wave = true;
        std::fseek(f, 0, SEEK_END);
        const long long size = std::ftell(f);
        long long at = 12;
        // A WAVE file has a handful of chunks before its format.
        for (int i = 0; i < 64 && at + 8 <= size; ++i) {
            unsigned char chunk[10];
            if (std::fseek(f, static_cast<long>(at), SEEK_SET) != 0 ||
                std::fread(chunk, 1, 8, f) != 8)
                break;
            const long long length = Le32(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0) {
                if (length >= 2 && std::fread(chunk + 8, 1, 2, f) == 2) {
                    probe.hasFmt = true;
                    probe.tag = static_cast<uint16_t>(chunk[8] | chunk[9] << 8);
                }
                break;
            }
            at += 8 + length + (length & 1);
        }
    }
    std::fclose(f);
    return probe;
}

bool IsExistingFile(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(name, ec);
}

int16_t Scale16(int16_t sample, int32_t gain) {
    const int32_t v = (int32_t(sample) * gain) / TMMAudioFile::kUnityVolume;
    return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

uint8_t Scale8(uint8_t sample, int32_t gain) {
    const int32_t v = ((int32_t(sample) - 128) * gain) / TMMAudioFile::kUnityVolume;
    return static_cast<uint8_t>(std::clamp<int32_t>(v, -128, 127) + 128);
}

}  // namespace

// ---- construction ----------------------------------------------------------------

TMMAudioFile::TMMAudioFile(std::string name, MpegDecoderLoader& loader)
    : TMMDSPComponent(std::move(name)),
      mpeg_(std::make_unique<TMMMPEGFile>("MpegFile", loader)),
      wave_(std::make_unique<TMMWaveFile>("WaveFile")),
      adpcm_(std::make_unique<TMMADPCMConverter>("ADPCMConverter")),
      pcm_(std::make_unique<TMMPCMConverter>("PCMConverter")) {
    wave_->Wave().SetTimeFormat(TMMTimeFormats::tfMillisecond);
    adpcm_->SetOutput(pcm_.get());
    // The normaliser feeds this component, which publishes no Input.
    AcceptsInputLink = true;
    pcm_->SetOutput(this);
    AcceptsInputLink = false;
}

TMMAudioFile::~TMMAudioFile() {
    BeginDestroying();
    // Unlink the internal chain while this object is whole; the members
    // go one by one afterwards.
    adpcm_->SetInput(nullptr);
    pcm_->SetOutput(nullptr);
    adpcm_->SetOutput(nullptr);
    pcm_.reset();
    adpcm_.reset();
    wave_.reset();
    mpeg_.reset();
}

// ---- properties ----------------------------------------------------------------------

bool TMMAudioFile::HasFile() const {
    MutexLock guard(lock_);
    return hasFile_;
}

TMMAudioFileType TMMAudioFile::FileType() const {
    MutexLock guard(lock_);
    return fileType_;
}

int64_t TMMAudioFile::FileEnd() const {
    MutexLock guard(lock_);
    return fileEnd_;
}

void TMMAudioFile::SetEnabled(bool value) {
    {
        // The pull reads it on the worker.
        MutexLock guard(lock_);
        if (value == enabled_) return;
        enabled_ = value;
    }
    mpeg_->SetEnabled(value);
    wave_->SetEnabled(value);
    Changed();
}

void TMMAudioFile::SetMpegChannelMode(TMpegChannelMode mode) {
    mpegChannelMode_ = mode;
}

void TMMAudioFile::SetMpegMinimumRate(int hz) {
    mpegMinimumRate_ = hz;
}

void TMMAudioFile::SetMpegTrailingHeader(int32_t bytes) {
    if (bytes == trailingHeader_) return;
    trailingHeader_ = bytes;
    mpeg_->SetTrailingHeader(bytes);
    Changed();
}

void TMMAudioFile::SetVolume(int32_t value) {
    value = std::clamp(value, 0, kMaxVolume);
    if (volume_.exchange(value) != value) Changed();
}

void TMMAudioFile::SetPanning(int32_t value) {
    value = std::clamp(value, -kMaxPanning, kMaxPanning);
    if (panning_.exchange(value) != value) Changed();
}

void TMMAudioFile::Changed() {
    if (OnChange) OnChange(this);
}

// ---- FileName --------------------------------------------------------------------------

void TMMAudioFile::SetFileName(const std::string& name) {
    if (name == fileName_) return;
    CloseCurrent();
    if (name.empty() || !IsExistingFile(name)) {
        Changed();
        return;
    }
    const RiffProbe riff = ProbeRiff(name);
    const bool riffMpeg = riff.wave && (riff.tag == kTagMpeg || riff.tag == kTagMpegLayer3);
    if ((!riff.wave || riffMpeg) && mpeg_->DecoderAvailable() && OpenMpeg(name, riffMpeg)) {
        // read through the decoder
    } else if (riff.wave && riff.hasFmt && !riffMpeg) {
        OpenWave(name);
    } else {
        Refuse();
    }
    fileName_ = name;
    Changed();
}

void TMMAudioFile::CloseCurrent() {
    // A reader left open by an earlier run closes now: it may be unlinked
    // below, and then no chain notification would reach it any more.
    if (wave_->IsOpen()) wave_->Closed();
    if (mpeg_->IsOpened()) mpeg_->Closed();
    MutexLock guard(lock_);
    mpeg_->SetFileName({});
    wave_->Wave().CloseFile();
    fileName_.clear();
    fileType_ = TMMAudioFileType::ftWave;
    hasFile_ = false;
    fileEnd_ = 0;
    bytesDelivered_ = 0;
    finished_ = true;
}

void TMMAudioFile::LinkReader(TMMDSPComponent* reader) {
    adpcm_->SetInput(reader);
}

void TMMAudioFile::Refuse() {
    // Without a reader the chain has no format: a pump cannot open on it.
    LinkReader(nullptr);
    throw EMMAudioError(kNotAnAudioFile);
}

bool TMMAudioFile::OpenMpeg(const std::string& name, bool riffMpeg) {
    // Applied while the reader holds no file, so no format goes down the
    // chain before the new file's own.
    mpeg_->SetChannelMode(mpegChannelMode_);
    mpeg_->SetMinimumRate(mpegMinimumRate_);
    mpeg_->SetFileName(name);
    if (!mpeg_->HasFile()) {
        // MPEG data in a WAVE file that does not decode is no audio file;
        // any other file may still be a WAVE file.
        if (riffMpeg) Refuse();
        return false;
    }
    LinkReader(mpeg_.get());
    adpcm_->SetEnabled(false);
    MutexLock guard(lock_);
    fileType_ = TMMAudioFileType::ftMpeg;
    hasFile_ = true;
    fileEnd_ = mpeg_->FileInfo().DurationMs;
    return true;
}

void TMMAudioFile::OpenWave(const std::string& name) {
    try {
        MutexLock guard(lock_);
        wave_->Wave().SetFileMustExist(true);
        wave_->Wave().SetFileName(name);
    } catch (const EMMWaveError&) {
        Refuse();
    }
    const WAVEFORMATEX* format = wave_->Wave().WaveFormat();
    if (!format || !TMMPCMConverter::CanNormalise(format) || format->nAvgBytesPerSec == 0 ||
        format->nBlockAlign == 0) {
        {
            MutexLock guard(lock_);
            wave_->Wave().CloseFile();
        }
        // Not under the lock: unlinking closes a pump, which reaches here.
        Refuse();
    }
    const uint16_t tag = format->wFormatTag;
    adpcm_->SetEnabled(tag == kTagMsAdpcm || tag == kTagImaAdpcm);
    // Sent down the chain at once when the wave reader is linked already.
    wave_->SetWaveFormat(format);
    if (adpcm_->GetInput() != wave_.get()) LinkReader(wave_.get());
    MutexLock guard(lock_);
    fileType_ = TMMAudioFileType::ftWave;
    hasFile_ = true;
    fileEnd_ = BytesToMilliseconds(*format, wave_->Wave().DataSize());
}

// ---- chain -------------------------------------------------------------------------------

void TMMAudioFile::Opened() {
    {
        MutexLock guard(lock_);
        running_ = false;
        finished_ = false;
    }
    TMMDSPComponent::Opened();
}

void TMMAudioFile::Closed() {
    {
        MutexLock guard(lock_);
        running_ = false;
    }
    TMMDSPComponent::Closed();
}

void TMMAudioFile::Started() {
    if (!IsStarted()) {
        MutexLock guard(lock_);
        running_ = IsOpened();
        finished_ = false;
        bytesDelivered_ = 0;
        const int32_t volume = volume_.load(), panning = panning_.load();
        gainLeft_ = int32_t(int64_t(volume) * (kMaxPanning - std::max(panning, 0)) / kMaxPanning);
        gainRight_ = int32_t(int64_t(volume) * (kMaxPanning + std::min(panning, 0)) / kMaxPanning);
    }
    TMMDSPComponent::Started();
}

void TMMAudioFile::Stopped() {
    {
        MutexLock guard(lock_);
        finished_ = true;
        running_ = false;
    }
    TMMDSPComponent::Stopped();
}

void TMMAudioFile::ApplyEnvelope(PWaveHdr buffer) const {
    if (gainLeft_ == kUnityVolume && gainRight_ == kUnityVolume) return;
    const WAVEFORMATEX* format = GetWaveFormat();
    if (!format || format->wFormatTag != WAVE_FORMAT_PCM) return;
    const int channels = format->nChannels;
    const uint32_t bytes = buffer->wh.dwBytesRecorded;
    char* data = buffer->wh.lpData;
    // A mono stream takes the volume alone; a stereo one the balance too.
    const int32_t mono = volume_.load();
    if (format->wBitsPerSample == 16) {
        const uint32_t n = bytes / 2;
        for (uint32_t i = 0; i < n; ++i) {
            const int32_t gain = channels == 1 ? mono : (i % 2 == 0 ? gainLeft_ : gainRight_);
            int16_t s;
            std::memcpy(&s, data + 2 * i, 2);
            s = Scale16(s, gain);
            std::memcpy(data + 2 * i, &s, 2);
        }
    } else if (format->wBitsPerSample == 8) {
        for (uint32_t i = 0; i < bytes; ++i) {
            const int32_t gain = channels == 1 ? mono : (i % 2 == 0 ? gainLeft_ : gainRight_);
            data[i] = static_cast<char>(Scale8(static_cast<uint8_t>(data[i]), gain));
        }
    }
}

void TMMAudioFile::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    if (!buffer) return;
    std::exception_ptr failure;
    {
        MutexLock guard(lock_);
        const int64_t request = enabled_ ? int64_t(buffer->wh.dwBufferLength) : 0;
        if (!running_ || finished_ || !hasFile_ || request < 1) {
            buffer->wh.dwBytesRecorded = 0;
            moreBuffers = false;
            finished_ = true;
            return;
        }
        const int32_t looping = buffer->lpLooping;
        const uint32_t length = buffer->wh.dwBufferLength;
        buffer->lpLooping = 0;
        buffer->wh.dwBufferLength = static_cast<uint32_t>(request);
        bool more = false;
        try {
            TMMDSPComponent::BufferLoad(buffer, more);
        } catch (...) {
            failure = std::current_exception();
        }
        buffer->lpLooping = looping;
        buffer->wh.dwBufferLength = length;
        if (!failure) {
            bytesDelivered_ += buffer->wh.dwBytesRecorded;
            ApplyEnvelope(buffer);
            if (buffer->wh.dwBytesRecorded == 0 || !more) {
                more = false;
                finished_ = true;
            }
            moreBuffers = more;
            return;
        }
        buffer->wh.dwBytesRecorded = 0;
        moreBuffers = false;
        finished_ = true;
    }
    bool handled = false;
    if (OnError) OnError(this, handled);
    if (!handled) std::rethrow_exception(failure);
}

}  // namespace zt
