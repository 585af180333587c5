#pragma once
// One open capture handle of the ALSA back end and its capture thread: the
// reading of the device into the queued buffers or the store, the losses
// and the failure of a device. Only AlsaWaveInBackend.cpp includes this;
// the contract of threads and locks is the one written at the top of
// AlsaWaveInBackend.h.

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "platform/AudioThreadPriority.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

namespace alsa_capture {

inline constexpr int kPollTimeoutMs = 500;
inline constexpr int kMaxPollFds = 16;

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

}  // namespace alsa_capture

using alsa_capture::kMaxPollFds;
using alsa_capture::kPollTimeoutMs;
using alsa_capture::PcmPtr;

// One open capture handle and its thread (see the header for the contract).
class AlsaWaveInBackend::Capture {
public:
    enum Command { kPark, kRun, kQuit };

    Capture(PcmPtr pcm, WaveInNotify notify, unsigned frameBytes, unsigned rate,
            snd_pcm_uframes_t periodFrames, snd_pcm_uframes_t bufferFrames,
            snd_pcm_uframes_t storeFrames)
        : pcm_(std::move(pcm)),
          notify_(std::move(notify)),
          frameBytes_(frameBytes),
          rate_(rate),
          bufferFrames_(bufferFrames),
          scratchFrames_(periodFrames),
          scratch_(size_t(periodFrames) * frameBytes),
          storeFrames_(std::max(storeFrames, periodFrames)),
          store_(size_t(storeFrames_) * frameBytes) {}

    ~Capture() {
        Quit();
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    // Sets up the wake-up descriptor and the parked thread.
    int Launch() {
        wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) return -errno;
        int count = snd_pcm_poll_descriptors_count(pcm_.get());
        if (count < 0) return count;
        if (count + 1 > kMaxPollFds) return -EINVAL;
        fds_[0] = {wakeFd_, POLLIN, 0};
        int got = snd_pcm_poll_descriptors(pcm_.get(), fds_ + 1, unsigned(count));
        if (got < 0) return got;
        nfds_ = 1 + got;
        thread_ = std::thread([this] { Run(); });
        return 0;
    }

    // Owning thread: let the thread run.
    void Resume() EXCLUDES(control_) {
        MutexLock lock(control_);
        command_.store(kRun, std::memory_order_release);
        controlChanged_.notify_all();
    }

    // Owning thread: park the thread and wait until it is parked.
    void Park() EXCLUDES(control_) {
        UniqueLock lock(control_);
        command_.store(kPark, std::memory_order_release);
        Wake();
        controlChanged_.notify_all();
        while (!parked_) lock.Wait(controlChanged_);
    }

    void Quit() EXCLUDES(control_) {
        if (!thread_.joinable()) return;
        {
            MutexLock lock(control_);
            command_.store(kQuit, std::memory_order_release);
            Wake();
            controlChanged_.notify_all();
        }
        thread_.join();
    }

    // Owning thread, parked: drops what the device and the store hold and
    // makes the device ready to start again.
    int Halt() {
        int err = snd_pcm_drop(pcm_.get());
        int err2 = snd_pcm_prepare(pcm_.get());
        storeHead_ = storeFill_ = 0;
        backlog_.store(0, std::memory_order_relaxed);
        return err < 0 ? err : err2;
    }

    void Append(WAVEHDR* header) EXCLUDES(queue_) {
        {
            MutexLock lock(queue_);
            header->lpNext = nullptr;
            header->reserved = reinterpret_cast<uintptr_t>(this);
            if (tail_)
                tail_->lpNext = header;
            else
                head_ = header;
            tail_ = header;
        }
        // Audio is waiting in the store: the thread hands it over now
        // instead of at its next period, so a late consumer catches up fast.
        if (backlog_.load(std::memory_order_relaxed) > 0) Wake();
    }

    bool IsQueued(const WAVEHDR* header) EXCLUDES(queue_) {
        MutexLock lock(queue_);
        return header->reserved == reinterpret_cast<uintptr_t>(this);
    }

    // Owning thread, parked: unlinks the head when `withData` is false or
    // it holds data; nullptr when nothing is to be handed back.
    WAVEHDR* TakeHead(bool withDataOnly) EXCLUDES(queue_) {
        MutexLock lock(queue_);
        if (!head_ || (withDataOnly && head_->dwBytesRecorded == 0)) return nullptr;
        return UnlinkHeadLocked();
    }

