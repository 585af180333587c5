// Wave-in component: every failed platform step is reported with its step
// name and the back end's text, OnError fires once, and the component is
// left closed with its chain. The real ALSA back end runs underneath; a
// thin wrapper makes chosen operations fail or swallows a notification.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "platform/ResStrings.h"
#include "support/AlsaFixture.h"
#include "support/ScriptedDialogs.h"

namespace zt::test {
namespace {

// Forwards to the ALSA back end; an operation named in `failures` fails
// with the given code (once, when `once` is set) without reaching ALSA.
class FaultyBackend : public WaveInBackend {
public:
    explicit FaultyBackend(std::vector<AlsaPcmDevice> devices) : alsa_(std::move(devices)) {}

    std::map<std::string, WaveInResult> failures;
    bool once = false;
    bool swallowOpened = false;
    bool swallowClosed = false;

    int NumDevs() override { return alsa_.NumDevs(); }
    WaveInResult GetDevCaps(int id, WaveInCaps& caps) override {
        return alsa_.GetDevCaps(id, caps);
    }
    bool ErrorText(WaveInResult code, std::string& text) override {
        return alsa_.ErrorText(code, text);
    }
    WaveInResult Open(WaveInHandle* handle, int id, const WAVEFORMATEX& format, WaveInNotify notify,
                      bool queryOnly) override {
        if (queryOnly) return alsa_.Open(handle, id, format, notify, true);
        if (WaveInResult r = Fault("Open")) return r;
        WaveInNotify filtered = [this, notify](WaveInMessage m, WAVEHDR* h) {
            if (m == WaveInMessage::Opened && swallowOpened) return;
            if (m == WaveInMessage::Closed && swallowClosed) return;
            notify(m, h);
        };
        return alsa_.Open(handle, id, format, filtered, false);
    }
    WaveInResult Close(WaveInHandle h) override {
        if (WaveInResult r = Fault("Close")) return r;
        return alsa_.Close(h);
    }
    WaveInResult PrepareHeader(WaveInHandle h, WAVEHDR* b) override {
        if (WaveInResult r = Fault("PrepareHeader")) return r;
        return alsa_.PrepareHeader(h, b);
    }
    WaveInResult UnprepareHeader(WaveInHandle h, WAVEHDR* b) override {
        if (WaveInResult r = Fault("UnprepareHeader")) return r;
        return alsa_.UnprepareHeader(h, b);
    }
    WaveInResult AddBuffer(WaveInHandle h, WAVEHDR* b) override {
        if (WaveInResult r = Fault("AddBuffer")) return r;
        return alsa_.AddBuffer(h, b);
    }
    WaveInResult Start(WaveInHandle h) override {
        if (WaveInResult r = Fault("Start")) return r;
        return alsa_.Start(h);
    }
    WaveInResult Stop(WaveInHandle h) override {
        if (WaveInResult r = Fault("Stop")) return r;
        return alsa_.Stop(h);
    }
    WaveInResult Reset(WaveInHandle h) override {
        if (WaveInResult r = Fault("Reset")) return r;
        return alsa_.Reset(h);
    }
    WaveInResult GetPosition(WaveInHandle h, WaveInPosition& p) override {
        if (WaveInResult r = Fault("GetPosition")) return r;
        return alsa_.GetPosition(h, p);
    }

private:
    WaveInResult Fault(const std::string& op) {
        auto it = failures.find(op);
        if (it == failures.end()) return kWaveInOk;
        const WaveInResult r = it->second;
        if (once) failures.erase(it);
        return r;
    }
    AlsaWaveInBackend alsa_;
};

class WaveInFailure : public ::testing::Test {
protected:
    WaveInFailure() : fx_(FrameCounterSignal(44100 * 3)) {
        auto backend = std::make_unique<FaultyBackend>(fx_.Devices());
        backend_ = backend.get();
        wave_ = std::make_unique<TMMCustomWaveIn>("WaveIn");
        wave_->SetBackend(std::move(backend));
        UseRecorderFormat(*wave_);
        wave_->SetOutput(&sink_);
        wave_->OnError = [this](TMMDSPComponent*) { ++errors_; };
        wave_->OnStop = [this](TMMDSPComponent*) { ++stops_; };
    }
    ~WaveInFailure() override { wave_.reset(); }

