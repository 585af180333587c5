// The export of one finished segment against a peer tool, on the same input.
//
// Input: ZT_EXPORT_MINUTES (default 10) minutes of 44.1 kHz stereo
// programme-like audio, encoded at 64 kbit/s by the recorder's own encoder.
// The export: the recorder's export chain (decoder, pump, codec conversion,
// WAV writer) into GSM 6.10, 8 kHz mono. The peer:
//   ffmpeg -i in.mp3 -ac 1 -ar 8000 -c:a libgsm_ms out.wav
// Figures: CPU seconds (user + system, every thread) and wall seconds of
// each, and the export's ratios to the peer. The export's wall time holds
// the pump's pause of at least 1 ms between buffers. Run:
//   cmake --build build --target zt_export_bench && build/bench/zt_export_bench
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>

#include "BenchSupport.h"
#include "audio/capture/WaveInTestSupport.h"
#include "audio/convert/FormatChooserComponent.h"
#include "audio/convert/codecs/CodecManager.h"
#include "platform/DateTime.h"
#include "recorder/CrowleyExport.h"
#include "recorder/ExportTestSupport.h"
#include "support/TempDir.h"

namespace {

using namespace zt;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const char* minutesText = std::getenv("ZT_EXPORT_MINUTES");
    const int minutes = minutesText && std::atoi(minutesText) > 0 ? std::atoi(minutesText) : 10;

    test::TempDir dir, exeDir, config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    // ZT_EXPORT_INPUT names an MP3 to use instead (kept between runs, e.g.
    // for profiling the export alone); it is made there when missing.
    const char* input = std::getenv("ZT_EXPORT_INPUT");
    const std::string mp3 = input && *input ? input : dir.file("0812121530a0812121540.mp3");
    if (::access(mp3.c_str(), R_OK) != 0) {
        std::printf("encoding %d min of audio at 64 kbit/s...\n", minutes);
        test::EncodeMp3(mp3, bench::ProgrammePcm(minutes * 60));
    }

    for (WaveFormatPtr& f : acm::EnumFormats(0x31))
        if (f->nSamplesPerSec == 8000 && f->nChannels == 1) {
            TMMACM::StoreFormat(f.get(), CrowleyExport::kFormatKey, CrowleyExport::kFormatValue);
            break;
        }

    // The export, in this process.
    CrowleyExport exporter(exeDir.dir());
    const double cpu0 = bench::CpuSeconds(RUSAGE_SELF), wall0 = Now();
    exporter.ExportForCrowley(mp3, EncodeDateTime(2012, 12, 8, 15, 30, 12, 0),
                              EncodeDateTime(2012, 12, 8, 15, 40, 12, 0), "RDX");
    test::RunUntil([&] { return !exporter.Busy(); }, std::chrono::minutes(30));
    const double exportCpu = bench::CpuSeconds(RUSAGE_SELF) - cpu0, exportWall = Now() - wall0;

    // The peer, as a child process.
    const std::string out = dir.file("peer.wav");
    const double child0 = bench::CpuSeconds(RUSAGE_CHILDREN), peerWall0 = Now();
    const std::string command =
        "ffmpeg -loglevel error -y -i '" + mp3 + "' -ac 1 -ar 8000 -c:a libgsm_ms '" + out + "'";
    const int rc = std::system(command.c_str());
    const double peerCpu = bench::CpuSeconds(RUSAGE_CHILDREN) - child0,
                 peerWall = Now() - peerWall0;

    std::printf("export: %.2f CPU s, %.2f wall s\n", exportCpu, exportWall);
    if (rc != 0) {
        std::printf("peer: ffmpeg failed or is not installed (exit %d)\n", rc);
        return 0;
    }
    std::printf("peer:   %.2f CPU s, %.2f wall s\n", peerCpu, peerWall);
    std::printf("ratio:  CPU %.2f, wall %.2f (goal: CPU <= 0.5)\n", exportCpu / peerCpu,
                exportWall / peerWall);
    return 0;
}
