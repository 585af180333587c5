// Audio lost by the recorder, measured on the wall-clock test card (a
// capture PCM whose frame n plays at a fixed time, so frames nobody reads
// are gone, as on a real card). Every segment is decoded by the mpg123
// program and placed on the card's time line to the frame.
//
// 1. Cuts: the real recording session records ZT_NOLOSS_CUTS (default 10)
//    cuts of ZT_NOLOSS_CUT_SECONDS (default 60) each; for every cut, the
//    frames missing (+) or repeated (-) between the two segments. Goal: 0.
// 2. Stalls: for each length of ZT_NOLOSS_STALLS (default "5,10,20,30,35"
//    seconds) the main thread is held that long while recording; the
//    frames lost, by the decoded recording and by the capture's own count.
//    Goal: none lost up to at least 30 s.
// Run:
//   cmake --build build --target zt_noloss_bench && build/bench/zt_noloss_bench
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture/WaveIn.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/capture/alsa/AlsaWaveInBackend.h"
#include "audio/encode/MP3Encoder.h"
#include "displays/Connector.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "recorder/RecorderChain.h"
#include "recorder/RecordingSession.h"
#include "support/AlsaFixture.h"
#include "support/ClockSignal.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using namespace zt;
namespace fs = std::filesystem;

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

std::vector<int> EnvList(const char* name, const std::vector<int>& fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    std::vector<int> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (std::atoi(item.c_str()) > 0) values.push_back(std::atoi(item.c_str()));
    return values.empty() ? fallback : values;
}

struct NullView : RecordingView {
    void ShowElapsed(const std::string&, const std::string&) override {}
    void ShowDiskFigures(const std::string&, const std::string&, int) override {}
    void ShowFormat(const std::string&) override {}
    void ShowRecordButtons(bool) override {}
    void CaptureStarted() override {}
    void CaptureStopped() override {}
    void RecordingStateChanged(bool) override {}
    void ShowRecordingAlarm(const std::string&) override {}
};

// One recording session on the clock card, in its own folder.
class Recording {
public:
    explicit Recording(const test::AlsaFixture& fx) {
        SetClock(&clock_);
        wave_.SetBackend(std::make_unique<AlsaWaveInBackend>(fx.Devices()));
        ConfigureRecorderChain(wave_, connector_, mp3_);
        local_ = (dir_.path() / "Audio").string();
        fs::create_directory(local_);
        settings_.Formato = "4";  // 64 kbit/s, the default
        settings_.Local = local_;
        settings_.MBLivres = "0";
        settings_.DiasRec = "30";
        settings_.Copia = "N";
        settings_.Crowley = "N";
        session_ = std::make_unique<RecordingSession>(settings_, wave_, mp3_, view_);
    }
    ~Recording() {
        session_.reset();
        wave_.Close();
        SetClock(nullptr);
    }

    void Start() {
        clock_.Set(Minute(0));
        session_->BGravarClick();
    }
    void Cut(int minute) {
        clock_.Set(Minute(minute));
        session_->TimerRecordTimer();
    }
    void Stop(int minute) {
        clock_.Set(Minute(minute));
        session_->BStopClick();
        session_->WaitForFileWork();
    }
    // Lets the capture hand over `seconds` more of audio.
    bool Capture(double seconds) {
        const int64_t target = wave_.RecordedBytes() + int64_t(seconds * 44100) * 4;
        return test::RunUntil([&] { return wave_.RecordedBytes() >= target; },
                              std::chrono::milliseconds(int(seconds * 1000) + 60000));
    }
    std::vector<test::DecodedMp3> Segments() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(local_)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        std::vector<test::DecodedMp3> decoded;
        for (const std::string& name : names)
            decoded.push_back(test::DecodeMp3WithMpg123Program(name));
        return decoded;
    }
    uint64_t LostFrames() const { return wave_.LostFrames(); }

private:
    static TDateTime Minute(int m) { return EncodeDateTime(2012, 12, 8, 10, 0, 0) + m / 1440.0; }

    ManualClock clock_{0};
    test::TempDir dir_;
    std::string local_;
    RecorderSettings settings_;
    TMMCustomWaveIn wave_{"WaveIn"};
    TMMConnector connector_{"MMConnector1"};
    TMMMP3Encoder mp3_{"MP3"};
    NullView view_;
    std::unique_ptr<RecordingSession> session_;
};

