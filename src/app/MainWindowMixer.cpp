// The sound card and its mixer in the main window: the card list and the
// mixer device that follows it, the three mixer lines with their controls,
// the recording-input list, the two knobs and the monitor switch.
//
// The mixer never holds up recording: a mixer that cannot be opened or a
// card whose mixer has no such line leaves the controls disabled, and the
// error goes to the event log; the capture device is chosen apart from it.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainWindow.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "mixer/SoundSettings.h"
#include "mixer/alsa/AlsaMixerBackend.h"
#include "mixer/ui/DeviceComboBox.h"
#include "mixer/ui/MixerCheckBox.h"
#include "mixer/ui/MixerWheel.h"
#include "mixer/ui/WheelArt.h"
#include "platform/ErrorDisplay.h"
#include "platform/EventLog.h"
#include "platform/ui/Named.h"

namespace zt {

namespace {

// The mixer devices are the control devices of the capture devices, in the
// same order and with the same names.
std::vector<AlsaMixerDevice> MixerDevicesOf(TMMWaveIn& waveIn) {
    std::vector<AlsaMixerDevice> devices;
    if (const auto* alsa = dynamic_cast<const AlsaWaveInBackend*>(waveIn.Backend()))
        for (const AlsaPcmDevice& d : alsa->Devices())
            devices.push_back({d.pcmName, d.displayName});
    return devices;
}

// Runs a mixer step; an error of the mixer is written to the event log and
// ends only that step.
template <class F>
void MixerStep(const char* what, F&& step) {
    try {
        step();
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        LogEvent(std::string("Mixer (") + what + "): " + e.what());
    }
}

}  // namespace

void TFrmGravar::BuildMixer(QWidget* panel, QGridLayout* grid) {
    mixerBackend_ = std::make_unique<AlsaMixerBackend>(MixerDevicesOf(waveIn_));
    PlacaDevice = std::make_unique<TMMMixerDevice>(*mixerBackend_);
    PlacaDevice->setObjectName("PlacaDevice");
    PlacaDevice->SetActive(PlacaDevice->IsValidDevice());
    PlacaDevice->OnChange = [this](TMMCustomAudioDevice*) { PlacaDeviceChange(); };

    AudioGravacao = std::make_unique<TMMAudioLine>();
    AudioGravacao->setObjectName("AudioGravacao");
    AudioGravacao->SetMixer(PlacaDevice.get());
    AudioGravacao->SetComponentType(TMMComponentType::ctDstWaveIn);
    AudioLineInRec = std::make_unique<TMMAudioLine>();
    AudioLineInRec->setObjectName("AudioLineInRec");
    AudioLineInRec->SetMixer(PlacaDevice.get());
    AudioLineInRec->SetComponentType(TMMComponentType::ctSrcLine);
    AudioLineInRec->SetDestLine(AudioGravacao.get());
    AudioLineIn = std::make_unique<TMMAudioLine>();
    AudioLineIn->setObjectName("AudioLineIn");
    AudioLineIn->SetMixer(PlacaDevice.get());
    AudioLineIn->SetComponentType(TMMComponentType::ctSrcLine);

    MixerLineInRec = std::make_unique<TMMMixerControl>();
    MixerLineInRec->setObjectName("MixerLineInRec");
    MixerLineInRec->SetAudioLine(AudioGravacao.get());
    MixerLineInRec->SetControlType(TMMControlType::ctMux);
    ControleVolumeRec = std::make_unique<TMMVolumeControl>();
    ControleVolumeRec->setObjectName("ControleVolumeRec");
    ControleVolumeRec->SetAudioLine(AudioLineInRec.get());
    MixerLineIn = std::make_unique<TMMMixerControl>();
    MixerLineIn->setObjectName("MixerLineIn");
    MixerLineIn->SetAudioLine(AudioLineIn.get());
    MixerLineIn->SetControlType(TMMControlType::ctMute);
    ControlVolume = std::make_unique<TMMVolumeControl>();
    ControlVolume->setObjectName("ControlVolume");
    ControlVolume->SetAudioLine(AudioLineIn.get());

    // The mixer list: never shown, it ties a card of the list to its mixer.
    ComboPlaca = Named(new TMMDeviceComboBox(panel), "ComboPlaca");
    ComboPlaca->SetIncludeMapper(false);
    ComboPlaca->SetDevice(PlacaDevice.get());
    ComboPlaca->hide();
    ComboPlaca->OnChange = [this](TMMDeviceComboBox*) { ComboPlacaChange(); };

    CBPlacas = Named(new QComboBox(panel), "CBPlacas");
    CBControle = Named(new QComboBox(panel), "CBControle");
    grid->addWidget(Named(new QLabel("Placa:", panel), "LabelPlaca"), 0, 0);
    grid->addWidget(CBPlacas, 0, 1, 1, 2);
    grid->addWidget(Named(new QLabel("Controle:", panel), "LabelControle"), 1, 0);
    grid->addWidget(CBControle, 1, 1, 1, 2);
    connect(CBPlacas, &QComboBox::activated, this, Guard([this] { CBPlacasChange(); }));
    connect(CBControle, &QComboBox::activated, this, Guard([this] { CBControleSelect(); }));

    auto* volume = Named(new QGroupBox("Volume: ", panel), "GroupVolume");
    // The knobs are drawn for a dark equipment panel: white ticks.
    volume->setStyleSheet(
        "QGroupBox#GroupVolume { background: #202124; border: 1px solid #111; border-radius: 4px;"
        " margin-top: 1.2em; }"
        "QGroupBox#GroupVolume::title { subcontrol-origin: margin; left: 4px; }"
        "QGroupBox#GroupVolume QLabel { color: #e8e8e8; }");
    auto* knobs = new QGridLayout(volume);
    Volume = Named(new TMMMixerWheel(volume), "Volume");
    ApplyPanelKnobStyle(*Volume, WheelFace::Recording);
    Volume->SetControl(ControleVolumeRec.get());
    MMMixerWheel1 = Named(new TMMMixerWheel(volume), "MMMixerWheel1");
    ApplyPanelKnobStyle(*MMMixerWheel1, WheelFace::Monitor);
    MMMixerWheel1->SetControl(ControlVolume.get());
    knobs->addWidget(Volume, 0, 0, Qt::AlignHCenter);
    knobs->addWidget(MMMixerWheel1, 0, 1, Qt::AlignHCenter);
    knobs->addWidget(Named(new QLabel(QString::fromUtf8("Gravação"), volume), "LabelGravacao"), 1,
                     0, Qt::AlignHCenter);
    knobs->addWidget(Named(new QLabel("Retorno", volume), "LabelRetorno"), 1, 1, Qt::AlignHCenter);
    grid->addWidget(volume, 2, 0, 3, 2);

    CBLineIn = Named(new TMMMixerCheckBox(panel), "CBLineIn");
    CBLineIn->SetAutoCaption(false);
    CBLineIn->setText("Desativar retorno");
    CBLineIn->SetControl(MixerLineIn.get());
    CBLineIn->SetItemLine(AudioLineIn.get());
    grid->addWidget(CBLineIn, 2, 2);

    // The recording selector's item for the chosen input: never shown; the
    // input list takes its caption and ticking it selects the input.
    CBLineInRec = Named(new TMMMixerCheckBox(panel), "CBLineInRec");
    CBLineInRec->SetControl(MixerLineInRec.get());
    CBLineInRec->SetItemLine(AudioLineInRec.get());
    CBLineInRec->hide();

    BDefinirControles = Named(new QPushButton("Definir Controles", panel), "BDefinirControles");
    BDefinirControles->setCursor(Qt::PointingHandCursor);
    grid->addWidget(BDefinirControles, 4, 2);
    connect(BDefinirControles, &QPushButton::clicked, this,
            Guard([this] { BDefinirControlesClick(); }));

    // Everything is linked: now the components resolve, devices first, as
    // a window description does when it has been read. Each one on its own,
    // so that a mixer that fails leaves the rest working.
    for (TMMLoadable* c : std::initializer_list<TMMLoadable*>{
             PlacaDevice.get(), AudioGravacao.get(), AudioLineInRec.get(), AudioLineIn.get(),
             MixerLineInRec.get(), ControleVolumeRec.get(), MixerLineIn.get(), ControlVolume.get(),
             ComboPlaca, Volume, MMMixerWheel1, CBLineIn, CBLineInRec})
        MixerStep("start", [c] { c->Loaded(); });
}

void TFrmGravar::FillCardList() {
    CBPlacas->clear();
    for (int32_t i = 0; i < waveIn_.NumDevs(); ++i) {
        waveIn_.SetDeviceID(i);
        CBPlacas->addItem(QString::fromStdString(waveIn_.GetProductName()));
    }
}

void TFrmGravar::CBPlacasChange() {
    // A card of that name drives its own inputs; its mixer is left alone.
    if (CBPlacas->currentText() == "OmniaAX") return;
    ComboPlaca->setCurrentIndex(ComboPlaca->findText(CBPlacas->currentText(), Qt::MatchExactly));
    ComboPlacaChange();
}

void TFrmGravar::ComboPlacaChange() {
    PlacaDevice->SetActive(false);
    AudioGravacao->SetMixer(nullptr);
    AudioLineInRec->SetMixer(nullptr);
    AudioLineIn->SetMixer(nullptr);
    PlacaDevice->SetDeviceId(ComboPlaca->currentIndex());
    PlacaDeviceChange();
}

void TFrmGravar::PlacaDeviceChange() {
    AudioGravacao->SetMixer(PlacaDevice.get());
    AudioLineInRec->SetMixer(PlacaDevice.get());
    AudioLineIn->SetMixer(PlacaDevice.get());
    // Without change notifications the controls still work; the input list
    // is filled either way. With no mixer at all there is nothing to open
    // and nothing to report.
    if (PlacaDevice->IsValidDevice()) MixerStep("open", [this] { PlacaDevice->SetActive(true); });
    FillInputList();
}

void TFrmGravar::FillInputList() {
    CBControle->clear();
    lineTypes_.clear();
    for (int t = 0; t < kComponentTypeCount; ++t) {
        AudioLineInRec->SetComponentType(TMMComponentType(t));
        if (AudioLineInRec->LineId() == -1) continue;
        // The selector's name for the input; a card without a selector item
        // for it lists the line under its own name.
        const QString caption = CBLineInRec->isEnabled()
                                    ? CBLineInRec->text()
                                    : QString::fromStdString(AudioLineInRec->LineInfo().Name());
        CBControle->addItem(caption);
        lineTypes_.push_back(TMMComponentType(t));
    }
    // A list box selects its first item by itself; the list has no
    // selection until an input is chosen or the settings are applied.
    CBControle->setCurrentIndex(-1);
}

void TFrmGravar::CBControleSelect() {
    const int index = CBControle->currentIndex();
    if (index < 0 || size_t(index) >= lineTypes_.size()) return;
    const TMMComponentType type = lineTypes_[size_t(index)];
    AudioLineIn->SetComponentType(type);
    AudioLineInRec->SetComponentType(type);
    CBLineInRec->SetChecked(true);
}

void TFrmGravar::BDefinirControlesClick() {
    OpenSoundSettings();
}

// ---- the card and input steps of the settings -------------------------------------

int TFrmGravar::SoundCardCount() const {
    return CBPlacas->count();
}

void TFrmGravar::SelectSoundCard(int placa) {
    CBPlacas->setCurrentIndex(placa >= 0 && placa < CBPlacas->count() ? placa : -1);
    MixerStep("card", [this] { CBPlacasChange(); });
}

void TFrmGravar::ChooseDevices(int captureDevice, int mixerDevice) {
    waveIn_.SetDeviceID(captureDevice);
    MixerStep("card", [&] { PlacaDevice->SetDeviceId(mixerDevice); });
}

void TFrmGravar::SelectRecordingInput(int controle) {
    // A saved input beyond the list (the card offers fewer inputs now)
    // selects nothing and leaves the card's inputs as they are.
    CBControle->setCurrentIndex(controle >= 0 && controle < CBControle->count() ? controle : -1);
    MixerStep("input", [this] { CBControleSelect(); });
}

void TFrmGravar::TickRecordingInputCheckBox() {
    MixerStep("input", [this] { CBLineInRec->SetChecked(true); });
}

}  // namespace zt
