#include "mixer/ui/DeviceComboBox.h"

#include <string>
#include <vector>

#include "platform/ErrorDisplay.h"

namespace zt {

TMMDeviceComboBox::TMMDeviceComboBox(QWidget* parent)
    : QComboBox(parent), deviceObserver_([this](const TMMNotification&) { Refill(); }) {
    setEditable(false);
    // activated is the user's choice alone; a selection made by code or by a
    // refill does not emit it.
    connect(this, &QComboBox::activated, this, Guard([this] { Change(); }));
}

TMMDeviceComboBox::~TMMDeviceComboBox() = default;

void TMMDeviceComboBox::SetDevice(TMMCustomAudioDevice* device) {
    if (device_) device_->Unsubscribe(deviceObserver_);
    device_ = device;
    if (device_) device_->Subscribe(deviceObserver_);
    Refill();
}

void TMMDeviceComboBox::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Refill();
}

void TMMDeviceComboBox::SetIncludeMapper(bool includeMapper) {
    includeMapper_ = includeMapper;
    Refill();
}

QStringList TMMDeviceComboBox::Items() const {
    QStringList items;
    for (int i = 0; i < count(); ++i) items << itemText(i);
    return items;
}

void TMMDeviceComboBox::Loaded() {
    TMMLoadable::Loaded();
    Refill();
}

void TMMDeviceComboBox::Refill() {
    if (IsLoading() || inChange_) return;
    const bool allowed = enabled_ && device_;
    setEnabled(allowed);
    clear();
    if (allowed) {
        std::vector<std::string> names;
        device_->ListDevices(names, includeMapper_);
        for (const std::string& name : names) addItem(QString::fromStdString(name));
    }
    int index = -1;
    if (device_)
        index = includeMapper_ && device_->Mapper() ? device_->DeviceId() + 1 : device_->DeviceId();
    setCurrentIndex(index < count() ? index : -1);
    setEnabled(count() > 0);
}

void TMMDeviceComboBox::Change() {
    if (OnChange) OnChange(this);
    const bool outer = inChange_;
    inChange_ = true;
    struct Restore {
        bool& flag;
        bool value;
        ~Restore() { flag = value; }
    } restore{inChange_, outer};
    const int index = currentIndex();
    if (device_ && index >= 0)
        device_->SetDeviceId(includeMapper_ && device_->Mapper() ? index - 1 : index);
}

}  // namespace zt
