#include "app/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QShowEvent>
#include <QTimer>

#include <sys/stat.h>

#include <QLocale>

#include "app/FaceLayout.h"
#include "app/MainWindowDisplaySetUp.h"
#include "app/TrayIcon.h"
#include "app/TrayIcons.h"
#include "app/skin/ImageButton.h"
#include "app/skin/RecordStopControl.h"
#include "app/skin/Skin.h"
#include "lang/CodePages.h"
#include "lang/Lcf.h"
#include "lang/Translate.h"
#include "lang/ui/WidgetTranslation.h"
#include "platform/AudioThreadPriority.h"
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
    WirePriority();

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
    // The raiser refers to this window's kernel back end.
    if (raisesAudioThreads_) SetAudioThreadRaiser({});
}

// ---- building ------------------------------------------------------------------------

QLabel* TFrmGravar::AddMessageLabel(const char* name, const char* text) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), centralWidget()), name);
    label->hide();
    return label;
}

void TFrmGravar::BuildWidgets() {
    // Every control sits at its place on the face (FaceLayout.h); the face
    // itself lies under them all.
    auto* central = Named(new QWidget(this), "Face");
    setCentralWidget(central);
    setFixedSize(face::kWindowWidth, face::kWindowHeight);
    // The one pixel column right of the face is the key colour, like
    // everything the face leaves unpainted: cut out of the window.
    central->setAutoFillBackground(true);
    QPalette keyed = central->palette();
    keyed.setColor(QPalette::Window, QColor(0xFF, 0x00, 0xFF));
    central->setPalette(keyed);

    // The face: it shapes the window (frameless, cut to its painted
    // pixels) and drags it from any point not covered by a control.
    Skin = Named(new TSkin(central), "Skin");
    Skin->move(0, 0);
    Skin->OnMouseMove = [this] {
        TRecordStopControl::ResetCaptionOutlines(*recordControl_, *stopControl_);
    };

    auto place = [](QWidget* widget, const QRect& rect) {
        widget->setGeometry(rect);
        return widget;
    };
    auto faceLabel = [&](const char* name, const char* text, const QRect& rect, QColor color,
                         int pixelSize, bool bold) {
        auto* label = Named(new QLabel(QString::fromUtf8(text), central), name);
        QFont font = label->font();
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
        place(label, rect);
        return label;
    };

    MMLabel1 = faceLabel("MMLabel1", kWindowCaption, face::kTitle, face::kFaceText, 13, true);
    // The title and the read-outs are part of the face: a press on them
    // drags the window like a press on the face around them.
    MMLabel1->setAttribute(Qt::WA_TransparentForMouseEvents);

    // The status side: the format banner, the live displays, the read-outs
    // and the used-space gauge. The settings panel takes the place of all
    // of them.
    LFormato = Named(new TMMOwnedDisplayView<TMMLEDLABEL>(central), "LFormato");
    SetUpMainWindowFormatBanner(LFormato->Shown());
    place(LFormato,
          {face::kBanner.topLeft(), QSize(LFormato->Shown().Width(), LFormato->Shown().Height())});
    statusWidgets_.push_back(LFormato);

    PEqualizadores = Named(new TDisplayArea(central), "PEqualizadores");
    PEqualizadores->Connect(connector_);
    PEqualizadores->move(face::kDisplay.topLeft());
    statusWidgets_.push_back(PEqualizadores);

    auto addReadout = [&](const char* captionName, const char* caption, const QRect& captionRect,
                          const char* name, const char* text, const QRect& valueRect,
                          TColor color) {
        QLabel* captionLabel =
            faceLabel(captionName, caption, captionRect, face::kFaceText, 11, true);
        captionLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        statusWidgets_.push_back(captionLabel);
        auto* value = Named(new TMMOwnedDisplayView<TMMLEDLABEL>(central), name);
        TMMLEDLABEL& led = value->Shown();
        // The label sizes itself to its text; the widget follows, from the
        // well's top-left corner.
        led.OnAutoSize = [value](int w, int h) { value->resize(w, h); };
        SetUpMainWindowReadOut(led, text, color);
        place(value, {valueRect.topLeft(), QSize(led.Width(), led.Height())});
        value->setAttribute(Qt::WA_TransparentForMouseEvents);
        statusWidgets_.push_back(value);
        return value;
    };
    LTempo = addReadout("LabelTempo", "Tempo:", face::kElapsedCaption, "LTempo", "00:00:00",
                        face::kElapsed, clYellow);
    LDias =
        addReadout("LabelDias", "Dias:", face::kDaysCaption, "LDias", "00", face::kDays, clYellow);
    LLivre = addReadout("LabelLivre", "Livre:", face::kFreeCaption, "LLivre", "0 MB", face::kFree,
                        clLime);
    LOcupado = addReadout("LabelOcupado", "Ocupado:", face::kUsedCaption, "LOcupado", "0 MB",
                          face::kUsed, clLime);

    ProgressEspaco = Named(new TMMGaugeView(central, face::kGauge.width(), face::kGauge.height()),
                           "ProgressEspaco");
    SetUpMainWindowGauge(ProgressEspaco->Shown());
    place(ProgressEspaco, face::kGauge);
    ProgressEspaco->setAttribute(Qt::WA_TransparentForMouseEvents);
    statusWidgets_.push_back(ProgressEspaco);

    BuildConfigPanel(central);
    PConfig->move(face::kSettings.topLeft());

    // Over the displays, so that it cannot be missed; under the settings.
    LAlarme = Named(new QLabel(central), "LAlarme");
    LAlarme->setWordWrap(true);
    LAlarme->setAlignment(Qt::AlignCenter);
    LAlarme->setStyleSheet("QLabel { color: #ffffff; background: #b01818; padding: 3px; }");
    place(LAlarme, face::kDisplay);
    LAlarme->hide();
    PConfig->raise();

    // Record and stop share a place; one shows at a time.
    recordControl_ = new TRecordStopControl(TRecordStopControl::Kind::Record, central);
    recordControl_->OnClick = [this] { BGravarClick(); };
    stopControl_ = new TRecordStopControl(TRecordStopControl::Kind::Stop, central);
    stopControl_->OnClick = [this] { BStopClick(); };

    auto addButton = [&](const char* name, const char* art, const char* hint, const QRect& rect) {
        auto* button = Named(new TImageButton(central), name);
        button->SetSkinArt(art);
        button->setToolTip(QString::fromUtf8(hint));
        place(button, rect);
        return button;
    };
    BConfig = addButton("BConfig", "config", "Configurações", face::kButtonConfig);
    BEqualizador = addButton("BEqualizador", "display", "Display", face::kButtonDisplay);
    BMinimizar = addButton("BMinimizar", "minimize", "Minimizar", face::kButtonMinimize);
    BOcultar = addButton("BOcultar", "hide", "Ocultar", face::kButtonHide);
    BSair = addButton("BSair", "close", "Fechar", face::kButtonClose);
    connect(BConfig, &QAbstractButton::clicked, this, Guard([this] { BConfigClick(); }));
    connect(BMinimizar, &QAbstractButton::clicked, this, Guard([this] { BMinimizarClick(); }));
    connect(BEqualizador, &QAbstractButton::clicked, this, Guard([this] { BEqualizadorClick(); }));
    connect(BOcultar, &QAbstractButton::clicked, this, Guard([this] { BOcultarClick(); }));
    connect(BSair, &QAbstractButton::clicked, this, Guard([this] { BSairClick(); }));

    MMLabel2 = faceLabel("MMLabel2", kMakerName, face::kMaker, face::kPlateText, 10, false);
    MMLabel2->setAlignment(Qt::AlignCenter);
    MMLabel2->setCursor(Qt::PointingHandCursor);
    MMLabel2->installEventFilter(this);

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
}

bool TFrmGravar::eventFilter(QObject* watched, QEvent* event) {
    // The maker's label is clicked like a link: a left release over it.
    if (watched == MMLabel2 && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            MMLabel2->rect().contains(mouse->position().toPoint()))
            Guarded([this] { MMLabel2Click(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFrmGravar::showEvent(QShowEvent* event) {
    // Centred on its screen the first time it shows; where the operator
    // dragged it afterwards, it stays.
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
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
    if (FlagIsSet(settings_.AutoGravar) && recordControl_->IsVisible()) BGravarClick();
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
    if (!stopControl_->IsVisible()) return true;
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
    recordControl_->SetVisible(!recording);
    stopControl_->SetVisible(recording);
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