    // Marks a header handed back and tells the owner.
    void HandBack(WAVEHDR* header) {
        header->dwFlags |= WHDR_DONE;
        notify_(WaveInMessage::Data, header);
    }

    void Notify(WaveInMessage message) { notify_(message, nullptr); }
    WaveInNotify TakeNotify() { return std::move(notify_); }
    void ResetPosition() { position_.store(0, std::memory_order_relaxed); }
    uint64_t Position() const { return position_.load(std::memory_order_relaxed); }
    uint64_t Overruns() const { return overruns_.load(std::memory_order_relaxed); }
    uint32_t BufferFrames() const { return uint32_t(bufferFrames_); }
    uint64_t StoreFrames() const { return storeFrames_; }
    uint64_t Backlog() const { return backlog_.load(std::memory_order_relaxed); }
    uint64_t PeakBacklog() const { return peakBacklog_.load(std::memory_order_relaxed); }
    uint64_t LostFrames() const { return lostFrames_.load(std::memory_order_relaxed); }
    int Failure() const { return failure_.load(); }

    void TakeLosses(std::vector<WaveInLoss>& out) EXCLUDES(lossLock_) {
        MutexLock lock(lossLock_);
        out.insert(out.end(), losses_, losses_ + lossCount_);
        lossCount_ = 0;
    }

private:
    WAVEHDR* UnlinkHeadLocked() REQUIRES(queue_) {
        WAVEHDR* header = head_;
        head_ = header->lpNext;
        if (!head_) tail_ = nullptr;
        header->lpNext = nullptr;
        header->reserved = 0;
        return header;
    }

    void Wake() {
        uint64_t one = 1;
        ssize_t n = ::write(wakeFd_, &one, sizeof one);
        (void)n;
    }

    void DrainWake() {
        uint64_t count;
        ssize_t n = ::read(wakeFd_, &count, sizeof count);
        (void)n;
    }

    // The capture thread.
    void Run() EXCLUDES(control_, queue_) {
        // Raised to real-time scheduling when the recorder is set to, for
        // as long as this thread runs.
        AudioThreadRegistration registration;
        bool needStart = true;
        for (;;) {
            if (command_.load(std::memory_order_acquire) != kRun) {
                EndDropping();
                UniqueLock lock(control_);
                parked_ = true;
                controlChanged_.notify_all();
                while (command_.load() == kPark) lock.Wait(controlChanged_);
                if (command_.load() == kQuit) return;
                parked_ = false;
                needStart = true;
            }
            if (failure_.load(std::memory_order_relaxed) != 0) {
                // The device is gone: nothing to read until the owner
                // parks or closes this handle.
                Idle(kPollTimeoutMs);
                continue;
            }
            if (needStart) {
                const int err = StartDevice();
                needStart = err < 0;
                if (needStart) {
                    if (DeviceGone(err))
                        Fail(err);
                    else
                        Idle(50);  // the device refused; try again shortly
                    continue;
                }
            }
            int ready = ::poll(fds_, nfds_, kPollTimeoutMs);
            if (ready < 0 && errno != EINTR) {
                Idle(50);
                continue;
            }
            if (fds_[0].revents & POLLIN) DrainWake();
            if (command_.load(std::memory_order_acquire) != kRun) continue;
            unsigned short revents = 0;
            if (ready > 0)
                snd_pcm_poll_descriptors_revents(pcm_.get(), fds_ + 1, unsigned(nfds_ - 1),
                                                 &revents);
            if (!ReadAvailable()) needStart = true;
        }
    }

    // Starts capture from whatever state an earlier step left; 0 or the
    // ALSA error.
    int StartDevice() {
        snd_pcm_state_t state = snd_pcm_state(pcm_.get());
        if (state == SND_PCM_STATE_RUNNING) return 0;
        if (state == SND_PCM_STATE_DISCONNECTED) return -ENODEV;
        if (state != SND_PCM_STATE_PREPARED) {
            const int err = snd_pcm_prepare(pcm_.get());
            if (err < 0) return err;
        }
        return snd_pcm_start(pcm_.get());
    }

