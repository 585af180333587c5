#pragma once
// The recorder's main window, TFrmGravar. It owns every component of the
// running system (the capture chain, the recording session, the timers,
// the tray icon, the shutdown lock), builds itself in a fixed order at
// creation (FormCreate), refreshes the disk figures whenever it is shown
// (FormShow) and finishes a running recording before the program ends,
// whether the operator closes it, the tray menu's "Fechar" does, the
// desktop session ends or the system sends a termination signal.
//
// Until the skin exists, the window's frame, buttons and panels are plain
// widgets around the live displays (DisplayArea); every component carries
// its own name as its object name and every message the window shows is
// the caption of an invisible label, so translations can reach both.
//
// Threads: main thread only. The capture's notifications, the timers, the
// tray, the session manager's requests and the termination signals (through
// a self-pipe) all arrive through the event loop; every handler runs
// guarded, so no exception leaves it.

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DisplayArea.h"
#include "audio/capture/WaveIn.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "displays/Connector.h"
#include "displays/Gauge.h"
#include "displays/LEDLabel.h"
#include "displays/ui/DisplayView.h"
#include "displays/ui/GaugeView.h"
#include "mixer/AudioLine.h"
#include "mixer/MixerBackend.h"
#include "mixer/MixerControl.h"
#include "mixer/MixerDevice.h"
#include "mixer/MixerTypes.h"
#include "mixer/VolumeControl.h"
#include "platform/ShutdownInhibitor.h"
#include "recorder/CrowleyExport.h"
#include "recorder/RecordingSession.h"
#include "settings/RecorderSettings.h"
#include "settings/SettingsTarget.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSessionManager;
class QTimer;
class QTreeWidget;
class QUrl;
class QWidget;

namespace zt {

class SignalWatcher;
class StartupUpdateCheck;
class PrioritySystem;
class TImageButton;
class TRecordStopControl;
class TSkin;
class TMMDeviceComboBox;
class TMMMixerCheckBox;
class TMMMixerWheel;
class TFolderEdit;
class TTrayIcon;
class TUpDown;

inline constexpr const char* kMainWindowTitle = "Zelta Tresona";
// The title on the face and the maker's label on its plate.
inline constexpr const char* kWindowCaption = "Zelta Tresona 2012";
inline constexpr const char* kMakerName = "zeltatresona.com.br";

// The built-in texts of the window's messages.
inline constexpr const char* kTextNecessarioPararGravacaoFinalizarSistema =
    "É necessário parar a gravação antes de finalizar o sistema!";
inline constexpr const char* kTextNecessarioPararGravacaoAntesDesligarWindows =
    "É necessário parar a gravação antes de desligar o Windows!";
inline constexpr const char* kTextHaNovaAtualizacaoDisponivelDesejaAtualizarAgora =
    "Há uma nova atualização disponível. Deseja atualizar agora?";
inline constexpr const char* kTextOpcaoValidaSomenteParaWindowsXp =
    "Opção válida somente para Windows XP!";
inline constexpr const char* kTextNecessarioPararGravacaoEfetuarAlteracoes =
    "É necessário parar a gravação para efetuar alterações!";
inline constexpr const char* kTextObrigatorioInformarSiglaEmissoraCrowley =
    "É obrigatório informar a sigla da emissora junto a Crowley";
// %s: the address.
inline constexpr const char* kTextNaoPossivelAbrirEndereco =
    "Não foi possível abrir o endereço %s no navegador.";

// The maker's web site, opened by a click on the maker's label.
inline constexpr const char* kMakerWebAddress = "https://www.zeltatresona.com.br/";

// What the window uses from outside that differs between the program and
// its tests.
struct MainWindowServices {
    // The shutdown lock held while recording; null holds none.
    std::unique_ptr<ShutdownInhibitor> inhibitor;
    // Catch SIGTERM, SIGINT and SIGHUP and finish like closing the window.
    bool watchSignals = true;
    // Ends the program once the window has closed; empty: quit the
    // application's event loop.
    std::function<void()> terminate;
    // The capture devices, in place of the ones ALSA lists (the default
    // device, then the cards); the mixer devices follow them.
    std::optional<std::vector<AlsaPcmDevice>> captureDevices;
    // Where the running processes are read from when the priority is
    // raised (a fixture tree in tests).
    std::string procRoot = "/proc";
    // The kernel calls of the raise; null: the kernel itself.
    PrioritySystem* prioritySystem = nullptr;
    // In place of the platform's answer to HasProductInfoApi (the platform
    // generation that records from device 0 and hides the card controls).
    std::optional<bool> productInfoApi;
    // Opens an address in the desktop's browser and tells whether it could;
    // empty: QDesktopServices::openUrl. Called on the main thread.
    std::function<bool(const QUrl&)> openUrl;
};

class TFrmGravar : public QMainWindow, public SettingsTarget, private RecordingView {
    Q_OBJECT
public:
    // Runs FormCreate. Errors of the settings step are shown in a warning
    // box, errors of the later steps by the general error display; the
    // window is created either way.
    explicit TFrmGravar(MainWindowServices services = {}, QWidget* parent = nullptr);
    ~TFrmGravar() override;  // FormDestroy

