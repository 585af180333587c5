#pragma once
// TMMWaveFile: the chain member that writes every buffer it is given into a
// RIFF WAVE file (input side, at the end of the export chain) or reads a
// WAVE file's data for a pull (output side, inside the audio file source).
// The file itself is the owned TMMWave (Wave()), which the export
// controller also uses directly to create and finish each export file.
//
// Writing: Opened creates the file named by Wave().FileName() in the
// chain's format (or, without OverwriteExisting, appends to the existing
// file); every BufferReady appends its bytes; Closed finishes the file. A
// write is made only while the disk keeps IOBufferSize + the byte count +
// 10240 bytes free; when it does not, or when a write fails, the component
// closes itself and the file is finished with what it holds, without an
// exception, so a full disk never leaves a broken file behind.
//
// Reading: a component without an Input opens the named file at Opened and
// answers BufferLoad with the file's data, reporting more buffers while data
// is left.
//
// Threads:
// - Construction, destruction, the settings and the notifications Opened,
//   Started, Stopped, Reset belong to the main thread. Closed comes from the
//   main thread, or from the pump's worker when a write fails.
// - BufferReady (push) and BufferLoad (pull) run on the pump's worker.
// - lock_ guards the wave object, the open/started/read state and the
//   silence value between those threads (GUARDED_BY, checked by clang); it
//   is never held while an event runs. Wave() hands the object out without
//   the lock: its callers are the owner, while nothing is started.
// - OnOpen and OnClose run on the main thread (through the thread
//   hand-off when the caller is a worker). OnLooping runs on the thread
//   that pulls; OnChange / OnChanged on the thread that assigns the wave.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/chain/DSPComponent.h"
#include "audio/files/Wave.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMWaveFile : public TMMDSPComponent {
public:
    // Free space kept on the disk beyond the I/O buffer and the write.
    static constexpr uint64_t kSpaceMargin = 10240;

    explicit TMMWaveFile(std::string name = {});
    // Closes (and so finishes the file) when still open.
    ~TMMWaveFile() override;

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    // The owned wave object. Not to be used by another thread while the
    // component is started. Handed out without the lock: the owner uses it
    // to set up and finish files while no worker pulls or pushes.
    TMMWave& Wave() NO_THREAD_SAFETY_ANALYSIS { return wave_; }
    const TMMWave& Wave() const NO_THREAD_SAFETY_ANALYSIS { return wave_; }
    // Copies the settings of another wave object (and its file name),
    // between OnChange and OnChanged.
    void SetWave(const TMMWave& other) EXCLUDES(lock_);

    bool Enabled() const { return enabled_.load(); }
    void SetEnabled(bool value) { enabled_.store(value); }
    bool OverwriteExisting() const { return overwriteExisting_; }
    void SetOverwriteExisting(bool value) { overwriteExisting_ = value; }

    // 128 for 8-bit PCM, else 0: the byte value of silence in the format.
    uint8_t SilenceValue() const EXCLUDES(lock_);
    // Between Opened and Closed (a self-close on a failed write ends it).
    bool IsOpen() const EXCLUDES(lock_);

    std::function<void(TMMDSPComponent*sender)> OnOpen, OnClose, OnChange, OnChanged, OnLooping;

    void SetWaveFormat(const WAVEFORMATEX* format) override EXCLUDES(lock_);
    void Opened() override;
    void Closed() override EXCLUDES(lock_);
    void Started() override;
    void Stopped() override EXCLUDES(lock_);
    void Reset() override;
    void BufferReady(PWaveHdr buffer) override;
    void BufferLoad(PWaveHdr buffer, bool& moreBuffers) override;

private:
    void OpenForWriting() EXCLUDES(lock_);
    void OpenForReading() EXCLUDES(lock_);
    // True when the bytes were written; false closes the component.
    bool WriteBuffer(const char* data, uint32_t bytes) EXCLUDES(lock_);
    // Fills `buffer` from the file; true when the file looped.
    bool ReadBuffer(PWaveHdr buffer, bool& moreBuffers) REQUIRES(lock_);

    mutable Mutex lock_;
    TMMWave wave_ GUARDED_BY(lock_);
    std::atomic<bool> enabled_{true};  // read by the worker
    bool overwriteExisting_ = true;    // main thread only
    bool open_ GUARDED_BY(lock_) = false;
    bool running_ GUARDED_BY(lock_) = false;  // started while open
    uint8_t silence_ GUARDED_BY(lock_) = 0;
    int64_t readPosition_ GUARDED_BY(lock_) = 0;  // data bytes already delivered on the read side
};

}  // namespace zt
