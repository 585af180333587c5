#include "support/ClockSignal.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "fixtures/alsa/clock_signal.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace zt::test {

namespace {

// Above this many multiply-adds per channel a search goes through the FFT.
constexpr double kDirectLimit = 4.0e6;

// Frames [first, first + frames) of the signal (one channel, as every
// channel carries the same): the noise is hashed once per frame and the
// filter slides over it, which gives the same integers as zt_clock_sample
// at a fraction of the cost.
std::vector<double> MonoSignal(int64_t first, size_t frames) {
    const size_t taps = ZT_CLOCK_TAPS;
    std::vector<int32_t> noise(frames + taps - 1);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = zt_clock_noise(first - int64_t(taps - 1) + int64_t(i));
    std::vector<double> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        int64_t acc = 0;
        // Sample first + i sums taps[k] * noise(first + i - k); that noise
        // sits at i + taps - 1 - k.
        for (size_t k = 0; k < taps; ++k)
            acc += int64_t(zt_clock_taps[k]) * noise[i + taps - 1 - k];
        out[i] = zt_clock_from_sum(acc);
    }
    return out;
}

void Fft(std::vector<std::complex<double>>& a, bool inverse) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = 2 * M_PI / double(len) * (inverse ? 1 : -1);
        const std::complex<double> unit(std::cos(angle), std::sin(angle));
        std::vector<std::complex<double>> twiddle(len / 2);
        twiddle[0] = 1;
        for (size_t k = 1; k < len / 2; ++k) {
            // Recomputed every so often so that rounding does not build up.
            twiddle[k] = (k % 64 == 0) ? std::polar(1.0, angle * double(k)) : twiddle[k - 1] * unit;
        }
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * twiddle[k];
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    if (inverse)
        for (auto& x : a) x /= double(n);
}

// corr[l] = sum over k < x.size() of x[k] * ref[l + k], for l in [0, lags).
void AddCorrelation(const std::vector<double>& x, const std::vector<double>& ref, size_t lags,
                    std::vector<double>& corr) {
    const size_t w = x.size();
    if (double(lags) * double(w) <= kDirectLimit) {
        for (size_t l = 0; l < lags; ++l) {
            double sum = 0;
            for (size_t k = 0; k < w; ++k) sum += x[k] * ref[l + k];
            corr[l] += sum;
        }
        return;
    }
    size_t n = 1;
    while (n < ref.size()) n <<= 1;
    std::vector<std::complex<double>> fr(n), fx(n);
    for (size_t i = 0; i < ref.size(); ++i) fr[i] = ref[i];
    for (size_t i = 0; i < w; ++i) fx[i] = x[i];
    Fft(fr, false);
    Fft(fx, false);
    for (size_t i = 0; i < n; ++i) fr[i] *= std::conj(fx[i]);
    Fft(fr, true);
    // Circular correlation; no lag below `lags` wraps since n >= ref.size().
    for (size_t l = 0; l < lags; ++l) corr[l] += fr[l].real();
}

double WindowEnergy(std::span<const int16_t> samples, unsigned channels, size_t offset,
                    size_t window) {
    double e = 0;
    for (size_t i = offset * channels; i < (offset + window) * channels; ++i)
        e += double(samples[i]) * samples[i];
    return e;
}

// Where, in frames [lo, hi) of `samples`, the placement changes from
// "frame p holds index p + a" to "p + b": the s minimizing the squared error
// of the first placement before s plus that of the second from s on.
size_t FindCut(std::span<const int16_t> samples, unsigned channels, size_t lo, size_t hi, int64_t a,
               double gainA, int64_t b, double gainB) {
    const size_t len = hi - lo;
    std::vector<double> diff(len, 0.0);
    const std::vector<double> ra = MonoSignal(int64_t(lo) + a, len);
    const std::vector<double> rb = MonoSignal(int64_t(lo) + b, len);
    for (unsigned c = 0; c < channels; ++c) {
        for (size_t i = 0; i < len; ++i) {
            const double x = samples[(lo + i) * channels + c];
            const double ea = x - gainA * ra[i], eb = x - gainB * rb[i];
            diff[i] += ea * ea - eb * eb;
        }
    }
    double run = 0, best = 0;
    size_t cut = lo;
    for (size_t i = 0; i < len; ++i) {
        run += diff[i];
        if (run < best) {
            best = run;
            cut = lo + i + 1;
        }
    }
    return cut;
}

// Searches ever wider around `expected` until a placement reaches
// minCorrelation: most jumps are small, and a wide search costs a large FFT.
// A wrong lag never comes near the threshold (unrelated noise correlates
// at about 0.03 over a window), so the narrower searches cannot mislead.
ClockMatch Relocate(std::span<const int16_t> samples, unsigned channels, size_t offset,
                    int64_t expected, const ClockScanOptions& options) {
    ClockMatch m;
    for (int64_t radius = 4096;; radius *= 16) {
        radius = std::min(radius, options.relocateRadius);
        m = FindClockIndex(samples, channels, offset, options.window, expected, radius);
        if (m.correlation >= options.minCorrelation || radius == options.relocateRadius) return m;
    }
}

}  // namespace