    // ---- handlers --------------------------------------------------------------------
    void BGravarClick();
    void BStopClick();
    void BSairClick();
    void BOcultarClick();
    void BMinimizarClick();
    // Brings the next panel of the display area to the front.
    void BEqualizadorClick();
    TDisplayArea& Displays() { return *PEqualizadores; }
    void TimerInicioTimer();
    void Gravar1Click();
    void Parar1Click();
    void Fechar1Click();
    // The desktop session asks whether it may end: refused (with the window
    // shown and the message) while recording.
    void QueryEndSessionHandler(QSessionManager& manager);
    // The decision alone: true when idle; while recording it shows the
    // window (and, when `mayAsk`, the message) and answers false.
    bool MayEndSession(bool mayAsk);
    // A termination signal: finish like closing the window.
    void SignalHandler(int signalNumber);
    // The operator picked another language: the window is translated into
    // it and numbered strings come from it; kept for this run until the
    // settings are saved (iIdioma).
    void CBIdiomasChange();
    // Lists a language of the language file in CBIdiomas (the listing
    // callback of LoadLanguage); returns 1 to go on.
    int AddLanguageItem(int32_t lcid);
    // The languages listed, by identifier, in list order.
    QComboBox* LanguageList() { return CBIdiomas; }
    // Opens the update window (its procedure already started when
    // `StartNow`), waits until it closes and records the version it
    // installed in cfg.ini (read at the next start).
    void RunUpdateProcedure(bool StartNow);
    void btnVerificarAtualizacoesClick() { RunUpdateProcedure(false); }
    // The start-up check (null before creation's last step and after closing).
    StartupUpdateCheck* UpdateCheck() { return updateCheck_.get(); }

    // ---- the sound card and its mixer (MainWindowMixer.cpp) -------------------------------
    // The operator picked a card in CBPlacas: its mixer, found by name,
    // becomes PlacaDevice (the capture device follows when the settings are
    // saved or at the next start).
    void CBPlacasChange();
    // Switches PlacaDevice to the mixer at ComboPlaca's index.
    void ComboPlacaChange();
    // PlacaDevice changed device: the lines re-attach, the mixer opens for
    // change notifications and the input list is rebuilt.
    void PlacaDeviceChange();
    // The recording inputs of the card, in line-type order.
    void FillInputList();
    // The operator picked an input in CBControle: both input lines switch to
    // it and it is selected on the card's recording selector.
    void CBControleSelect();
    // The priority box was clicked: refused on a platform that cannot raise
    // a priority; otherwise taken over when the settings are saved.
    void CBPrioridadeClick();
    QCheckBox* PriorityBox() { return CBPrioridade; }
    // Opens the desktop's sound settings.
    void BDefinirControlesClick();

