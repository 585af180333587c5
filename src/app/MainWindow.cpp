#include "app/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSessionManager>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <QLocale>

#include "app/MainWindowDisplaySetUp.h"
#include "app/TrayIcon.h"
#include "app/TrayIcons.h"
#include "lang/CodePages.h"
#include "lang/Lcf.h"
#include "lang/Translate.h"
#include "lang/ui/WidgetTranslation.h"
#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/ResStrings.h"
#include "platform/ShutdownInhibitor.h"
#include "platform/SignalWatcher.h"
#include "platform/ui/Named.h"
#include "recorder/RecorderChain.h"
#include "settings/ApplySettings.h"
#include "settings/SettingsFile.h"
#include "update/StartupUpdateCheck.h"

namespace zt {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TFrmGravar::TFrmGravar(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setWindowTitle(kMainWindowTitle);
    setObjectName("FrmGravar");
    RegisterWidgetTranslationAdapters();
    if (services_.captureDevices)
        waveIn_.SetBackend(std::make_unique<AlsaWaveInBackend>(*services_.captureDevices));
    ConfigureRecorderChain(waveIn_, connector_, mp3_);
    RecordingView& view = *this;
    session_ = std::make_unique<RecordingSession>(settings_, waveIn_, mp3_, view, this);
    export_ = std::make_unique<CrowleyExport>(ExecutableDir(), this);
    // The names carry the finished segment's own start and end, which the
    // session hands on with it.
    session_->SetExportHook([this](const std::string& finalPath, TDateTime start, TDateTime end) {
        export_->ExportForCrowley(finalPath, start, end, settings_.SiglaCrowley);
    });

    TrayHandlers handlers;
    handlers.startRecording = [this] { BGravarClick(); };
    handlers.stopRecording = [this] { BStopClick(); };
    handlers.toggleWindow = [this] { ToggleWindow(); };
    handlers.showWindow = [this] { ShowWindow(); };
    handlers.hideWindow = [this] { HideWindow(); };
    handlers.closeWindow = [this] { Fechar1Click(); };
    tray_ = std::make_unique<TTrayIcon>(std::move(handlers), this);

    BuildWidgets();

    if (services_.watchSignals) {
        signals_ = std::make_unique<SignalWatcher>(this);
        connect(signals_.get(), &SignalWatcher::Received, this,
                [this](int signalNumber) { Guarded([&] { SignalHandler(signalNumber); }); });
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            Guarded([&] { QueryEndSessionHandler(manager); });
        });
    }

    FormCreate();
}

TFrmGravar::~TFrmGravar() {
    // A window destroyed while recording (not through closing) still leaves
    // a finished segment behind.
    if (session_ && session_->RecordingWanted()) Guarded([this] { session_->BStopClick(); });
    if (session_) Guarded([this] { session_->WaitForFileWork(); });
    if (tray_) tray_->Remove();
    if (services_.inhibitor) services_.inhibitor->Release();
}

// ---- building ------------------------------------------------------------------------

QLabel* TFrmGravar::AddMessageLabel(const char* name, const char* text) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), centralWidget()), name);
    label->hide();
    return label;
}