int16_t ClockSample(int64_t n, unsigned /*channel*/) {
    return zt_clock_sample(n);
}

int64_t ClockFrameAt(int64_t monotonicNs, unsigned rate) {
    return zt_clock_frame_at(monotonicNs / 1000000000, monotonicNs % 1000000000, rate);
}

int64_t ClockFrameNow(unsigned rate) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return zt_clock_frame_at(now.tv_sec, now.tv_nsec, rate);
}

std::vector<int16_t> ClockSignal(int64_t first, size_t frames, unsigned channels) {
    std::vector<int16_t> out(frames * channels);
    const std::vector<double> mono = MonoSignal(first, frames);
    for (size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < channels; ++c) out[i * channels + c] = int16_t(mono[i]);
    return out;
}

std::string ClockSignalBytes(int64_t first, size_t frames, unsigned channels) {
    const std::vector<int16_t> samples = ClockSignal(first, frames, channels);
    std::string bytes(samples.size() * 2, '\0');
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto u = uint16_t(samples[i]);
        bytes[2 * i] = char(u & 0xFF);
        bytes[2 * i + 1] = char(u >> 8);
    }
    return bytes;
}

ClockMatch FindClockIndex(std::span<const int16_t> samples, unsigned channels, size_t offset,
                          size_t window, int64_t expected, int64_t radius) {
    ClockMatch match;
    match.index = expected;
    if (channels == 0 || window == 0 || radius < 0 || (offset + window) * channels > samples.size())
        return match;
    const size_t lags = size_t(2 * radius + 1);
    const int64_t first = expected - radius;
    std::vector<double> corr(lags, 0.0), refEnergy(lags, 0.0);
    // Every channel carries the same signal, so the channels' correlations
    // add up to that of their sum; the energies are kept per channel, which
    // keeps the measure normalized (1 only when every channel matches).
    std::vector<double> x(window, 0.0);
    double xEnergy = 0;
    for (size_t k = 0; k < window; ++k) {
        for (unsigned c = 0; c < channels; ++c) {
            const double v = samples[(offset + k) * channels + c];
            x[k] += v;
            xEnergy += v * v;
        }
    }
    const std::vector<double> ref = MonoSignal(first, lags + window - 1);
    AddCorrelation(x, ref, lags, corr);
    // Energy of ref[l, l + window) by a sliding sum (exact in doubles:
    // integers far below 2^53), once per channel.
    double e = 0;
    for (size_t k = 0; k < window; ++k) e += ref[k] * ref[k];
    for (size_t l = 0; l < lags; ++l) {
        refEnergy[l] = e * channels;
        if (l + 1 < lags) e += ref[l + window] * ref[l + window] - ref[l] * ref[l];
    }
    if (xEnergy <= 0) return match;
    match.correlation = -2;
    for (size_t l = 0; l < lags; ++l) {
        if (refEnergy[l] <= 0) continue;
        const double ncc = corr[l] / std::sqrt(xEnergy * refEnergy[l]);
        if (ncc > match.correlation) {
            match.correlation = ncc;
            match.index = first + int64_t(l);
            match.gain = corr[l] / refEnergy[l];
        }
    }
    if (match.correlation < -1) match.correlation = 0;
    return match;
}

ClockScan ScanClockStream(std::span<const int16_t> samples, unsigned channels,
                          int64_t expectedFirst, int64_t firstRadius,
                          const ClockScanOptions& options) {
    ClockScan scan;
    if (channels == 0) return scan;
    const size_t frames = samples.size() / channels;
    const size_t w = options.window;
    if (w == 0 || frames < w) return scan;
    std::vector<size_t> positions;
    for (size_t p = 0; p + w <= frames; p += std::max<size_t>(options.step, 1))
        positions.push_back(p);
    if (positions.back() != frames - w) positions.push_back(frames - w);

    // The reference RMS is about 9200; a window a hundred times quieter is
    // silence, not worth a wide search.
    const double silence = double(w) * channels * 92.0 * 92.0;
    bool have = false;
    size_t prevPos = 0;
    int64_t prevIndex = 0;
    double prevGain = 1;
    for (const size_t p : positions) {
        ++scan.windows;
        const bool quiet = WindowEnergy(samples, channels, p, w) < silence;
        if (!have) {
            const ClockMatch m = quiet ? ClockMatch{}
                                       : FindClockIndex(samples, channels, p, w,
                                                        expectedFirst + int64_t(p), firstRadius);
            if (quiet || m.correlation < options.minCorrelation) {
                scan.unmatched.push_back(p);
                continue;
            }
            have = true;
            scan.located = true;
            scan.firstIndex = m.index - int64_t(p);
            scan.worstCorrelation = m.correlation;
            scan.worstPosition = p;
            prevPos = p;
            prevIndex = m.index;
            prevGain = m.gain;
            continue;
        }
        const int64_t expected = prevIndex + int64_t(p - prevPos);
        ClockMatch m = quiet
                           ? ClockMatch{}
                           : FindClockIndex(samples, channels, p, w, expected, options.trackRadius);
        if (!quiet && (m.correlation < options.minCorrelation || m.index != expected))
            m = Relocate(samples, channels, p, expected, options);
        if (quiet || m.correlation < options.minCorrelation) {
            scan.unmatched.push_back(p);
            continue;
        }
        if (m.correlation < scan.worstCorrelation) {
            scan.worstCorrelation = m.correlation;
            scan.worstPosition = p;
        }
        if (m.index != expected) {
            const size_t cut =
                FindCut(samples, channels, prevPos, p + w, prevIndex - int64_t(prevPos), prevGain,
                        m.index - int64_t(p), m.gain);
            scan.defects.push_back({cut, m.index - expected});
        }
        prevPos = p;
        prevIndex = m.index;
        prevGain = m.gain;
    }
    if (have) scan.endIndex = prevIndex + int64_t(frames - prevPos);
    return scan;
}

