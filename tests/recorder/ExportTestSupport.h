#pragma once
// Helpers for the export tests: a tone, an MP3 of it made by the project's
// own encoder, and an independent reading of a WAV file through sox.

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/chain/ChainTestComponents.h"
#include "audio/chain/WaveFormat.h"
#include "audio/convert/CodecTestSupport.h"
#include "audio/encode/MP3Encoder.h"

namespace zt::test {

// Encodes 44100 Hz stereo PCM into an MP3 file with the recorder's encoder.
inline void EncodeMp3(const std::string& path, const std::vector<int16_t>& pcm,
                      TMMBitrates bitrate = TMMBitrates::br64) {
    TestDriver driver{"WaveIn"};
    TMMMP3Encoder encoder{"MP3"};
    encoder.SetInput(&driver);
    encoder.SetBitrate(bitrate);
    encoder.SetFileName(path);
    driver.SetBufferSize(4096);
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    driver.SetWaveFormat(&format);
    driver.Opened();
    driver.Started();
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const size_t total = pcm.size() * 2;
    for (size_t at = 0; at < total; at += 4096) {
        TStreamBufferHeader header{};
        header.wh.lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes + at));
        header.wh.dwBufferLength = header.wh.dwBytesRecorded =
            static_cast<uint32_t>(std::min<size_t>(4096, total - at));
        driver.BufferReady(&header);
    }
    driver.Stopped();
    driver.Closed();
}

// The whole output of a shell command, bytes as they come ("" when it
// cannot run).
inline std::string CommandBytes(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return out;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0)
        out.append(chunk.data(), n);
    return out;
}

// What sox reads in a WAV file.
struct SoxInfo {
    std::string encoding;
    int rate = 0;
    int channels = 0;
    double seconds = 0;
    std::vector<int16_t> samples;  // decoded by sox, 16-bit, file's rate and channels
};

inline SoxInfo ReadWithSox(const std::string& path) {
    SoxInfo info;
    const std::string q = "'" + path + "'";
    info.encoding = RunCommand("soxi -e " + q + " 2>/dev/null");
    info.rate = std::atoi(RunCommand("soxi -r " + q + " 2>/dev/null").c_str());
    info.channels = std::atoi(RunCommand("soxi -c " + q + " 2>/dev/null").c_str());
    info.seconds = std::atof(RunCommand("soxi -D " + q + " 2>/dev/null").c_str());
    const std::string raw =
        CommandBytes("sox " + q + " -t raw -e signed-integer -b 16 -L - 2>/dev/null");
    info.samples.resize(raw.size() / 2);
    std::memcpy(info.samples.data(), raw.data(), info.samples.size() * 2);
    return info;
}

// The share of the first channel's power that lies at `hz` (Goertzel over
// the whole signal after `skipSeconds`): near 1 for a clean tone of that
// frequency, near 0 for noise or another frequency.
inline double ToneShare(const std::vector<int16_t>& pcm, int channels, int rate, double hz,
                        double skipSeconds = 0.1) {
    const size_t start = static_cast<size_t>(skipSeconds * rate);
    const size_t frames = pcm.size() / channels;
    if (frames <= start + 16) return 0;
    const double w = 2.0 * M_PI * hz / rate, coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0, total = 0;
    for (size_t i = start; i < frames; ++i) {
        const double x = pcm[i * channels];
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
        total += x * x;
    }
    const double n = double(frames - start);
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;  // |X(hz)|^2
    if (total <= 0) return 0;
    // A sine of amplitude A: |X|^2 = (A n / 2)^2, total = A^2 n / 2.
    return power / (total * n / 2.0);
}

}  // namespace zt::test
