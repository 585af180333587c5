#pragma once
// Helpers for the wave-in tests: a passive chain member that records what
// reaches it, and a wait that runs the Qt event loop until a condition
// holds.

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture/WaveIn.h"
#include "audio/chain/DSPComponent.h"
#include "audio/chain/MMErrors.h"

namespace zt::test {

// Runs the event loop until cond() holds or the timeout passes; returns
// the last value of cond().
inline bool RunUntil(const std::function<bool()>& cond,
                     std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    if (cond()) return true;
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (cond()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, [&] { loop.quit(); });
    poll.start(2);
    limit.setSingleShot(true);
    limit.start(timeout);
    loop.exec();
    return cond();
}

// Records every buffer pushed into it (bytes, sizes, threads) and counts
// its notifications. BufferReady may run on a capture thread, so the
// record is guarded; the notifications run on the main thread.
class RecordingSink : public TMMDSPComponent {
public:
    explicit RecordingSink(std::string name = "sink") : TMMDSPComponent(std::move(name)) {}

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    void BufferReady(PWaveHdr buffer) override {
        {
            std::lock_guard guard(lock_);
            bytes_.append(buffer->wh.lpData, buffer->wh.dwBytesRecorded);
            sizes_.push_back(buffer->wh.dwBytesRecorded);
            threads_.push_back(std::this_thread::get_id());
            if (throwAt_ > 0 && sizes_.size() == throwAt_)
                throw EMMWaveError("sink refused the data");
        }
        TMMDSPComponent::BufferReady(buffer);
    }
    void Opened() override {
        ++opened;
        TMMDSPComponent::Opened();
    }
    void Closed() override {
        ++closed;
        TMMDSPComponent::Closed();
    }
    void Started() override {
        ++started;
        TMMDSPComponent::Started();
    }
    void Stopped() override {
        ++stopped;
        TMMDSPComponent::Stopped();
    }

    // The n-th buffer (1-based) throws instead of passing on.
    void ThrowAt(size_t n) {
        std::lock_guard guard(lock_);
        throwAt_ = n;
    }
    std::string Bytes() const {
        std::lock_guard guard(lock_);
        return bytes_;
    }
    std::vector<uint32_t> Sizes() const {
        std::lock_guard guard(lock_);
        return sizes_;
    }
    std::vector<std::thread::id> Threads() const {
        std::lock_guard guard(lock_);
        return threads_;
    }
    size_t BufferCount() const {
        std::lock_guard guard(lock_);
        return sizes_.size();
    }

    int opened = 0, closed = 0, started = 0, stopped = 0;

private:
    mutable std::mutex lock_;
    std::string bytes_;
    std::vector<uint32_t> sizes_;
    std::vector<std::thread::id> threads_;
    size_t throwAt_ = 0;
};

// The recorder's capture settings: 44100 Hz, 16-bit stereo, 20 buffers of
// 4096 bytes.
inline void UseRecorderFormat(TMMCustomWaveIn& w) {
    w.SetMode(TMMMode::mStereo);
    w.SetBitLength(TMMBits::b16Bit);
    w.SetSampleRate(44100);
    w.SetBufferSize(4096);
    w.SetNumBuffers(20);
}

}  // namespace zt::test