    // Errors that mean the device is no longer there (unplugged, its driver
    // gone) rather than a moment's hitch.
    static bool DeviceGone(int err) {
        return err == -ENODEV || err == -ENXIO || err == -EBADFD || err == -EIO || err == -ENOTTY ||
               err == -ESHUTDOWN;
    }

    // Capturing ends on this handle: the owner is told once.
    void Fail(int err) {
        int none = 0;
        if (!failure_.compare_exchange_strong(none, err)) return;
        EndDropping();
        notify_(WaveInMessage::Failed, nullptr);
    }

    // Waits up to `ms` or until woken.
    void Idle(int ms) {
        pollfd wake = {wakeFd_, POLLIN, 0};
        if (::poll(&wake, 1, ms) > 0) DrainWake();
    }

    // Reads what the device holds. Audio goes to the queued buffers in the
    // order it was captured: first what waits in the store, then the
    // device's. With no buffer queued (the consumer is late) it goes to the
    // store; only when the store is full as well is it read into the scratch
    // area and lost (counted as one loss until audio can be kept again).
    // False when the device had to be recovered and needs a start.
    bool ReadAvailable() EXCLUDES(queue_) {
        for (;;) {
            if (command_.load(std::memory_order_acquire) != kRun) return true;
            WAVEHDR* header;
            {
                MutexLock lock(queue_);
                header = head_;
            }
            if (header && storeFill_ > 0) {
                FillFromStore(header);
                continue;
            }
            enum { kToHeader, kToStore, kToScratch } dest = kToScratch;
            char* target = scratch_.data();
            snd_pcm_uframes_t frames = scratchFrames_;
            if (header) {
                dest = kToHeader;
                target = header->lpData + header->dwBytesRecorded;
                frames = (header->dwBufferLength - header->dwBytesRecorded) / frameBytes_;
            } else if (storeFill_ < storeFrames_) {
                dest = kToStore;
                const snd_pcm_uframes_t tail = (storeHead_ + storeFill_) % storeFrames_;
                target = store_.data() + size_t(tail) * frameBytes_;
                frames = std::min(storeFrames_ - storeFill_, storeFrames_ - tail);
            }
            snd_pcm_sframes_t got = snd_pcm_readi(pcm_.get(), target, frames);
            if (got == -EAGAIN || got == 0) return true;
            if (got < 0) return Recover(int(got));
            lastReadNs_ = MonotonicNs();
            position_.fetch_add(uint64_t(got), std::memory_order_relaxed);
            if (dest == kToScratch) {
                Drop(uint64_t(got));
                continue;
            }
            EndDropping();
            if (dest == kToStore) {
                storeFill_ += snd_pcm_uframes_t(got);
                backlog_.store(storeFill_, std::memory_order_relaxed);
                if (storeFill_ > peakBacklog_.load(std::memory_order_relaxed))
                    peakBacklog_.store(storeFill_, std::memory_order_relaxed);
                continue;
            }
            header->dwBytesRecorded += uint32_t(got) * frameBytes_;
            HandBackIfFull(header);
        }
    }

    // Moves the oldest stored audio into a queued buffer.
    void FillFromStore(WAVEHDR* header) EXCLUDES(queue_) {
        const snd_pcm_uframes_t room =
            (header->dwBufferLength - header->dwBytesRecorded) / frameBytes_;
        const snd_pcm_uframes_t frames = std::min({room, storeFill_, storeFrames_ - storeHead_});
        std::memcpy(header->lpData + header->dwBytesRecorded,
                    store_.data() + size_t(storeHead_) * frameBytes_, size_t(frames) * frameBytes_);
        header->dwBytesRecorded += uint32_t(frames) * frameBytes_;
        storeHead_ = (storeHead_ + frames) % storeFrames_;
        storeFill_ -= frames;
        backlog_.store(storeFill_, std::memory_order_relaxed);
        HandBackIfFull(header);
    }

    void HandBackIfFull(WAVEHDR* header) EXCLUDES(queue_) {
        if (header->dwBufferLength - header->dwBytesRecorded >= frameBytes_) return;
        {
            MutexLock lock(queue_);
            UnlinkHeadLocked();
        }
        HandBack(header);
    }

    // Frames that could be kept nowhere: one loss lasts until audio can be
    // kept again.
    void Drop(uint64_t frames) {
        lostFrames_.fetch_add(frames, std::memory_order_relaxed);
        if (!dropping_) {
            dropping_ = true;
            dropped_ = WaveInLoss{WaveInLoss::Cause::StoreFull, 0,
                                  RealtimeNs() - int64_t(FramesToNs(frames))};
        }
        dropped_.frames += frames;
    }

