// What the live displays cost while recording: CPU per second of audio, as
// a share of one core, of the connector feeding the main window's six
// displays (two LED bars, two needle meters, the oscilloscope and the
// spectrum analyser) at their sizes and settings, from 44.1 kHz 16-bit
// stereo buffers of 4096 bytes as the capture delivers them, with the
// pictures painted at 60 Hz.
//
// 1. Simulated time, one display at a time and all together: a minute of
//    audio fed as fast as the machine goes; the connector's clock and the
//    rounds (every 16 ms of audio) and the 60 Hz paints follow the audio's
//    own time. Shows the cost of each display's measuring and drawing.
// 2. Real time, as in the program: the displays in their views on a shown
//    (offscreen) window, the connector's refresh loop on its Qt timer,
//    buffers arriving every 23.2 ms from a timer, Qt painting what went
//    stale; the process's CPU over ZT_DISPLAYS_SECONDS (default 10).
// Goal: <= 2 % of one core. Run:
//   cmake --build build --target zt_displays_bench && build/bench/zt_displays_bench
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "app/DisplayArea.h"
#include "app/MainWindowDisplays.h"
#include "displays/Connector.h"
#include "displays/ui/DisplayView.h"

namespace {

using namespace zt;

constexpr int kBufferBytes = 4096;
constexpr int kFramesPerBuffer = kBufferBytes / 4;
constexpr double kBufferSeconds = double(kFramesPerBuffer) / 44100;

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void Attach(TMMConnector& c, TMainWindowDisplays& d, int which) {
    // which: -1 all, else one display by its index in FedDisplays().
    if (which < 0) return d.Connect(c);
    const TMainWindowDisplays::Fed f = d.FedDisplays()[which];
    c.SetDisplay(f.slot, f.target);
}

void PrepareConnector(TMMConnector& c) {
    const WAVEFORMATEX f = MakePCMFormat(16, 2, 44100);
    c.SetWaveFormat(&f);
    c.SetBufferSize(kBufferBytes);
}

// Part 1: a minute of audio in simulated time; CPU share of one core.
double Simulated(const std::vector<int16_t>& audio, int which, int seconds) {
    TMainWindowDisplays d;
    int64_t now = 0;
    TMMConnector c("Bench");
    c.SetClock([&] { return now; });
    PrepareConnector(c);
    Attach(c, d, which);
    c.Opened();
    c.Started();
    QCoreApplication::processEvents();  // the arm
    const auto fed = d.FedDisplays();

    const int buffers = int(seconds / kBufferSeconds);
    const size_t loopSamples = audio.size();
    size_t at = 0;
    int64_t nextRound = 0, nextPaint = 0;
    const double cpu0 = ThreadCpu();
    for (int b = 0; b < buffers; ++b) {
        const int64_t start = int64_t(b * kBufferSeconds * 1e6);
        const int64_t end = int64_t((b + 1) * kBufferSeconds * 1e6);
        now = start;
        if (at + kFramesPerBuffer * 2 > loopSamples) at = 0;
        c.CopyData(audio.data() + at, kBufferBytes);
        at += kFramesPerBuffer * 2;
        while (nextRound < end || nextPaint < end) {
            if (nextRound <= nextPaint) {
                now = std::max(nextRound, start);
                c.DeliveryPass();
                nextRound += 16000;
            } else {
                now = std::max(nextPaint, start);
                for (const TMainWindowDisplays::Fed& f : fed)
                    if (f.control->Stale()) f.control->Image();
                nextPaint += 16667;
            }
        }
    }
    const double cpu = ThreadCpu() - cpu0;
    c.Stopped();
    c.Closed();
    return 100.0 * cpu / (buffers * kBufferSeconds);
}

// Counts the paint events of the views.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};

// Part 2: the real refresh loop and real painting, in real time; either
// the six views side by side (every display painted every frame), or the
// main window's display area with its four stacked panels (only the front
// one seen).
double RealTime(const std::vector<int16_t>& audio, int seconds, bool stacked) {
    TMainWindowDisplays d;
    QWidget window;
    window.resize(600, 300);
    std::vector<std::unique_ptr<TMMDisplayView>> views;
    TDisplayArea* area = nullptr;
    TMMConnector c("Bench");
    PrepareConnector(c);
    if (stacked) {
        area = new TDisplayArea(&window);
        area->Connect(c);
    } else {
        int x = 0;
        for (const TMainWindowDisplays::Fed& f : d.FedDisplays()) {
            auto view = std::make_unique<TMMDisplayView>(*f.control, &window);
            view->move(x % 560, (x / 560) * 90);
            x += 280;
            views.push_back(std::move(view));
        }
        d.Connect(c);
    }
    PaintCounter counter;
    for (TMMDisplayView* v : window.findChildren<TMMDisplayView*>())
        v->installEventFilter(&counter);
    window.show();
    c.Opened();
    c.Started();
    size_t at = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    feed.setInterval(23);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        if (at + kFramesPerBuffer * 2 > audio.size()) at = 0;
        c.CopyData(audio.data() + at, kBufferBytes);
        at += kFramesPerBuffer * 2;
    });
    // A second of settling, then the measurement.
    feed.start();
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1000);
    const double cpu0 = bench::CpuSeconds(RUSAGE_SELF);
    const long paints0 = counter.paints;
    QElapsedTimer clock;
    clock.start();
    runFor(seconds * 1000);
    const double cpu = bench::CpuSeconds(RUSAGE_SELF) - cpu0;
    const double wall = clock.elapsed() / 1000.0;
    std::printf("  paints per second of all six views: %.1f\n", (counter.paints - paints0) / wall);
    feed.stop();
    c.Stopped();
    c.Closed();
    delete area;
    return 100.0 * cpu / wall;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::vector<int16_t> audio = bench::ProgrammePcm(8);
    const char* secondsText = std::getenv("ZT_DISPLAYS_SECONDS");
    const int seconds = secondsText && std::atoi(secondsText) > 0 ? std::atoi(secondsText) : 10;

    // ZT_DISPLAYS_REALTIME_ONLY=1 (side by side) or =2 (the main window's
    // panels) runs only that part of part 2, for profiling.
    const char* only = std::getenv("ZT_DISPLAYS_REALTIME_ONLY");
    if (only && (*only == '1' || *only == '2')) {
        std::printf("real time, %d s: %.3f %%\n", seconds, RealTime(audio, seconds, *only == '2'));
        return 0;
    }
    std::printf("simulated time, 60 s of audio, share of one core:\n");
    const char* names[] = {"level bar L (254x24)", "level bar R (253x24)",  "needle R (137x65)",
                           "needle L (138x65)",    "oscilloscope (273x86)", "spectrum (273x86)"};
    for (int i = 0; i < 6; ++i)
        std::printf("  %-24s %6.3f %%\n", names[i], Simulated(audio, i, 60));
    std::printf("  %-24s %6.3f %%\n", "all six", Simulated(audio, -1, 60));

    std::printf("real time, %d s, views painted by Qt (offscreen), whole process:\n", seconds);
    std::printf("  %-24s %6.3f %% (goal: <= 2 %%)\n", "all six side by side",
                RealTime(audio, seconds, false));
    std::printf("  %-24s %6.3f %%\n", "main window's panels", RealTime(audio, seconds, true));
    return 0;
}
