#include "audio/files/WaveFile.h"

#include <algorithm>
#include <cstring>

#include "audio/chain/DSPThread.h"
#include "platform/DiskSpace.h"

namespace zt {

TMMWaveFile::TMMWaveFile(std::string name) : TMMDSPComponent(std::move(name)) {}

TMMWaveFile::~TMMWaveFile() {
    BeginDestroying();
    if (IsOpen()) Closed();
}

void TMMWaveFile::SetWave(const TMMWave& other) {
    if (OnChange) OnChange(this);
    {
        MutexLock guard(lock_);
        wave_.Assign(other);
    }
    if (OnChanged) OnChanged(this);
}

bool TMMWaveFile::IsOpen() const {
    MutexLock guard(lock_);
    return open_;
}

uint8_t TMMWaveFile::SilenceValue() const {
    MutexLock guard(lock_);
    return silence_;
}

void TMMWaveFile::SetWaveFormat(const WAVEFORMATEX* format) {
    TMMDSPComponent::SetWaveFormat(format);
    const WAVEFORMATEX* held = GetWaveFormat();
    const uint8_t silence =
        held && held->wFormatTag == WAVE_FORMAT_PCM && held->wBitsPerSample == 8 ? 128 : 0;
    // The worker fills silence with it on a pull.
    MutexLock guard(lock_);
    silence_ = silence;
}

// ---- notifications ------------------------------------------------------------

void TMMWaveFile::Opened() {
    TMMDSPComponent::Opened();
    if (IsOpen()) return;
    if (GetInput())
        OpenForWriting();
    else
        OpenForReading();
    if (IsOpen() && OnOpen) RunEventOnMainThread([this] { OnOpen(this); });
}

void TMMWaveFile::OpenForWriting() {
    SetWaveFormat(GetInput()->GetWaveFormat());
    const WAVEFORMATEX* format = GetWaveFormat();
    MutexLock guard(lock_);
    const std::string name = wave_.FileName();
    if (format && !name.empty()) {
        if (overwriteExisting_) {
            wave_.CreateFile(name, format);
        } else if (!wave_.IsWriting()) {
            // Append when the name holds a readable WAVE file; otherwise the
            // file is still to be created.
            bool readable = true;
            try {
                wave_.OpenFile();
            } catch (const EMMWaveError&) {
                readable = false;
            }
            if (readable)
                wave_.OpenForAppend();
            else
                wave_.CreateFile(name, format);
        }
    }
    open_ = true;
    running_ = false;
}

void TMMWaveFile::OpenForReading() {
    const WAVEFORMATEX* format = nullptr;
    {
        MutexLock guard(lock_);
        if (!wave_.FileName().empty()) {
            wave_.OpenFile();
            wave_.SetDataPosition(0);
        }
        readPosition_ = 0;
        open_ = true;
        running_ = false;
        // Owned by the wave object, which changes it only when a file is
        // opened, on this thread.
        format = wave_.WaveFormat();
    }
    if (format && WaveFormatsDiffer(format, GetWaveFormat())) SetWaveFormat(format);
}

void TMMWaveFile::Closed() {
    Stopped();
    bool closed = false;
    {
        MutexLock guard(lock_);
        if (open_) {
            // An empty data chunk upsets some readers: a file that received
            // nothing gets four bytes of silence. A file that already holds
            // data (an append) is left alone.
            if (GetInput() && GetWaveFormat() && !wave_.FileName().empty() && wave_.IsWriting() &&
                wave_.DataSize() == 0) {
                const char zeros[4] = {0, 0, 0, 0};
                wave_.WriteData(zeros, 4);
            }
            wave_.FinishFile();
            open_ = false;
            running_ = false;
            closed = true;
        }
    }
    if (closed && OnClose) RunEventOnMainThread([this] { OnClose(this); });
    TMMDSPComponent::Closed();
}

void TMMWaveFile::Started() {
    {
        MutexLock guard(lock_);
        if (open_ && !running_) {
            running_ = true;
            if (!GetInput() && wave_.IsReadable()) wave_.SetDataPosition(readPosition_);
        }
    }
    TMMDSPComponent::Started();
}

void TMMWaveFile::Stopped() {
    {
        MutexLock guard(lock_);
        running_ = false;
    }
    TMMDSPComponent::Stopped();
}

void TMMWaveFile::Reset() {
    {
        // The writer keeps its file as it is; the reader starts over.
        MutexLock guard(lock_);
        if (!GetInput()) {
            readPosition_ = 0;
            if (wave_.IsReadable()) wave_.SetDataPosition(0);
        }
    }
    TMMDSPComponent::Reset();
}

// ---- data ---------------------------------------------------------------------

bool TMMWaveFile::WriteBuffer(const char* data, uint32_t bytes) {
    MutexLock guard(lock_);
    // Not started (or closed meanwhile), or no file named: nothing to do.
    if (!running_ || wave_.FileName().empty()) return true;
    const auto space = MeasureDiskSpace(wave_.FileName());
    const uint64_t needed = uint64_t(wave_.IOBufferSize()) + bytes + kSpaceMargin;
    if (!space || space->freeBytes < needed) return false;
    // A partial write loses data in the middle of the stream: treated as a
    // failed write.
    return wave_.WriteData(data, bytes) == int64_t(bytes);
}

void TMMWaveFile::BufferReady(PWaveHdr buffer) {
    if (enabled_ && GetInput() && buffer && buffer->wh.lpData && buffer->wh.dwBytesRecorded > 0) {
        if (!WriteBuffer(buffer->wh.lpData, buffer->wh.dwBytesRecorded)) Closed();
    }
    TMMDSPComponent::BufferReady(buffer);
}

bool TMMWaveFile::ReadBuffer(PWaveHdr buffer, bool& moreBuffers) {
    char* out = buffer->wh.lpData;
    const int64_t wanted = out ? buffer->wh.dwBufferLength : 0;
    int64_t got = 0;
    bool looped = false;
    for (;;) {
        const int64_t n = wave_.ReadData(out + got, wanted - got);
        if (n > 0) got += n;
        if (got >= wanted || wave_.BytesLeft() > 0 || n < 0) break;
        // At the end of the data: a looping request starts over, as long as
        // it has loops left (a loop count of 0 or less loops for ever).
        const bool mayLoop = buffer->lpLooping && wave_.DataSize() > 0 &&
                             (buffer->dwLoopCount <= 0 || buffer->dwLoopsLeft > 0);
        if (!mayLoop) break;
        if (buffer->dwLoopCount > 0) --buffer->dwLoopsLeft;
        wave_.SetDataPosition(0);
        buffer->lpLooped = -1;
        looped = true;
    }
    buffer->wh.dwBytesRecorded = uint32_t(got);
    readPosition_ = wave_.DataPosition();
    moreBuffers = wave_.BytesLeft() > 0 || (buffer->lpLooping && wave_.DataSize() > 0 &&
                                            (buffer->dwLoopCount <= 0 || buffer->dwLoopsLeft > 0));
    return looped;
}

void TMMWaveFile::BufferLoad(PWaveHdr buffer, bool& moreBuffers) {
    bool looped = false;
    if (buffer && !GetInput()) {
        MutexLock guard(lock_);
        if (running_ && enabled_ && wave_.IsReadable()) {
            looped = ReadBuffer(buffer, moreBuffers);
        } else if (running_ && buffer->wh.lpData) {
            // Started without a file (or disabled): silence, and no promise
            // of more.
            std::memset(buffer->wh.lpData, silence_, buffer->wh.dwBufferLength);
            buffer->wh.dwBytesRecorded = buffer->wh.dwBufferLength;
        } else {
            buffer->wh.dwBytesRecorded = 0;
        }
    }
    if (looped && OnLooping) OnLooping(this);
    TMMDSPComponent::BufferLoad(buffer, moreBuffers);
}

}  // namespace zt
