#pragma once
// Helpers for the codec tests: tones, byte views of sample vectors, the
// dominant frequency of a signal, and a whole signal run through one codec
// stream in pieces.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "audio/chain/WaveFormat.h"
#include "audio/convert/codecs/CodecManager.h"

namespace zt::test {

// The standard output of a shell command, without trailing line breaks.
inline std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// Interleaved 16-bit sine; every channel carries the same tone.
inline std::vector<int16_t> Tone(uint32_t rate, uint16_t channels, double frequency, double seconds,
                                 double amplitude = 10000) {
    const size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(
            std::lrint(amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate)));
        for (uint16_t c = 0; c < channels; ++c) pcm[i * channels + c] = s;
    }
    return pcm;
}

inline std::string Bytes(const std::vector<int16_t>& samples) {
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

inline std::vector<int16_t> Samples(const std::string& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// One channel of interleaved samples.
inline std::vector<int16_t> Channel(const std::vector<int16_t>& pcm, int channels, int channel) {
    std::vector<int16_t> out;
    for (size_t i = channel; i < pcm.size(); i += channels) out.push_back(pcm[i]);
    return out;
}

// The frequency (in steps of 1 Hz between lo and hi) with the most energy
// in the middle half of a mono signal, by Goertzel's recurrence.
inline double DominantFrequency(const std::vector<int16_t>& mono, uint32_t rate, double lo = 50,
                                double hi = 3900) {
    const size_t begin = mono.size() / 4, end = begin + std::min<size_t>(mono.size() / 2, rate);
    double best = 0, bestPower = -1;
    for (double f = lo; f <= hi; f += 1) {
        const double w = 2 * std::cos(2 * std::numbers::pi * f / rate);
        double s1 = 0, s2 = 0;
        for (size_t i = begin; i < end; ++i) {
            const double s0 = mono[i] + w * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - w * s1 * s2;
        if (power > bestPower) bestPower = power, best = f;
    }
    return best;
}

// Root mean square of the middle half of a signal.
inline double Rms(const std::vector<int16_t>& mono) {
    const size_t begin = mono.size() / 4, end = begin + mono.size() / 2;
    double sum = 0;
    for (size_t i = begin; i < end; ++i) sum += double(mono[i]) * mono[i];
    return end > begin ? std::sqrt(sum / double(end - begin)) : 0;
}

// Runs `input` through a fresh stream source → dest in pieces of `piece`
// bytes with block alignment (keeping what a call leaves over), then ends
// the signal. Fails the test on any error.
inline std::string ConvertWhole(const WAVEFORMATEX& source, const WAVEFORMATEX& dest,
                                const std::string& input, uint32_t piece = 4096,
                                uint32_t openFlags = acm::OpenNonRealTime) {
    std::unique_ptr<acm::Stream> stream;
    EXPECT_EQ(acm::StreamOpen(&stream, source, dest, openFlags), acm::Result::Ok);
    if (!stream) return {};
    uint32_t destSize = 0;
    EXPECT_EQ(stream->Size(2 * piece, acm::SizeQuery::DestForSource, destSize), acm::Result::Ok);
    std::vector<uint8_t> src(2 * piece), dst(destSize + 1);
    acm::StreamHeader h;
    h.source = src.data();
    h.sourceLength = uint32_t(src.size());
    h.dest = dst.data();
    h.destLength = uint32_t(dst.size());
    EXPECT_EQ(stream->Prepare(h), acm::Result::Ok);
    std::string out;
    uint32_t held = 0;
    size_t pos = 0;
    for (bool last = false; !last;) {
        const size_t n = std::min<size_t>(piece, input.size() - pos);
        std::memcpy(src.data() + held, input.data() + pos, n);
        pos += n;
        last = pos == input.size();
        h.sourceLength = held + uint32_t(n);
        h.destLength = uint32_t(dst.size());
        EXPECT_EQ(stream->Convert(h, last ? acm::ConvertEnd : acm::ConvertBlockAlign),
                  acm::Result::Ok);
        EXPECT_TRUE(h.status & acm::HeaderDone);
        out.append(reinterpret_cast<const char*>(dst.data()), h.destUsed);
        held = h.sourceLength - h.sourceUsed;
        std::memmove(src.data(), src.data() + h.sourceUsed, held);
    }
    EXPECT_EQ(held, 0u) << "the end left source bytes unconverted";
    EXPECT_EQ(stream->Unprepare(h), acm::Result::Ok);
    return out;
}

}  // namespace zt::test
