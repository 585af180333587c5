#pragma once
// Chain members for the component-model tests: a passive member and a
// driver, both writing every notification they receive into a shared log
// ("name:Notification"), in the order the notifications arrive.

#include <string>
#include <vector>

#include "audio/chain/DSPComponent.h"
#include "audio/chain/SoundComponent.h"

namespace zt::test {

using NoteLog = std::vector<std::string>;

class PassiveNode : public TMMDSPComponent {
public:
    explicit PassiveNode(std::string name, NoteLog* log = nullptr, bool inputSide = true,
                         bool outputSide = true)
        : TMMDSPComponent(std::move(name)),
          log_(log),
          inputSide_(inputSide),
          outputSide_(outputSide) {}

    bool HasInputSide() const override { return inputSide_; }
    bool HasOutputSide() const override { return outputSide_; }

    void SetBufferSize(int32_t bytes) override {
        sizesReceived.push_back(bytes);
        TMMDSPComponent::SetBufferSize(bytes);
    }
    void Opened() override {
        Note("Opened", [this] { TMMDSPComponent::Opened(); });
    }
    void Closed() override {
        Note("Closed", [this] { TMMDSPComponent::Closed(); });
    }
    void Started() override {
        Note("Started", [this] { TMMDSPComponent::Started(); });
    }
    void Paused() override {
        Note("Paused", [this] { TMMDSPComponent::Paused(); });
    }
    void Restarted() override {
        Note("Restarted", [this] { TMMDSPComponent::Restarted(); });
    }
    void Stopped() override {
        Note("Stopped", [this] { TMMDSPComponent::Stopped(); });
    }
    void Reset() override {
        Note("Reset", [this] { TMMDSPComponent::Reset(); });
    }

    std::vector<int32_t> sizesReceived;

private:
    template <class F>
    void Note(const char* what, F base) {
        if (log_) log_->push_back(Name() + ":" + what);
        base();
    }
    NoteLog* log_;
    bool inputSide_, outputSide_;
};

// A driver logs its own notification after its segment has been served
// (when its base operation runs), so the log shows the dispatch order.
class TestDriver : public TMMCustomSoundComponent {
public:
    explicit TestDriver(std::string name, NoteLog* log = nullptr)
        : TMMCustomSoundComponent(std::move(name)), log_(log) {}

    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    void Opened() override {
        Then("Opened", [this] { TMMCustomSoundComponent::Opened(); });
    }
    void Closed() override {
        Then("Closed", [this] { TMMCustomSoundComponent::Closed(); });
    }
    void Started() override {
        Then("Started", [this] { TMMCustomSoundComponent::Started(); });
    }
    void Paused() override {
        Then("Paused", [this] { TMMCustomSoundComponent::Paused(); });
    }
    void Restarted() override {
        Then("Restarted", [this] { TMMCustomSoundComponent::Restarted(); });
    }
    void Stopped() override {
        Then("Stopped", [this] { TMMCustomSoundComponent::Stopped(); });
    }
    void Reset() override {
        Then("Reset", [this] { TMMCustomSoundComponent::Reset(); });
    }

    void SetNumBuffers(int32_t value) override { numBuffers_ = value; }
    int32_t GetNumBuffers() const override { return numBuffers_; }
    void SetDeviceID(int32_t value) override { deviceID_ = value; }
    int32_t GetDeviceID() const override { return deviceID_; }
    void SetProductName(const std::string& value) override { productName_ = value; }
    std::string GetProductName() const override { return productName_; }
    void SetCallBackMode(TMMCBMode value) override { mode_ = value; }
    TMMCBMode GetCallBackMode() const override { return mode_; }

    using TMMCustomSoundComponent::NextSoundComponent;
    using TMMCustomSoundComponent::SegmentStart;

private:
    template <class F>
    void Then(const char* what, F dispatch) {
        dispatch();
        if (log_) log_->push_back(Name() + ":" + what);
    }
    NoteLog* log_;
    int32_t numBuffers_ = 10;
    int32_t deviceID_ = 0;
    std::string productName_;
    TMMCBMode mode_ = TMMCBMode::cmWindow;
};

}  // namespace zt::test