    // ---- the settings panel (MainWindowConfig.cpp, built in MainWindowConfigPanel.cpp) ----
    // PConfig (266 x 217, hidden at first) shows every setting of cfg.ini in
    // place of the status displays. Its controls are loaded from the
    // settings when it opens, and nothing reaches cfg.ini or the running
    // components before "Gravar" (the card, input, levels and language
    // lists act at once, as they always have). Main thread only, like every
    // widget of the window.
    //
    // Shows the settings instead of the status displays, or back; either
    // way the scroll box returns to its top and the format tips close.
    // Recording is not touched.
    void ToggleConfigPanel();
    // "Configurações": toggles the panel and loads its controls from the
    // settings (format, backup, folders, auto-record, days, segment length,
    // export and station code); the card, input, language and priority
    // lists keep what they show. A Formato that is not a number selects no
    // format rather than failing.
    void BConfigClick();
    // "Gravar": every control of the panel saved to cfg.ini, which is loaded
    // and applied again; the panel stays open.
    void BGravaConfigClick();
    // "Voltar": the stored language back, and the displays.
    void BVoltarConfigClick();
    // CBCopia or CBCrowley clicked: the backup folder is editable exactly
    // while the backup is ticked; the station code always is.
    void CBCopiaClick();
    // The segment length's arrows were clicked: while recording the length
    // may not change, which the operator is told; answers whether the arrows
    // may step.
    bool UpDown2Click();
    // EdLocal's browse button was clicked: as UpDown2Click, answers whether
    // the folder may be asked for. Typing into the edit is never refused.
    bool EdLocalBeforeBrowse();
    // "Dicas de Formato": the suggested formats (PFormatos) over the panel;
    // their "Voltar" hides them.
    void SpeedButton1Click();
    void BVoltarFormatosClick();
    // The maker's label: kMakerWebAddress in the desktop's browser; when it
    // cannot be opened, an error box says so.
    void MMLabel2Click();
    // The suggested formats (269 x 216, hidden at first); "Dicas de Formato"
    // shows them at the settings panel's place, over it.
    QWidget* FormatsPanel() { return PFormatos; }
    QComboBox* CardList() { return CBPlacas; }
    QComboBox* InputList() { return CBControle; }
    TMMMixerDevice& Mixer() { return *PlacaDevice; }
    TMMMixerWheel& RecordingKnob() { return *Volume; }
    TMMMixerWheel& MonitorKnob() { return *MMMixerWheel1; }
    TMMMixerCheckBox& MonitorMute() { return *CBLineIn; }
    TMMMixerCheckBox& RecordingInputBox() { return *CBLineInRec; }
    QWidget* ConfigPanel() { return PConfig; }

    // ---- SettingsTarget ----------------------------------------------------------------
    void ApplyEncoderFormat(const EncoderFormatChoice& format) override;
    int SoundCardCount() const override;
    void SelectSoundCard(int placa) override;
    bool IsRecording() const override;
    void ChooseDevices(int captureDevice, int mixerDevice) override;
    void SetSegmentInterval(int milliseconds) override;
    void TickPriorityCheckBox() override;
    void RaiseOwnProcessPriority() override;
    void SelectRecordingInput(int controle) override;
    void TickRecordingInputCheckBox() override;
    bool HasProductInfoApi() const override;

