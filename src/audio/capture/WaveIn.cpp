#include "audio/capture/WaveIn.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "audio/capture/WaveInWaits.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/chain/MMErrors.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"

namespace zt {

const char* const TMMCustomWaveIn::kCallbackRefusal =
    "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under "
    "Windows 95";

using namespace wavein_detail;

namespace {

uint32_t FlagFor(const WAVEFORMATEX& f) {
    const uint32_t rate = f.nSamplesPerSec;
    int band;
    if (rate >= 8000 && rate <= 11025)
        band = 0;
    else if (rate >= 11026 && rate <= 22050)
        band = 1;
    else if (rate >= 22051 && rate <= 48000)
        band = 2;
    else
        return 0;
    if ((f.nChannels != 1 && f.nChannels != 2) || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16))
        return 0;
    // Within a band: 1M08, 1S08, 1M16, 1S16 are bits 0..3.
    const int within = (f.nChannels == 2 ? 1 : 0) + (f.wBitsPerSample == 16 ? 2 : 0);
    return 1u << (band * 4 + within);
}

int32_t ClampToInt32(int64_t v) {
    if (v > TMMCustomWaveIn::kUnlimited) return static_cast<int32_t>(TMMCustomWaveIn::kUnlimited);
    if (v < 0) return static_cast<int32_t>(TMMCustomWaveIn::kUnlimited);
    return static_cast<int32_t>(v);
}

}  // namespace

// ---- construction -----------------------------------------------------------

TMMCustomWaveIn::TMMCustomWaveIn(std::string name)
    : TMMCustomSoundComponent(std::move(name)), ownerThread_(std::this_thread::get_id()) {
    RebuildFormat();
    InitBackend();
}

TMMCustomWaveIn::~TMMCustomWaveIn() {
    BeginDestroying();
    Close();
    if (handle_ && backend_) {
        // Close failed: the back end must not call into this object any more.
        backend_->Stop(handle_);
        backend_->Reset(handle_);
        for (PWaveHdr b : buffers_) backend_->UnprepareHeader(handle_, &b->wh);
        backend_->Close(handle_);
        handle_ = 0;
    }
    thread_.reset();
    // Notifications still queued must not reach a destroyed component.
    buffersOwner_.DropPending();
    control_.DropPending();
    ReleaseBuffers();
    Allocator().Empty();
}

void TMMCustomWaveIn::InitBackend() {
    BindBackend();
    ReadDevices();
    ApplyDeviceID(requestedDeviceID_);
}

void TMMCustomWaveIn::BindBackendInstance(std::unique_ptr<WaveInBackend> backend) {
    backend_ = std::move(backend);
}

void TMMCustomWaveIn::SetBackend(std::unique_ptr<WaveInBackend> backend) {
    RefuseWhileOpen();
    backend_ = std::move(backend);
    ReadDevices();
    ApplyDeviceID(requestedDeviceID_);
}

void TMMCustomWaveIn::ReadDevices() {
    numDevs_ = backend_ ? std::max(0, backend_->NumDevs()) : 0;
}

// ---- errors -------------------------------------------------------------------

void TMMCustomWaveIn::RaiseError(const std::string& message) {
    RaiseReported(std::make_exception_ptr(EMMWaveInError(message)));
}

void TMMCustomWaveIn::Fail(const std::string& message) {
    throw EMMWaveInError(message);
}

std::string TMMCustomWaveIn::ErrorText(WaveInResult code) {
    std::string text;
    if (!backend_ || !backend_->ErrorText(code, text)) return LoadResString(msg::UnknownError);
    if (text.size() > 255) text.resize(255);
    return text;
}

void TMMCustomWaveIn::Check(const char* step, WaveInResult result) {
    if (result == kWaveInOk) return;
    lastError_ = result;
    Fail(StepError(step, ErrorText(result)));
}

void TMMCustomWaveIn::RefuseWhileOpen() {
    if (StateIsOpen()) RaiseError(LoadResString(msg::ChangeWhileOpen));
}

// ---- properties ---------------------------------------------------------------