    void EndDropping() {
        if (!dropping_) return;
        dropping_ = false;
        RecordLoss(dropped_);
    }

    // Keeps the loss for TakeLosses (a fixed number of them; more are merged
    // into the last, so nothing is allocated here) and tells the owner.
    void RecordLoss(const WaveInLoss& loss) EXCLUDES(lossLock_) {
        {
            MutexLock lock(lossLock_);
            if (lossCount_ < kMaxLosses) {
                losses_[lossCount_++] = loss;
            } else {
                losses_[kMaxLosses - 1].frames += loss.frames;
            }
        }
        notify_(WaveInMessage::Lost, nullptr);
    }

    bool Recover(int err) {
        const int64_t now = MonotonicNs();
        const int recovered = snd_pcm_recover(pcm_.get(), err, 1);
        if (recovered < 0 && DeviceGone(recovered)) {
            // Not an overrun to count: the device itself is gone.
            Fail(recovered);
            return false;
        }
        if (err == -EPIPE) {
            // The device overran: what it captured since the last read, and
            // until it runs again, is gone. The estimate is the time since
            // the last read.
            overruns_.fetch_add(1, std::memory_order_relaxed);
            EndDropping();
            const uint64_t gapNs =
                lastReadNs_ > 0 && now > lastReadNs_ ? uint64_t(now - lastReadNs_) : 0;
            const uint64_t frames = gapNs * rate_ / 1000000000ull;
            lostFrames_.fetch_add(frames, std::memory_order_relaxed);
            RecordLoss(
                WaveInLoss{WaveInLoss::Cause::Overrun, frames, RealtimeNs() - int64_t(gapNs)});
        }
        if (recovered < 0) Idle(50);
        return false;
    }

    uint64_t FramesToNs(uint64_t frames) const {
        return rate_ ? frames * 1000000000ull / rate_ : 0;
    }

    static int64_t MonotonicNs() {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
    static int64_t RealtimeNs() {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }

    static constexpr size_t kMaxLosses = 32;

    PcmPtr pcm_;
    WaveInNotify notify_;
    const unsigned frameBytes_;
    const unsigned rate_;
    const snd_pcm_uframes_t bufferFrames_;
    const snd_pcm_uframes_t scratchFrames_;
    std::vector<char> scratch_;  // capture thread only
    // The store for audio nobody has taken yet, a ring of storeFrames_
    // frames. Its contents and positions belong to the capture thread while
    // it runs and to the owning thread while it is parked (Halt).
    const snd_pcm_uframes_t storeFrames_;
    std::vector<char> store_;
    snd_pcm_uframes_t storeHead_ = 0;   // oldest stored frame
    snd_pcm_uframes_t storeFill_ = 0;   // frames stored
    std::atomic<uint64_t> backlog_{0};  // storeFill_, for other threads
    std::atomic<uint64_t> peakBacklog_{0};
    // Loss bookkeeping of the capture thread.
    int64_t lastReadNs_ = 0;
    bool dropping_ = false;
    WaveInLoss dropped_;
    std::atomic<uint64_t> lostFrames_{0};
    std::atomic<int> failure_{0};  // the ALSA error that ended capturing
    Mutex lossLock_;
    WaveInLoss losses_[kMaxLosses] GUARDED_BY(lossLock_);
    size_t lossCount_ GUARDED_BY(lossLock_) = 0;

    int wakeFd_ = -1;
    pollfd fds_[kMaxPollFds] = {};  // capture thread only (after Launch)
    int nfds_ = 0;
    std::thread thread_;

    Mutex control_;
    std::condition_variable controlChanged_;
    // Atomic, as the running thread polls it without the lock; stored under
    // control_ so that a parked thread's wait cannot miss a change.
    std::atomic<int> command_{kPark};
    bool parked_ GUARDED_BY(control_) = false;

    Mutex queue_;
    WAVEHDR* head_ GUARDED_BY(queue_) = nullptr;
    WAVEHDR* tail_ GUARDED_BY(queue_) = nullptr;

    std::atomic<uint64_t> position_{0};
    std::atomic<uint64_t> overruns_{0};
};

}  // namespace zt