void TFrmGravar::BuildWidgets() {
    auto* central = new QWidget(this);
    central->setObjectName("Skin");
    setCentralWidget(central);
    setFixedSize(400, 363);

    auto* layout = new QVBoxLayout(central);

    // The status displays, and in their place, when asked, the settings.
    statusPanel_ = Named(new QWidget(central), "PStatus");
    auto* status = new QVBoxLayout(statusPanel_);
    status->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(statusPanel_);
    BuildConfigPanel(central);
    layout->addWidget(PConfig);

    LFormato = Named(new TMMOwnedDisplayView<TMMLEDLABEL>(statusPanel_), "LFormato");
    SetUpMainWindowFormatBanner(LFormato->Shown());
    LFormato->setFixedSize(LFormato->Shown().Width(), LFormato->Shown().Height());
    status->addWidget(LFormato, 0, Qt::AlignHCenter);

    PEqualizadores = Named(new TDisplayArea(statusPanel_), "PEqualizadores");
    PEqualizadores->Connect(connector_);
    status->addWidget(PEqualizadores, 0, Qt::AlignHCenter);

    auto* readouts = new QGridLayout;
    auto addReadout = [&](int row, const char* captionName, const char* caption, const char* name,
                          const char* text, TColor color) {
        readouts->addWidget(
            Named(new QLabel(QString::fromUtf8(caption), statusPanel_), captionName), row, 0);
        auto* value = Named(new TMMOwnedDisplayView<TMMLEDLABEL>(statusPanel_), name);
        TMMLEDLABEL& led = value->Shown();
        // The label sizes itself to its text; the widget follows.
        led.OnAutoSize = [value](int w, int h) { value->setFixedSize(w, h); };
        SetUpMainWindowReadOut(led, text, color);
        value->setFixedSize(led.Width(), led.Height());
        readouts->addWidget(value, row, 1, Qt::AlignLeft);
        return value;
    };
    LTempo = addReadout(0, "LabelTempo", "Tempo:", "LTempo", "00:00:00", clYellow);
    LDias = addReadout(1, "LabelDias", "Dias:", "LDias", "00", clYellow);
    LLivre = addReadout(2, "LabelLivre", "Livre:", "LLivre", "0 MB", clLime);
    LOcupado = addReadout(3, "LabelOcupado", "Ocupado:", "LOcupado", "0 MB", clLime);
    status->addLayout(readouts);

    ProgressEspaco = Named(new TMMGaugeView(statusPanel_, 360, 14), "ProgressEspaco");
    SetUpMainWindowGauge(ProgressEspaco->Shown());
    ProgressEspaco->setFixedSize(360, 14);
    status->addWidget(ProgressEspaco, 0, Qt::AlignHCenter);

    LAlarme = Named(new QLabel(central), "LAlarme");
    LAlarme->setWordWrap(true);
    LAlarme->setStyleSheet("QLabel { color: #ffffff; background: #b01818; padding: 3px; }");
    LAlarme->hide();
    layout->addWidget(LAlarme);

    auto* recordRow = new QHBoxLayout;
    BGravar = Named(new QPushButton(FrameIcon(5), QString(), central), "BGravar");
    BGravar->setCursor(Qt::PointingHandCursor);
    LabelGravar = Named(new QLabel("Gravar", central), "LabelGravar");
    BStop = Named(new QPushButton(central), "BStop");
    BStop->setCursor(Qt::PointingHandCursor);
    BStop->setIcon(MainIcon());
    LabelParar = Named(new QLabel("Parar", central), "LabelParar");
    recordRow->addWidget(BGravar);
    recordRow->addWidget(LabelGravar);
    recordRow->addWidget(BStop);
    recordRow->addWidget(LabelParar);
    recordRow->addStretch();
    layout->addLayout(recordRow);
    connect(BGravar, &QPushButton::clicked, this, Guard([this] { BGravarClick(); }));
    connect(BStop, &QPushButton::clicked, this, Guard([this] { BStopClick(); }));

    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* name, const char* caption) {
        auto* button = Named(new QPushButton(QString::fromUtf8(caption), central), name);
        button->setToolTip(QString::fromUtf8(caption));
        button->setCursor(Qt::PointingHandCursor);
        buttons->addWidget(button);
        return button;
    };
    BConfig = addButton("BConfig", "Configurações");
    BEqualizador = addButton("BEqualizador", "Display");
    BMinimizar = addButton("BMinimizar", "Minimizar");
    BOcultar = addButton("BOcultar", "Ocultar");
    BSair = addButton("BSair", "Fechar");
    layout->addLayout(buttons);
    connect(BConfig, &QPushButton::clicked, this, Guard([this] { BConfigClick(); }));
    connect(BMinimizar, &QPushButton::clicked, this, Guard([this] { BMinimizarClick(); }));
    connect(BEqualizador, &QPushButton::clicked, this, Guard([this] { BEqualizadorClick(); }));
    connect(BOcultar, &QPushButton::clicked, this, Guard([this] { BOcultarClick(); }));
    connect(BSair, &QPushButton::clicked, this, Guard([this] { BSairClick(); }));

    layout->addStretch();

    AddMessageLabel("lblNecessarioPararGravacaoFinalizarSistema",
                    kTextNecessarioPararGravacaoFinalizarSistema);
    AddMessageLabel("lblNecessarioPararGravacaoAntesDesligarWindows",
                    kTextNecessarioPararGravacaoAntesDesligarWindows);
    AddMessageLabel("lblHaNovaAtualizacaoDisponivelDesejaAtualizarAgora",
                    kTextHaNovaAtualizacaoDisponivelDesejaAtualizarAgora);

    TimerInicio = Named(new QTimer(this), "TimerInicio");
    TimerInicio->setInterval(1000);
    TimerInicio->setSingleShot(true);
    connect(TimerInicio, &QTimer::timeout, this, Guard([this] { TimerInicioTimer(); }));
}

std::string TFrmGravar::MessageText(const char* labelName) const {
    const QLabel* label = findChild<QLabel*>(labelName);
    return label ? label->text().toStdString() : std::string();
}

// ---- creation, show, close -------------------------------------------------------------

