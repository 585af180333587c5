#pragma once
// Measuring what a reader made of the clock PCM's signal (AlsaFixture,
// kind Clock): every frame of it carries a function of its absolute index
// n (frames since CLOCK_MONOTONIC's zero at the PCM's rate), so a stretch
// of a recording, even after MP3 coding, can be placed on that time line
// to the frame by cross-correlation. From that follow whether a recording
// is continuous, where frames were lost (+) or repeated (-), and whether two
// files that a cut separates join without a gap.
//
// The search is by normalized cross-correlation of a window (2048 frames
// by default, all channels together) against the signal around an expected
// index. Every channel of the PCM carries the same signal. Its
// autocorrelation at one frame of lag is 0.82; through lame at 64 kbit/s
// a decoded window correlates at 0.7 to 0.97 with the truth (plain to joint
// stereo) and at least 0.06 less one frame either side, so the best lag
// is the true one.
//
// Threads: plain functions without shared state; any thread.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "audio/files/Mpg123TestDecoder.h"

namespace zt::test {

// The clock PCM's sample of absolute frame n on `channel` (the same on all).
int16_t ClockSample(int64_t n, unsigned channel);
// The absolute index of the frame that plays at CLOCK_MONOTONIC time
// `monotonicNs` at `rate` frames per second; ClockFrameNow: at this moment.
int64_t ClockFrameAt(int64_t monotonicNs, unsigned rate);
int64_t ClockFrameNow(unsigned rate);
// Frames [first, first + frames) of the signal, interleaved, exactly as the
// PCM delivers them in 16-bit; ClockSignalBytes as raw little-endian PCM.
std::vector<int16_t> ClockSignal(int64_t first, size_t frames, unsigned channels = 2);
std::string ClockSignalBytes(int64_t first, size_t frames, unsigned channels = 2);

struct ClockMatch {
    int64_t index = 0;         // absolute index of the window's first frame
    double correlation = 0.0;  // normalized, 1 = same shape (0 for silence)
    double gain = 0.0;         // least-squares level of the samples against the signal
};

// Places frames [offset, offset + window) of interleaved `samples`: the
// index within expected ± radius whose signal correlates best with them.
// A window that does not fit the samples gives correlation 0.
ClockMatch FindClockIndex(std::span<const int16_t> samples, unsigned channels, size_t offset,
                          size_t window, int64_t expected, int64_t radius);

struct ClockScanOptions {
    size_t window = 2048;             // frames per correlation window
    size_t step = 22050;              // frames from one window to the next
    int64_t trackRadius = 16;         // search around the expected index
    int64_t relocateRadius = 441000;  // search after a jump (10 s at 44.1 kHz)
    double minCorrelation = 0.5;      // below: the window matched nowhere
};

struct ClockDefect {
    size_t position = 0;  // frame of the samples where the jump lies (first frame after it)
    int64_t frames = 0;   // frames missing (+) or repeated (-) there
    bool operator==(const ClockDefect&) const = default;
};

struct ClockScan {
    bool located = false;    // some window was placed
    int64_t firstIndex = 0;  // index frame 0 holds, by the first window placed
    int64_t endIndex = 0;    // index the frame after the last would hold, by the last
    std::vector<ClockDefect> defects;
    std::vector<size_t> unmatched;  // start of every window placed nowhere (e.g. silence)
    size_t windows = 0;
    double worstCorrelation = 1.0;  // over the windows placed: dropouts filled
    size_t worstPosition = 0;       // with something else pull it down
};

// Checks a whole recording for continuity: a window every `step` frames
// (and one at the very end), the first searched around expectedFirst ±
// firstRadius, each later one around the index the last placed window
// predicts. Where a window lies elsewhere, the jump is reported with the
// frame where it happens (the point between the two windows where the
// samples stop following the one placement and start following the other).
// Two jumps between the same two windows show as one, their sum.
ClockScan ScanClockStream(std::span<const int16_t> samples, unsigned channels,
                          int64_t expectedFirst, int64_t firstRadius,
                          const ClockScanOptions& options = {});

struct ClockJoin {
    bool located = false;   // both sides placed
    int64_t tailEnd = 0;    // index the frame after `before`'s last would hold
    int64_t headIndex = 0;  // index of `after`'s first frame
    int64_t frames = 0;     // headIndex - tailEnd: missing (+) or repeated (-) at the join
};

// Checks the join of two consecutive recordings: the last window of
// `before` is placed around expectedJoin - window ± radius (expectedJoin:
// the index the first frame of `after` should hold), the first window of
// `after` around where `before` ends ± options.relocateRadius.
ClockJoin CheckClockJoin(std::span<const int16_t> before, std::span<const int16_t> after,
                         unsigned channels, int64_t expectedJoin, int64_t radius,
                         const ClockScanOptions& options = {});

// Peer tools, run as child processes: programs this project did not write.
// The full path of `program` found on PATH, or empty.
std::string FindProgram(const std::string& program);
// Decodes an MP3 file with the mpg123 program (gapless, 16-bit); `error`
// says why when ok is false.
DecodedMp3 DecodeMp3WithMpg123Program(const std::string& mp3Path);
// Encodes raw 16-bit little-endian PCM with the lame program at a constant
// bit rate, keeping the sample rate; two channels as joint or plain stereo.
// False (and the program's output in `log`) when it fails.
bool EncodeMp3WithLameProgram(const std::string& pcmBytes, unsigned rate, unsigned channels,
                              unsigned kbps, const std::string& mp3Path, std::string* log = nullptr,
                              bool jointStereo = true);

}  // namespace zt::test