void TMMCustomWaveIn::ApplyDeviceID(int32_t value) {
    productName_ = LoadResString(msg::NoRecordingDevice);
    driverVersion_ = 0;
    capsValid_ = false;
    const bool inRange = value >= -1 && value < numDevs_;
    if (numDevs_ > 0 && inRange) {
        WaveInCaps caps;
        if (backend_->GetDevCaps(value, caps) == kWaveInOk) {
            caps_ = caps;
            capsValid_ = true;
            productName_ = caps.name.substr(0, 31);
            driverVersion_ = caps.driverVersion;
        }
    }
    deviceID_ = inRange ? value : -2;
}

void TMMCustomWaveIn::SetDeviceID(int32_t value) {
    RefuseWhileOpen();
    requestedDeviceID_ = value;
    ApplyDeviceID(value);
}

void TMMCustomWaveIn::SetNumBuffers(int32_t value) {
    RefuseWhileOpen();
    if (value < 2) return;
    numBuffers_ = std::min(value, kMaxBuffers);
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode value) {
    RefuseWhileOpen();
    if (value == TMMCBMode::cmCallback) {
        // Handling buffers on the driver's own thread is not offered here.
        CurrentDialogs().Warning(kCallbackRefusal);
        return;
    }
    callBackMode_ = value;
}