    // ---- parts, for the handlers of other windows and for tests --------------------------
    RecorderSettings& Settings() { return settings_; }
    RecordingSession& Session() { return *session_; }
    TMMWaveIn& WaveIn() { return waveIn_; }
    TMMMP3Encoder& MP3() { return mp3_; }
    TMMConnector& MMConnector1() { return connector_; }
    TTrayIcon& Tray() { return *tray_; }
    CrowleyExport& Export() { return *export_; }
    ShutdownInhibitor* Inhibitor() { return services_.inhibitor.get(); }
    // The caption of an invisible message label ("" when there is none).
    std::string MessageText(const char* labelName) const;

protected:
    void showEvent(QShowEvent* event) override;  // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;  // FormClose

private:
    void BuildWidgets();
    QLabel* AddMessageLabel(const char* name, const char* text);
    void FormCreate();
    void FormShow();
    void FillCardList();
    void BuildConfigPanel(QWidget* central);
    void BuildConfigGroups(QWidget* content);
    void BuildFormatsPanel(QWidget* central);
    // The controls of the platform generation (HasProductInfoApi) shown or
    // hidden, the groups below them moved up or down to fit, and the scroll
    // box at its top; at every show of the window.
    void LayoutConfigPanel();
    void BuildMixer(QWidget* panel, QGridLayout* grid);
    void WirePriority();
    // Creation step: the languages of the file listed, the chosen one loaded
    // and the window translated; any error ends the step silently.
    void LoadLanguages();
    // Creation's last step: the start-up update check, in the background.
    void StartUpdateCheck();
    // The check's reply offers an update: ask, and update on Yes.
    void OfferUpdate();
    void ToggleWindow();
    void ShowWindow();
    void HideWindow();

    // RecordingView
    void ShowElapsed(const std::string& tempo, const std::string& dias) override;
    void ShowDiskFigures(const std::string& livre, const std::string& ocupado,
                         int percent) override;
    void ShowFormat(const std::string& banner) override;
    void ShowRecordButtons(bool recording) override;
    void CaptureStarted() override;
    void CaptureStopped() override;
    void RecordingStateChanged(bool recording) override;
    void ShowRecordingAlarm(const std::string& why) override;

    MainWindowServices services_;
    RecorderSettings settings_;
    TMMWaveIn waveIn_{"WaveIn"};
    TMMConnector connector_{"MMConnector1"};
    TMMMP3Encoder mp3_{"MP3"};
    std::unique_ptr<RecordingSession> session_;
    // The export chain (AudioFileGSM -> TriggerGSM -> ACMConverterGSM ->
    // WaveFileGSM, AcmGSM) and its queue.
    std::unique_ptr<CrowleyExport> export_;
    std::unique_ptr<TTrayIcon> tray_;
    std::unique_ptr<SignalWatcher> signals_;
    std::unique_ptr<StartupUpdateCheck> updateCheck_;
    bool updateWindowOpen_ = false;
    bool placed_ = false;  // centred at its first show
    // The capture threads' raiser installed by this window, removed with it.
    bool raisesAudioThreads_ = false;
    bool closing_ = false;
    bool terminated_ = false;
    // How long a closing program waits for exports still running.
    static constexpr int kExportDrainMs = 120000;
    void Terminate();

