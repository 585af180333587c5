#include "recorder/ReadOuts.h"

#include <cmath>

#include "platform/DiskSpace.h"

namespace zt {

std::string PadLeft(const std::string& text, char fill, int width) {
    size_t first = 0;
    while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
    std::string trimmed = text.substr(first);
    if (width <= 0) return {};
    const size_t w = static_cast<size_t>(width);
    if (trimmed.size() > w) return trimmed.substr(0, w);
    return std::string(w - trimmed.size(), fill) + trimmed;
}

std::optional<DiskFigures> MeasureDiskFigures(const std::string& folder) {
    if (folder.empty()) return std::nullopt;
    const std::optional<DiskSpace> space = MeasureDiskSpace(folder);
    if (!space) return std::nullopt;
    DiskFigures figures;
    figures.freeMB = static_cast<int64_t>(space->freeBytes / 1024 / 1024);
    figures.totalMB = static_cast<int64_t>(space->totalBytes / 1024 / 1024);
    if (figures.totalMB <= 0) return std::nullopt;
    return figures;
}

int UsedPercentPerBuffer(const DiskFigures& figures) {
    if (figures.totalMB <= 0) return 0;
    const double ratio = double(figures.UsedMB()) / double(figures.totalMB) * 100.0;
    return static_cast<int>(std::nearbyint(ratio));
}

int UsedPercentOnShow(const DiskFigures& figures) {
    if (figures.totalMB <= 0) return 0;
    const int64_t product = 100 * figures.UsedMB();
    return static_cast<int>(std::nearbyint(double(product) / double(figures.totalMB)));
}

std::string MegabytesText(int64_t megabytes) {
    return std::to_string(megabytes) + " MB";
}

}  // namespace zt