ClockJoin CheckClockJoin(std::span<const int16_t> before, std::span<const int16_t> after,
                         unsigned channels, int64_t expectedJoin, int64_t radius,
                         const ClockScanOptions& options) {
    ClockJoin join;
    if (channels == 0) return join;
    const size_t w = options.window;
    const size_t beforeFrames = before.size() / channels;
    if (beforeFrames < w || after.size() / channels < w) return join;
    const ClockMatch tail =
        FindClockIndex(before, channels, beforeFrames - w, w, expectedJoin - int64_t(w), radius);
    if (tail.correlation < options.minCorrelation) return join;
    join.tailEnd = tail.index + int64_t(w);
    ClockMatch head = FindClockIndex(after, channels, 0, w, join.tailEnd, options.trackRadius);
    if (head.correlation < options.minCorrelation || head.index != join.tailEnd)
        head = Relocate(after, channels, 0, join.tailEnd, options);
    if (head.correlation < options.minCorrelation) return join;
    join.located = true;
    join.headIndex = head.index;
    join.frames = head.index - join.tailEnd;
    return join;
}

std::string FindProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

namespace {

uint32_t Le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

bool RunProgram(const std::string& program, const std::vector<std::string>& args,
                std::string* output) {
    const std::string path = FindProgram(program);
    if (path.empty()) {
        if (output) *output = program + " is not installed";
        return false;
    }
    ChildProcess child(path, args);
    const bool ended = child.Started() && child.WaitForExit(std::chrono::minutes(5));
    if (output) *output = child.Output();
    return ended && child.ExitedNormally() && child.ExitCode() == 0;
}

}  // namespace

DecodedMp3 DecodeMp3WithMpg123Program(const std::string& mp3Path) {
    DecodedMp3 result;
    TempDir dir;
    const std::string wav = dir.file("decoded.wav");
    std::string log;
    // A WAV rather than raw output, so that its header states the rate and
    // channels the decoder chose.
    if (!RunProgram("mpg123", {"-q", "-e", "s16", "-w", wav, mp3Path}, &log)) {
        result.error = "mpg123 failed: " + log;
        return result;
    }
    const std::string bytes = ReadFileBytes(wav);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        result.error = "mpg123 wrote no WAV file";
        return result;
    }
    int bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        size_t size = Le32(bytes, at + 4);
        const size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            result.channels = Le16(bytes, body + 2);
            result.rate = long(Le32(bytes, body + 4));
            bits = Le16(bytes, body + 14);
        } else if (id == "data") {
            // A writer that could not seek back leaves the size unset.
            size = std::min(size, bytes.size() - body);
            if (bits != 16 || result.channels == 0) {
                result.error = "mpg123 wrote no 16-bit WAV";
                return result;
            }
            result.samples.resize(size / 2);
            for (size_t i = 0; i < result.samples.size(); ++i)
                result.samples[i] = int16_t(Le16(bytes, body + 2 * i));
            result.ok = true;
            return result;
        }
        at = body + size + (size & 1);
    }
    result.error = "mpg123's WAV file has no data";
    return result;
}

bool EncodeMp3WithLameProgram(const std::string& pcmBytes, unsigned rate, unsigned channels,
                              unsigned kbps, const std::string& mp3Path, std::string* log,
                              bool jointStereo) {
    TempDir dir;
    const std::string raw = dir.file("input.raw");
    WriteFileBytes(raw, pcmBytes);
    char khz[32];
    std::snprintf(khz, sizeof khz, "%g", rate / 1000.0);
    // --resample keeps the input's rate: at low bit rates lame would
    // otherwise pick a lower one.
    return RunProgram("lame",
                      {"--quiet", "-r", "-s", khz, "--bitwidth", "16", "--signed",
                       "--little-endian", "-m", channels == 1 ? "m" : (jointStereo ? "j" : "s"),
                       "-b", std::to_string(kbps), "--cbr", "--resample", khz, raw, mp3Path},
                      log);
}

}  // namespace zt::test