void TFrmGravar::FormCreate() {
    // The card list and the settings: one warning box for any error, and
    // start-up goes on with whatever was loaded.
    try {
        FillCardList();
        LoadSettings(settings_, *this);
    } catch (const EAbort&) {
    } catch (const std::exception& error) {
        // Shown once the window runs its event loop: a box waiting for the
        // operator must not hold up the rest of the start, nor the automatic
        // recording one second later (the box's own loop runs the timer).
        QTimer::singleShot(
            0, this, Guard([text = std::string(error.what())] { CurrentDialogs().Warning(text); }));
    }
    LoadLanguages();
    // The recordings' default home beside the program is made on the first
    // start (a portable copy has none yet); any other folder is the
    // operator's to provide, so an unmounted drive is not papered over.
    const std::string defaultFolder = DefaultRecordingFolder(ExecutableDir());
    if (settings_.Local == defaultFolder) ::mkdir(defaultFolder.c_str(), 0777);

    TimerInicio->start();
    setWindowIcon(MainIcon());
    QApplication::setWindowIcon(MainIcon());
    // An error from here on ends the creation steps; the window still shows.
    Guarded([this] {
        tray_->Add();
        session_->UpdateRecordButtons();
        // A segment an earlier run could not finish (a power cut) is
        // finished first, then the retention pass runs.
        session_->FinishOrphanSegments();
        session_->PurgeOldRecordings();
        StartUpdateCheck();
    });
}

void TFrmGravar::LoadLanguages() {
    try {
        const std::string file = LanguageFilePath();
        CBIdiomas->clear();
        LoadLanguage(
            file, 1046, [this](int32_t lcid, void*) { return AddLanguageItem(lcid); }, this);
        CBIdiomas->setCurrentIndex(CBIdiomas->findData(1046));
        if (settings_.iIdioma < 0)
            settings_.iIdioma = CBIdiomas->currentIndex();
        else
            CBIdiomas->setCurrentIndex(settings_.iIdioma < CBIdiomas->count() ? settings_.iIdioma
                                                                              : -1);
        // Nothing chosen (no file, or a saved choice beyond the list): the
        // built-in texts stay.
        if (CBIdiomas->currentIndex() < 0) return;
        LoadLanguage(file, CBIdiomas->currentData().toInt(), {}, nullptr);
        TranslateForm(this);
    } catch (...) {
        // A language file that cannot be applied leaves the window as it is.
    }
}

int TFrmGravar::AddLanguageItem(int32_t lcid) {
    const std::string tag = LocaleTagOf(lcid);
    QString name;
    if (!tag.empty()) {
        const QLocale locale(QString::fromStdString(tag));
        if (locale.language() != QLocale::C) {
            name = locale.nativeLanguageName();
            const QString territory = locale.nativeTerritoryName();
            // "español de España" names its country already; "português"
            // gets it in brackets.
            if (!territory.isEmpty() && !name.contains(territory, Qt::CaseInsensitive))
                name += " (" + territory + ")";
            if (!name.isEmpty()) name[0] = name[0].toUpper();
        }
    }
    if (name.isEmpty()) name = Q(LoadResString(msg::UnknownLanguage));
    CBIdiomas->addItem(name, lcid);
    return 1;
}

void TFrmGravar::CBIdiomasChange() {
    if (CBIdiomas->currentIndex() < 0) return;
    LoadLanguage(LanguageFilePath(), CBIdiomas->currentData().toInt(), {}, nullptr);
    TranslateForm(this);
    BGravar->update();
    BStop->update();
}

void TFrmGravar::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TFrmGravar::FormShow() {
    LayoutConfigPanel();
    session_->ShowDiskFiguresOnShow();
}

void TFrmGravar::closeEvent(QCloseEvent* event) {
    // FormClose: a running recording is stopped and its segment finished,
    // then the program ends.
    event->accept();
    if (closing_) return;
    closing_ = true;
    updateCheck_.reset();
    if (session_->RecordingWanted()) Guarded([this] { session_->BStopClick(); });
    // The last segment is renamed and copied, and its export begun, before
    // the program ends.
    Guarded([this] { session_->WaitForFileWork(); });
    // Exports still running or waiting are completed first (the last
    // segment's among them), within a limit, so no export file is left
    // half written.
    if (export_->Busy()) {
        hide();
        export_->OnIdle = [this] { Terminate(); };
        QTimer::singleShot(kExportDrainMs, this, [this] { Terminate(); });
        return;
    }
    Terminate();
}

void TFrmGravar::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    if (services_.terminate)
        services_.terminate();
    else
        QCoreApplication::quit();
}

// ---- handlers --------------------------------------------------------------------------