    // Runs op, which must throw EMMWaveInError; returns its text.
    static std::string ErrorOf(const std::function<void()>& op) {
        try {
            op();
        } catch (const EMMWaveInError& e) {
            return e.what();
        }
        return "(no error)";
    }

    void ExpectClosed() {
        EXPECT_EQ(wave_->DeviceState(), TMMCustomWaveIn::wisClosed);
        EXPECT_EQ(wave_->Handle(), 0u);
        EXPECT_FALSE(wave_->IsStarted());
        EXPECT_FALSE(sink_.IsOpened());
    }

    AlsaFixture fx_;
    RecordingSink sink_;
    FaultyBackend* backend_ = nullptr;
    std::unique_ptr<TMMCustomWaveIn> wave_;
    int errors_ = 0;
    int stops_ = 0;
};

TEST_F(WaveInFailure, EachFailedStepOfStartNamesTheStepAndLeavesItClosed) {
    struct Case {
        const char* op;
        WaveInResult code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"Open", kWaveInInvalidParam, "WaveInOpen:\n\rAn invalid parameter was passed."},
        {"PrepareHeader", kWaveInNoMemory,
         "WaveInPrepareHeader:\n\rNot enough memory for the capture device."},
        {"AddBuffer", kWaveInUnprepared, "WaveInAddBuffer:\n\rThe buffer has not been prepared."},
        {"Start", kWaveInInvalidHandle, "WaveInStart:\n\rThe device handle is invalid."},
        // A code the back end has no text for.
        {"Start", 0x7777, "WaveInStart:\n\r" + LoadResString(28086)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        errors_ = 0;
        backend_->failures = {{c.op, c.code}};
        EXPECT_EQ(ErrorOf([&] { wave_->Start(); }), c.message);
        EXPECT_EQ(errors_, 1);
        ExpectClosed();
        // Once the fault is gone the same component records again.
        backend_->failures.clear();
        wave_->Start();
        EXPECT_TRUE(wave_->IsStarted());
        wave_->Close();
        ExpectClosed();
    }
}

TEST_F(WaveInFailure, MissingOpenedNotification) {
    backend_->swallowOpened = true;
    EXPECT_EQ(ErrorOf([&] { wave_->Open(); }), "WaveInOpen:\n\rUnable to open device");
    EXPECT_EQ(errors_, 1);
    ExpectClosed();
}

TEST_F(WaveInFailure, MissingClosedNotificationIsReportedButNotRaised) {
    backend_->swallowClosed = true;
    wave_->Open();
    wave_->Close();  // does not throw
    EXPECT_EQ(errors_, 1);
    ExpectClosed();
}

TEST_F(WaveInFailure, FailedStopClosesTheCapture) {
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 2; }));
    backend_->once = true;
    backend_->failures = {{"Stop", kWaveInInvalidHandle}};
    EXPECT_EQ(ErrorOf([&] { wave_->Stop(); }), "WaveInStop:\n\rThe device handle is invalid.");
    EXPECT_EQ(errors_, 1);
    EXPECT_EQ(stops_, 1);
    ExpectClosed();
}

TEST_F(WaveInFailure, FailedRequeueEndsTheRecordingAndIsShown) {
    ScriptedDialogs dialogs;
    wave_->Start();
    ASSERT_TRUE(RunUntil([&] { return sink_.BufferCount() >= 2; }));
    backend_->once = true;
    backend_->failures = {{"GetPosition", kWaveInInvalidHandle}};
    ASSERT_TRUE(RunUntil([&] { return wave_->DeviceState() == TMMCustomWaveIn::wisClosed; }));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "WaveInGetPosition:\n\rThe device handle is invalid.");
    EXPECT_EQ(errors_, 1);
    EXPECT_EQ(stops_, 1);
    ExpectClosed();
}

}  // namespace
}  // namespace zt::test
