#pragma once
// The texts and figures the main window shows about a recording: the
// two-digit day counter and the space of the recording drive.
//
// Threads: pure functions (MeasureDiskFigures asks the file system), callable
// from any thread; the recorder calls them on the main thread.

#include <cstdint>
#include <optional>
#include <string>

namespace zt {

// The text with its leading blanks removed; cut to its first `width`
// characters when longer, else `fill` prepended up to `width`.
// PadLeft("7", '0', 2) == "07", PadLeft("123", '0', 2) == "12".
std::string PadLeft(const std::string& text, char fill, int width);

// Free and total MiB of the drive that holds a folder.
struct DiskFigures {
    int64_t freeMB = 0;
    int64_t totalMB = 0;

    int64_t UsedMB() const { return totalMB - freeMB; }
};

// Measures the drive of `folder` (the nearest existing ancestor when the
// folder itself is missing). nullopt when it cannot be measured or its size
// reads as 0: no figure is then shown and the low-space guard never acts.
std::optional<DiskFigures> MeasureDiskFigures(const std::string& folder);

// Used percentage as the per-buffer read-out computes it: used / total x 100
// in floating point, halves to the even neighbour.
int UsedPercentPerBuffer(const DiskFigures& figures);
// Used percentage as showing the window computes it: 100 x used taken as an
// integer first, then divided by total and rounded (halves to even).
int UsedPercentOnShow(const DiskFigures& figures);

// "<n> MB", the read-out of a size in MiB.
std::string MegabytesText(int64_t megabytes);
// What the free and used read-outs show while the drive cannot be measured.
inline constexpr const char* kUnmeasuredMegabytes = "-- MB";

}  // namespace zt