void TMMCustomWaveIn::SetMode(TMMMode value) {
    RefuseWhileOpen();
    if (value == TMMMode::mMultiChannel) return;
    mode_ = value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(TMMBits value) {
    RefuseWhileOpen();
    bits_ = value;
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int32_t value) {
    RefuseWhileOpen();
    sampleRate_ = std::clamp(value, kMinSampleRate, kMaxSampleRate);
    RebuildFormat();
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats value) {
    if (maxRecordTime_ >= 0) {
        const int64_t bytes = LimitBytes();
        const WAVEFORMATEX* f = GetWaveFormat();
        int64_t converted = bytes;
        if (f && bytes != kUnlimited) {
            if (value == TMMTimeFormats::tfMillisecond)
                converted = BytesToMilliseconds(*f, bytes);
            else if (value == TMMTimeFormats::tfSample)
                converted = BytesToSamples(*f, bytes);
        }
        maxRecordTime_ = ClampToInt32(converted);
    }
    timeFormat_ = value;
}

void TMMCustomWaveIn::SetPriority(TThreadPriority value) {
    priority_ = value;
    if (thread_) thread_->SetPriority(value);
}

void TMMCustomWaveIn::RebuildFormat() {
    const WAVEFORMATEX f =
        MakePCMFormat(bits_ == TMMBits::b16Bit ? 16 : 8, mode_ == TMMMode::mStereo ? 2 : 1,
                      static_cast<uint32_t>(sampleRate_));
    TMMDSPComponent::SetWaveFormat(&f);
}

void TMMCustomWaveIn::SetWaveFormat(const WAVEFORMATEX* format) {
    Close();
    if (format && IsValidPCMFormat(format)) {
        bits_ = format->wBitsPerSample == 16 ? TMMBits::b16Bit : TMMBits::b8Bit;
        mode_ = format->nChannels == 2 ? TMMMode::mStereo : TMMMode::mMono;
        sampleRate_ = std::clamp(static_cast<int32_t>(format->nSamplesPerSec), kMinSampleRate,
                                 kMaxSampleRate);
        RebuildFormat();
        return;
    }
    TMMDSPComponent::SetWaveFormat(format);
}

void TMMCustomWaveIn::SetBufferSize(int32_t bytes) {
    RefuseWhileOpen();
    if (bytes == TMMDSPComponent::GetBufferSize()) return;
    Allocator().Empty();
    TMMDSPComponent::SetBufferSize(std::max(bytes, kMinBufferSize));
}

int32_t TMMCustomWaveIn::QueuedCount() const {
    MutexLock guard(lock_);
    return queuedCount_;
}

int64_t TMMCustomWaveIn::LimitBytes() const {
    const WAVEFORMATEX* f = GetWaveFormat();
    if (maxRecordTime_ < 0 || !f) return kUnlimited;
    int64_t bytes = maxRecordTime_;
    if (timeFormat_ == TMMTimeFormats::tfMillisecond)
        bytes = MillisecondsToBytes(*f, maxRecordTime_);
    else if (timeFormat_ == TMMTimeFormats::tfSample)
        bytes = SamplesToBytes(*f, maxRecordTime_);
    if (bytes < 0 || bytes > kUnlimited) bytes = kUnlimited;
    if (f->nBlockAlign > 0) bytes -= bytes % f->nBlockAlign;
    return bytes;
}

// ---- format check ---------------------------------------------------------------

WaveInResult TMMCustomWaveIn::ProbeFormat(const WAVEFORMATEX& format) {
    if (!backend_ || deviceID_ < -1 || deviceID_ >= numDevs_) return kWaveInBadFormat;
    WaveInHandle probe = 0;
    // A device that cannot be opened at all (unplugged, busy) says why;
    // only a format it refuses is the format's fault.
    const WaveInResult result = backend_->Open(&probe, deviceID_, format, {}, true);
    if (result != kWaveInOk) return result;
    if (format.wFormatTag == WAVE_FORMAT_PCM && capsValid_ && caps_.hasFormatMask) {
        const uint32_t flag = FlagFor(format);
        if (flag != 0 && (caps_.formats & flag) == 0) return kWaveInBadFormat;
    }
    return kWaveInOk;
}

std::string TMMCustomWaveIn::ProbeError(WaveInResult result) {
    const std::string text =
        result == kWaveInBadFormat ? LoadResString(msg::CantRecordFormat) : ErrorText(result);
    return StepError("WaveInOpen", text);
}

std::string TMMCustomWaveIn::OpenRefusal() {
    if (numDevs_ <= 0 || !backend_) return LoadResString(msg::NoRecordingDevice);
    if (deviceID_ == -2) return LoadResString(msg::InvalidDeviceID);
    if (!GetWaveFormat()) return LoadResString(msg::InvalidWaveFormat);
    if (StateIsOpen()) return {};
    const WaveInResult probe = ProbeFormat(*GetWaveFormat());
    return probe == kWaveInOk ? std::string() : ProbeError(probe);
}

void TMMCustomWaveIn::RescanDevices() {
    RefuseWhileOpen();
    if (backend_) backend_->Rescan();
    ReadDevices();
    ApplyDeviceID(requestedDeviceID_);
}

std::string TMMCustomWaveIn::LastErrorText() {
    return lastError_ == kWaveInOk ? std::string() : ErrorText(lastError_);
}

// ---- Open ---------------------------------------------------------------------------

void TMMCustomWaveIn::Open() {
    if (numDevs_ <= 0 || !backend_) RaiseError(LoadResString(msg::NoRecordingDevice));
    if (deviceID_ == -2) RaiseError(LoadResString(msg::InvalidDeviceID));
    if (!GetWaveFormat()) RaiseError(LoadResString(msg::InvalidWaveFormat));
    if (StateIsOpen()) Close();
    if (StateIsOpen() || closing_) return;
    try {
        OpenSteps();
    } catch (...) {
        ReportError(std::current_exception());
        SetStateBits(wisOpen);
        Close();
        StoreState(wisClosed);
        throw;
    }
}

void TMMCustomWaveIn::OpenSteps() {
    {
        MutexLock guard(lock_);
        stopping_ = resetting_ = stopPending_ = stopPosted_ = false;
    }
    closing_ = false;
    if (const WaveInResult probe = ProbeFormat(*GetWaveFormat()); probe != kWaveInOk) {
        lastError_ = probe;
        Fail(ProbeError(probe));
    }
    handle_ = 0;
    closePending_ = false;
    const uint64_t session = ++session_;
    // Buffers of an earlier session still queued are void from now on.
    buffersOwner_.SetGeneration(session);
    openedNote_.store(false);
    closedNote_.store(false);
    if (callBackMode_ == TMMCBMode::cmThread) StartThread();

    WaveInHandle handle = 0;
    Check("WaveInOpen",
          backend_->Open(
              &handle, deviceID_, *GetWaveFormat(),
              [this, session](WaveInMessage m, WAVEHDR* h) { Notify(session, m, h); }, false));
    handle_ = handle;

    // The segment opens with the device state closed, so that a member that
    // adjusts this component's properties from its Opened is not refused.
    const uint32_t saved = ExchangeState(wisClosed);
    try {
        TMMCustomSoundComponent::Opened();
    } catch (...) {
        StoreState(saved);
        throw;
    }
    StoreState(saved);

    for (int i = 0; i < kNoteRounds && !openedNote_.load(); ++i) std::this_thread::sleep_for(kTick);
    if (!openedNote_.load()) Fail(StepError("WaveInOpen", LoadResString(msg::UnableToOpen)));
    StoreState(wisOpen);

    const auto size = static_cast<uint32_t>(GetBufferSize());
    try {
        buffers_.reserve(static_cast<size_t>(numBuffers_));
        for (int32_t i = 0; i < numBuffers_; ++i)
            buffers_.push_back(Allocator().AllocStreamBuffer(size));
    } catch (const std::bad_alloc&) {
        Fail(LoadResString(msg::HeaderAllocFailed));
    }
    prepared_.assign(buffers_.size(), false);
    for (size_t i = 0; i < buffers_.size(); ++i) {
        Check("WaveInPrepareHeader", backend_->PrepareHeader(handle_, &buffers_[i]->wh));
        prepared_[i] = true;
        // Done marks a buffer that the device does not hold.
        buffers_[i]->wh.dwFlags |= WHDR_DONE;
    }
    Fire(OnOpen);
}

void TMMCustomWaveIn::Notify(uint64_t session, WaveInMessage message, WAVEHDR* header) {
    // Back end's thread (or the main thread inside a back-end call): only
    // record or post.
    switch (message) {
        case WaveInMessage::Opened:
            openedNote_.store(true);
            break;
        case WaveInMessage::Closed:
            closedNote_.store(true);
            break;
        case WaveInMessage::Data:
            if (callBackMode_ == TMMCBMode::cmThread) {
                if (thread_) thread_->Post(header, session);
            } else {
                buffersOwner_.Post(session, [this, header, session] {
                    try {
                        HandleBufferDone(header);
                    } catch (...) {
                        HandlerFailed(std::current_exception(), session, session_);
                    }
                });
            }
            break;
        case WaveInMessage::Lost:
            buffersOwner_.Post(session, [this] { DeliverLosses(); });
            break;
        case WaveInMessage::Failed:
            buffersOwner_.Post(session, [this, session] { DeviceFailed(session); });
            break;
    }
}

void TMMCustomWaveIn::DeviceFailed(uint64_t session) {
    if (!handle_ || !backend_) return;
    const WaveInResult code = backend_->CaptureFailure(handle_);
    if (code == kWaveInOk) return;
    lastError_ = code;
    // As a failure inside a buffer handler: OnError, the capture stops and
    // closes (OnStop, OnClose), and the general error display shows why.
    std::exception_ptr error =
        std::make_exception_ptr(EMMWaveInError(StepError("WaveInRecord", ErrorText(code))));
    ReportError(error);
    HandlerFailed(std::move(error), session, session_);
}

void TMMCustomWaveIn::DeliverLosses() {
    if (!handle_ || !backend_) return;
    std::vector<WaveInLoss> losses;
    backend_->TakeLosses(handle_, losses);
    for (const WaveInLoss& loss : losses) {
        lostFrames_ += loss.frames;
        ++lossCount_;
        if (OnLoss) OnLoss(this, loss);
    }
}

void TMMCustomWaveIn::StartThread() {
    try {
        thread_ = std::make_unique<TMMWaveInThread>(
            this, [this](WAVEHDR* h, uint64_t s) { return OnThreadBuffer(h, s); }, priority_);
        thread_->Resume();
    } catch (const std::system_error&) {
        thread_.reset();
        Fail(StepError("WaveIn", LoadResString(msg::CouldNotCreateThread)));
    }
    TMMWaveInThread* t = thread_.get();
    if (!TMMDSPThread::WaitOnMainThread([t] { return t->HasStarted(); }, kThreadWait)) {
        EndThread();
        Fail(StepError("WaveIn", LoadResString(msg::CouldNotCreateThread)));
    }
}

void TMMCustomWaveIn::EndThread() {
    if (!thread_) return;
    thread_->RequestEnd();
    thread_->WaitFor(kThreadWait);
    // A worker still inside a handler after the wait is waited for without
    // limit here: it uses this component.
    thread_.reset();
}

// ---- TMMWaveIn ----------------------------------------------------------------------

TMMWaveIn::TMMWaveIn(std::string name) : TMMCustomWaveIn(std::move(name)) {
    InitBackend();
}

void TMMWaveIn::BindBackend() {
    BindBackendInstance(std::make_unique<AlsaWaveInBackend>());
}

}  // namespace zt
