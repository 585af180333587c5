#include "app/DisplayArea.h"

#include <QLabel>

#include "displays/ui/DisplayView.h"
#include "platform/ErrorDisplay.h"

namespace zt {

namespace {
constexpr int kPanelWidth = 289;
constexpr int kPanelHeight = 96;
}  // namespace

TDisplayArea::TDisplayArea(QWidget* parent) : QWidget(parent) {
    setObjectName("PEqualizadores");
    setFixedSize(kPanelWidth, kPanelHeight);

    // Creation order is stacking order: the last panel is on top.
    PVU = AddPanel("PVU");
    AddView(MMMeter2, PVU, "MMMeter2", 6, 16);
    AddView(MMMeter1, PVU, "MMMeter1", 146, 16);

    PLevel = AddPanel("PLevel");
    auto label = [&](const char* text, int x, int y) {
        auto* l = new QLabel(QString::fromUtf8(text), PLevel);
        l->setStyleSheet("color: silver; font-size: 9px;");
        l->move(x, y);
    };
    label("L", 8, 14);
    AddView(MMLevel1, PLevel, "MMLevel1", 22, 10);
    label("R", 8, 42);
    AddView(MMLevel2, PLevel, "MMLevel2", 22, 38);
    AddView(MMLevelScale1, PLevel, "MMLevelScale1", 8, 66);
    label("dB", 8, 80);

    POsciloscopio = AddPanel("POsciloscopio");
    AddView(MMOscope2, POsciloscopio, "MMOscope2", 8, 5);
    MMOscope2.OnClick = [this] { MMOscope2Click(); };

    PSpectrum = AddPanel("PSpectrum");
    AddView(MMSpectrum2, PSpectrum, "MMSpectrum2", 8, 5);
    MMSpectrum2.OnClick = [this] { MMSpectrum2Click(); };
}

TDisplayArea::~TDisplayArea() {
    MMOscope2.OnClick = nullptr;
    MMSpectrum2.OnClick = nullptr;
    // The views go before the controls they show.
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

QWidget* TDisplayArea::AddPanel(const char* name) {
    auto* panel = new QWidget(this);
    panel->setObjectName(name);
    panel->setGeometry(0, 0, kPanelWidth, kPanelHeight);
    // Opaque, so the panels underneath are not painted through it.
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, Qt::black);
    panel->setPalette(p);
    return panel;
}

TMMDisplayView* TDisplayArea::AddView(TMMGraphicControl& control, QWidget* panel, const char* name,
                                      int x, int y) {
    auto* view = new TMMDisplayView(control, panel);
    view->setObjectName(name);
    view->setGeometry(x, y, control.Width(), control.Height());
    return view;
}

void TDisplayArea::BEqualizadorClick() {
    counter_ = counter_ >= 4 ? 1 : counter_ + 1;
    QWidget* const order[] = {PSpectrum, POsciloscopio, PLevel, PVU};
    order[counter_ - 1]->lower();
}

std::string TDisplayArea::FrontPanel() const {
    // Qt keeps siblings in stacking order, the topmost last.
    const QList<QWidget*> panels = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    return panels.isEmpty() ? std::string() : panels.back()->objectName().toStdString();
}

void TDisplayArea::MMOscope2Click() {
    FOscopeStyle = NextOscopeStyle(FOscopeStyle);
    MMOscope2.SetKind(OscopeKindForStyle(FOscopeStyle));
}

void TDisplayArea::MMSpectrum2Click() {
    FSpectrumStyle = NextSpectrumStyle(FSpectrumStyle);
    MMSpectrum2.SetKind(SpectrumKindForStyle(FSpectrumStyle));
}

}  // namespace zt
