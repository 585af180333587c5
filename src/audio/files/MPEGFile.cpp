#include "audio/files/MPEGFile.h"

#include <cstring>

#include "audio/chain/MMErrors.h"

namespace zt {

TMMMPEGFile::TMMMPEGFile(std::string name, MpegDecoderLoader& loader)
    : TMMDSPComponent(std::move(name)), loader_(loader) {}

TMMMPEGFile::~TMMMPEGFile() {
    BeginDestroying();
    MutexLock guard(lock_);
    mpeg_.reset();
}

TMMMpeg& TMMMPEGFile::Mpeg() {
    MutexLock guard(lock_);
    if (!mpeg_) {
        mpeg_ = std::make_unique<TMMMpeg>(loader_);
        mpeg_->SetTrailingHeader(trailingHeader_);
        mpeg_->SetChannelMode(channelMode_);
        mpeg_->SetMinimumRate(minimumRate_);
    }
    return *mpeg_;
}

bool TMMMPEGFile::DecoderAvailable() {
    return loader_.Get() != nullptr;
}

void TMMMPEGFile::SetFileName(const std::string& name) {
    if (name.empty()) {
        MutexLock guard(lock_);
        if (mpeg_) mpeg_->SetFileName({});
        return;
    }
    TMMMpeg& mpeg = Mpeg();
    {
        MutexLock guard(lock_);
        mpeg.SetFileName(name);
        // A chain already open reads the new file from its start.
        if (!mpeg.Empty() && IsOpened()) {
            mpeg.OpenFile();
            openPosition_ = 0;
        }
    }
    SendFormat();
}

std::string TMMMPEGFile::FileName() const {
    MutexLock guard(lock_);
    return mpeg_ ? mpeg_->FileName() : std::string();
}

bool TMMMPEGFile::HasFile() const {
    MutexLock guard(lock_);
    return mpeg_ && !mpeg_->Empty();
}

TMpegFileInfo TMMMPEGFile::FileInfo() const {
    MutexLock guard(lock_);
    return mpeg_ ? mpeg_->FileInfo() : TMpegFileInfo{};
}

void TMMMPEGFile::SetTrailingHeader(int32_t bytes) {
    MutexLock guard(lock_);
    trailingHeader_ = bytes;
    if (mpeg_) mpeg_->SetTrailingHeader(bytes);
}

void TMMMPEGFile::SetChannelMode(TMpegChannelMode mode) {
    {
        MutexLock guard(lock_);
        channelMode_ = mode;
        if (!mpeg_) return;
        mpeg_->SetChannelMode(mode);
    }
    SendFormat();
}

void TMMMPEGFile::SetMinimumRate(int hz) {
    MutexLock guard(lock_);
    minimumRate_ = hz;
    if (mpeg_) mpeg_->SetMinimumRate(hz);
}

void TMMMPEGFile::SendFormat() {
    WAVEFORMATEX format{};
    {
        MutexLock guard(lock_);
        if (!mpeg_ || mpeg_->Empty()) return;
        format = MakePCMFormat(16, static_cast<uint16_t>(mpeg_->OutputChannels()),
                               static_cast<uint32_t>(mpeg_->FileInfo().PlaybackRate));
    }
    SetWaveFormat(&format);
}

void TMMMPEGFile::Opened() {
    {
        MutexLock guard(lock_);
        if (mpeg_ && !mpeg_->Empty()) {
            mpeg_->OpenFile();
            openPosition_ = mpeg_->Position();
        }
        running_ = false;
    }
    TMMDSPComponent::Opened();
}

void TMMMPEGFile::Closed() {
    {
        MutexLock guard(lock_);
        if (mpeg_) mpeg_->CloseFile();
        running_ = false;
    }
    TMMDSPComponent::Closed();
}

void TMMMPEGFile::Started() {
    {
        MutexLock guard(lock_);
        if (mpeg_ && mpeg_->IsFileOpen()) mpeg_->SetPosition(openPosition_);
        running_ = IsOpened();
    }
    TMMDSPComponent::Started();
}

void TMMMPEGFile::Stopped() {
    {
        MutexLock guard(lock_);
        running_ = false;
    }
    TMMDSPComponent::Stopped();
}

void TMMMPEGFile::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    if (buffer) {
        MutexLock guard(lock_);
        const bool hasFile = mpeg_ && !mpeg_->Empty();
        if (hasFile && running_ && enabled_ && mpeg_->IsFileOpen()) {
            const int32_t n = mpeg_->ReadDataBytes(buffer->wh.lpData,
                                                   static_cast<int32_t>(buffer->wh.dwBufferLength));
            if (n < 0) throw EMMMpegError(mpeg_->ErrorText(mpeg_->LastError()));
            buffer->wh.dwBytesRecorded = static_cast<uint32_t>(n);
            moreBuffers = n > 0 && !mpeg_->Done();
        } else if (hasFile && buffer->wh.lpData) {
            std::memset(buffer->wh.lpData, 0, buffer->wh.dwBufferLength);
            buffer->wh.dwBytesRecorded = buffer->wh.dwBufferLength;
        } else {
            buffer->wh.dwBytesRecorded = 0;
            moreBuffers = false;
        }
    }
    TMMDSPComponent::BufferLoad(buffer, moreBuffers);
}

}  // namespace zt