    // Read-outs (LED labels and the used-space gauge).
    TMMOwnedDisplayView<TMMLEDLABEL>* LFormato = nullptr;
    TMMOwnedDisplayView<TMMLEDLABEL>* LTempo = nullptr;
    TMMOwnedDisplayView<TMMLEDLABEL>* LDias = nullptr;
    TMMOwnedDisplayView<TMMLEDLABEL>* LLivre = nullptr;
    TMMOwnedDisplayView<TMMLEDLABEL>* LOcupado = nullptr;
    TMMGaugeView* ProgressEspaco = nullptr;
    // The live displays, fed by MMConnector1.
    TDisplayArea* PEqualizadores = nullptr;
    // Why nothing is recorded while recording is wanted; hidden otherwise.
    QLabel* LAlarme = nullptr;
    // Record and stop.
    // The face under everything.
    TSkin* Skin = nullptr;
    // Record (BGravar, LabelGravar, BImagemGravar) and stop (BStop,
    // LabelParar, BImagemParar); children of the window.
    TRecordStopControl* recordControl_ = nullptr;
    TRecordStopControl* stopControl_ = nullptr;
    // Window buttons.
    TImageButton* BConfig = nullptr;
    TImageButton* BEqualizador = nullptr;
    TImageButton* BMinimizar = nullptr;
    TImageButton* BOcultar = nullptr;
    TImageButton* BSair = nullptr;
    // The title and the maker's label on the face.
    QLabel* MMLabel1 = nullptr;
    QLabel* MMLabel2 = nullptr;
    // The status side (LFormato, PEqualizadores, the read-outs with their
    // captions and ProgressEspaco), and the settings shown instead of it.
    std::vector<QWidget*> statusWidgets_;
    QWidget* PConfig = nullptr;
    QPushButton* BGravaConfig = nullptr;
    QPushButton* BVoltarConfig = nullptr;
    // The panel's scroll box and its groups, top to bottom.
    QScrollArea* FundoConfig = nullptr;
    QWidget* configContent_ = nullptr;
    QGroupBox* GroupBox1 = nullptr;  // "Formato"
    QComboBox* CBFormato = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QGroupBox* GroupBox4 = nullptr;  // "Tempo de Gravação"
    QLineEdit* DiasGravar = nullptr;
    TUpDown* UpDown1 = nullptr;
    QCheckBox* CBGravar = nullptr;
    QLineEdit* TempoGravar = nullptr;
    TUpDown* UpDown2 = nullptr;
    QGroupBox* GroupBoxGeral = nullptr;
    TFolderEdit* EdLocal = nullptr;
    // The card, input, levels and priority, over BDefinirControles; only on
    // the platform generation that lets the operator choose them.
    QWidget* PControles = nullptr;
    QCheckBox* CBPrioridade = nullptr;
    QGroupBox* GroupBoxCopiaSeguranca = nullptr;
    QCheckBox* CBCopia = nullptr;
    TFolderEdit* EdLocalCopia = nullptr;
    QGroupBox* GroupBoxCrowley = nullptr;
    QCheckBox* CBCrowley = nullptr;
    QLineEdit* EdSigla = nullptr;
    QGroupBox* GrupoIdioma = nullptr;
    // The suggested formats with their monthly disk use, over the panel.
    QWidget* PFormatos = nullptr;
    QTreeWidget* TVFormatos = nullptr;
    QPushButton* BVoltarFormatos = nullptr;
    // The sound card and its mixer. The back end outlives the components,
    // which outlive nothing that refers to them (they detach themselves in
    // any order).
    std::unique_ptr<MixerBackend> mixerBackend_;
    std::unique_ptr<TMMMixerDevice> PlacaDevice;
    std::unique_ptr<TMMAudioLine> AudioGravacao;      // the recording destination
    std::unique_ptr<TMMAudioLine> AudioLineInRec;     // the input under it
    std::unique_ptr<TMMAudioLine> AudioLineIn;        // the input's monitor path
    std::unique_ptr<TMMMixerControl> MixerLineInRec;  // the recording selector
    std::unique_ptr<TMMVolumeControl> ControleVolumeRec;
    std::unique_ptr<TMMMixerControl> MixerLineIn;  // the monitor mute
    std::unique_ptr<TMMVolumeControl> ControlVolume;
    QComboBox* CBPlacas = nullptr;
    TMMDeviceComboBox* ComboPlaca = nullptr;
    QComboBox* CBControle = nullptr;
    TMMMixerWheel* Volume = nullptr;         // "Gravação"
    TMMMixerWheel* MMMixerWheel1 = nullptr;  // "Retorno"
    TMMMixerCheckBox* CBLineIn = nullptr;    // "Desativar retorno"
    TMMMixerCheckBox* CBLineInRec = nullptr;
    QPushButton* BDefinirControles = nullptr;
    // The line type of each entry of CBControle.
    std::vector<TMMComponentType> lineTypes_;
    // The language list (in GrupoIdioma) and the update button, at the
    // bottom of the settings panel.
    QComboBox* CBIdiomas = nullptr;
    QPushButton* btnVerificarAtualizacoes = nullptr;
    QTimer* TimerInicio = nullptr;
};

}  // namespace zt