int64_t SumDefects(const test::ClockScan& scan) {
    int64_t sum = 0;
    for (const test::ClockDefect& d : scan.defects) sum += d.frames;
    return sum;
}

bool MeasureCuts(int cuts, int seconds) {
    std::printf("== cuts: %d cuts of %d s on the wall-clock card ==\n", cuts, seconds);
    test::AlsaFixture fx({test::ClockPcm("zt_capture", 44100)});
    std::vector<test::DecodedMp3> segments;
    {
        Recording rec(fx);
        rec.Start();
        for (int i = 1; i <= cuts; ++i) {
            if (!rec.Capture(seconds)) return false;
            rec.Cut(i);
        }
        if (!rec.Capture(2)) return false;
        rec.Stop(cuts + 1);
        segments = rec.Segments();
    }
    const std::vector<int64_t> starts = fx.StartFrames("zt_capture");
    if (segments.size() != size_t(cuts + 1) || starts.empty()) {
        std::printf("unexpected: %zu segments, %zu starts\n", segments.size(), starts.size());
        return false;
    }
    int64_t expected = starts[0], worst = 0, total = 0;
    std::vector<int64_t> ends;
    for (size_t i = 0; i < segments.size(); ++i) {
        const test::ClockScan scan = test::ScanClockStream(segments[i].samples, 2, expected, 4096);
        if (!scan.located) {
            std::printf("segment %zu: not placed on the card's time line\n", i);
            return false;
        }
        if (!scan.defects.empty())
            std::printf("segment %zu: %zu holes or repeats inside (%lld frames)\n", i,
                        scan.defects.size(), static_cast<long long>(SumDefects(scan)));
        expected = scan.endIndex;
        ends.push_back(scan.endIndex);
    }
    for (size_t i = 0; i + 1 < segments.size(); ++i) {
        const test::ClockJoin join =
            test::CheckClockJoin(segments[i].samples, segments[i + 1].samples, 2, ends[i], 4096);
        std::printf("cut %2zu: %+lld frames (%s)\n", i + 1, static_cast<long long>(join.frames),
                    join.located ? "placed" : "NOT PLACED");
        const int64_t size = join.frames < 0 ? -join.frames : join.frames;
        worst = std::max(worst, size);
        total += size;
    }
    std::printf("frames missing or repeated per cut: worst %lld, total %lld over %d cuts\n",
                static_cast<long long>(worst), static_cast<long long>(total), cuts);
    return true;
}

bool MeasureStalls(const std::vector<int>& stalls) {
    std::printf("== main-thread stalls while recording ==\n");
    int longestClean = 0;
    for (int stall : stalls) {
        test::AlsaFixture fx({test::ClockPcm("zt_capture", 44100)});
        std::vector<test::DecodedMp3> segments;
        uint64_t counted = 0;
        {
            Recording rec(fx);
            rec.Start();
            if (!rec.Capture(1)) return false;
            std::this_thread::sleep_for(std::chrono::seconds(stall));
            // What the store kept arrives now, then 2 s more.
            if (!rec.Capture(2)) return false;
            test::RunUntil([] { return false; }, std::chrono::milliseconds(2500));
            rec.Stop(1);
            counted = rec.LostFrames();
            segments = rec.Segments();
        }
        const std::vector<int64_t> starts = fx.StartFrames("zt_capture");
        if (segments.size() != 1 || starts.empty()) return false;
        const test::ClockScan scan = test::ScanClockStream(segments[0].samples, 2, starts[0], 4096);
        const int64_t lost = scan.located ? SumDefects(scan) : -1;
        std::printf(
            "stall %3d s: %lld frames lost by the recording (%.2f s), %llu by the "
            "capture's count\n",
            stall, static_cast<long long>(lost), double(lost) / 44100,
            static_cast<unsigned long long>(counted));
        if (lost == 0 && counted == 0) longestClean = std::max(longestClean, stall);
    }
    std::printf("longest main-thread stall with 0 frames lost: %d s (goal: at least 30 s)\n",
                longestClean);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::ScriptedDialogs dialogs;  // loss reports are counted, not shown
    const bool cuts =
        MeasureCuts(EnvInt("ZT_NOLOSS_CUTS", 10), EnvInt("ZT_NOLOSS_CUT_SECONDS", 60));
    const bool stalls = MeasureStalls(EnvList("ZT_NOLOSS_STALLS", {5, 10, 20, 30, 35}));
    std::printf("loss reports shown: %zu\n", dialogs.shown.size());
    return cuts && stalls ? 0 : 1;
}