void TFrmGravar::BGravarClick() {
    session_->BGravarClick();
}

void TFrmGravar::BStopClick() {
    session_->BStopClick();
}

void TFrmGravar::BSairClick() {
    // Waiting for the card to come back counts as recording: the operator
    // stops it first.
    if (session_->RecordingWanted()) {
        CurrentDialogs().Information(MessageText("lblNecessarioPararGravacaoFinalizarSistema"));
        return;
    }
    close();
}

void TFrmGravar::BOcultarClick() {
    HideWindow();
}

void TFrmGravar::BMinimizarClick() {
    showMinimized();
}

void TFrmGravar::BEqualizadorClick() {
    PEqualizadores->BEqualizadorClick();
}

void TFrmGravar::TimerInicioTimer() {
    TimerInicio->stop();
    if (FlagIsSet(settings_.AutoGravar) && !BGravar->isHidden()) BGravarClick();
}

void TFrmGravar::Gravar1Click() {
    tray_->Gravar1Click();
}

void TFrmGravar::Parar1Click() {
    tray_->Parar1Click();
}

void TFrmGravar::Fechar1Click() {
    close();
}

void TFrmGravar::QueryEndSessionHandler(QSessionManager& manager) {
    const bool mayAsk = manager.allowsInteraction();
    if (MayEndSession(mayAsk)) return;
    if (mayAsk) manager.release();
    manager.cancel();
}

bool TFrmGravar::MayEndSession(bool mayAsk) {
    // The window records exactly while its stop button shows: that is how
    // it tells, as the operator sees it.
    if (BStop->isHidden()) return true;
    // Recording: the session may not end. The operator is shown the window
    // and why; the recording goes on until it is stopped.
    ShowWindow();
    if (mayAsk)
        CurrentDialogs().Information(MessageText("lblNecessarioPararGravacaoAntesDesligarWindows"));
    return false;
}

void TFrmGravar::SignalHandler(int) {
    close();
}

void TFrmGravar::ToggleWindow() {
    if (isVisible() && !isMinimized())
        HideWindow();
    else
        ShowWindow();
}

void TFrmGravar::ShowWindow() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TFrmGravar::HideWindow() {
    // Without a notification area the icon that brings the window back does
    // not exist: minimise instead of hiding, so the window stays reachable.
    if (tray_->Shown())
        hide();
    else
        showMinimized();
}

// ---- SettingsTarget ----------------------------------------------------------------------

void TFrmGravar::ApplyEncoderFormat(const EncoderFormatChoice& format) {
    session_->ApplyEncoderFormat(format);
}

bool TFrmGravar::IsRecording() const {
    return session_->IsRecording();
}

void TFrmGravar::SetSegmentInterval(int milliseconds) {
    session_->SetSegmentInterval(milliseconds);
}

void TFrmGravar::TickPriorityCheckBox() {
    CBPrioridade->setChecked(true);
}

void TFrmGravar::RaiseOwnProcessPriority() {
    // Raising the process's priority comes with its own part of the
    // program; until then the setting is kept and nothing is raised. Saying
    // so in a box at every start would only hold up the operator.
}

// ---- RecordingView -------------------------------------------------------------------------

void TFrmGravar::ShowElapsed(const std::string& tempo, const std::string& dias) {
    LTempo->Shown().SetCaption(tempo);
    LDias->Shown().SetCaption(dias);
}

void TFrmGravar::ShowDiskFigures(const std::string& livre, const std::string& ocupado,
                                 int percent) {
    LLivre->Shown().SetCaption(livre);
    LOcupado->Shown().SetCaption(ocupado);
    ProgressEspaco->Shown().SetProgress(percent);
}

void TFrmGravar::ShowFormat(const std::string& banner) {
    LFormato->Shown().SetCaption(banner);
}

void TFrmGravar::ShowRecordButtons(bool recording) {
    BGravar->setVisible(!recording);
    LabelGravar->setVisible(!recording);
    BStop->setVisible(recording);
    LabelParar->setVisible(recording);
}

void TFrmGravar::CaptureStarted() {
    tray_->StartAnimation();
}

void TFrmGravar::CaptureStopped() {
    tray_->StopAnimation();
    tray_->ShowIdleIcon();
}

void TFrmGravar::ShowRecordingAlarm(const std::string& why) {
    LAlarme->setText(Q(why));
    LAlarme->setVisible(!why.empty());
    tray_->ShowAlarm(Q(why));
}

void TFrmGravar::RecordingStateChanged(bool recording) {
    if (!services_.inhibitor) return;
    if (recording)
        services_.inhibitor->Acquire();
    else
        services_.inhibitor->Release();
}

}  // namespace zt
