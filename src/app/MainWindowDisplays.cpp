#include "app/MainWindowDisplays.h"
#include "app/MainWindowDisplaySetUp.h"

namespace zt {

TMainWindowDisplays::TMainWindowDisplays() {
    SetUpMainWindowLevel(MMLevel1, TMMChannel::chLeft);
    SetUpMainWindowLevel(MMLevel2, TMMChannel::chRight);
    SetUpMainWindowLevelScale(MMLevelScale1);
    SetUpMainWindowMeter(MMMeter2, TMMChannel::chLeft);
    SetUpMainWindowMeter(MMMeter1, TMMChannel::chRight);
    SetUpMainWindowOscope(MMOscope2);
    SetUpMainWindowSpectrum(MMSpectrum2);
}

std::array<TMainWindowDisplays::Fed, 6> TMainWindowDisplays::FedDisplays() {
    return {{{TMMConnectorSlot::Level1, &MMLevel1, &MMLevel1},
             {TMMConnectorSlot::Level2, &MMLevel2, &MMLevel2},
             {TMMConnectorSlot::Meter1, &MMMeter1, &MMMeter1},
             {TMMConnectorSlot::Meter2, &MMMeter2, &MMMeter2},
             {TMMConnectorSlot::Oscope1, &MMOscope2, &MMOscope2},
             {TMMConnectorSlot::Spectrum1, &MMSpectrum2, &MMSpectrum2}}};
}

void TMainWindowDisplays::Connect(TMMConnector& connector) {
    for (const Fed& f : FedDisplays()) connector.SetDisplay(f.slot, f.target);
}

}  // namespace zt
