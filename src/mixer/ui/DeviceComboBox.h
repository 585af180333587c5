#pragma once
// A drop-down list of the devices of a device component: the mapper first
// when asked for (IncludeMapper) and the kind has one, then every device by
// number; the current DeviceId selected.
//
// It refills itself when Device, Enabled or IncludeMapper is set, after
// loading, and on every change of device the component reports. A user's
// choice fires OnChange first, then sets the device's DeviceId (with the
// refill held back meanwhile); an error of that goes to the general error
// display. Setting ItemIndex from code only selects.
//
// Threads: main thread only.

#include <QComboBox>
#include <QPointer>
#include <functional>

#include "mixer/AudioDevice.h"
#include "mixer/MixerComponent.h"
#include "mixer/Notifier.h"

namespace zt {

class TMMDeviceComboBox : public QComboBox, public TMMLoadable {
public:
    explicit TMMDeviceComboBox(QWidget* parent = nullptr);
    ~TMMDeviceComboBox() override;

    TMMCustomAudioDevice* Device() const { return device_; }
    void SetDevice(TMMCustomAudioDevice* device);

    // The permission to be enabled (the box's state is Qt's isEnabled()).
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    bool IncludeMapper() const { return includeMapper_; }
    void SetIncludeMapper(bool includeMapper);

    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index) { setCurrentIndex(index); }
    QStringList Items() const;

    void Loaded() override;
    void Refill();

    std::function<void(TMMDeviceComboBox* sender)> OnChange;

protected:
    // A user's choice.
    virtual void Change();

private:
    QPointer<TMMCustomAudioDevice> device_;
    TMMObserver deviceObserver_;
    bool enabled_ = true;
    bool includeMapper_ = true;
    bool inChange_ = false;
};

}  // namespace zt
