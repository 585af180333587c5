#include "recorder/CrowleyExportNames.h"

#include <cstdio>

namespace zt {

namespace {

std::string SafeStationCode(std::string sigla) {
    for (char& c : sigla)
        if (c == '/' || c == '\0') c = '_';
    if (sigla == "." || sigla == "..") sigla = "_";
    return sigla;
}

}  // namespace

std::string CrowleyStamp(TDateTime value) {
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d %02d %02d", d.day, d.month, d.year,
                  t.hour, t.minute, t.second);
    return text;
}

CrowleyExportTarget MakeCrowleyExportTarget(const std::string& exeDir, const std::string& sigla,
                                            TDateTime start, TDateTime end) {
    const std::string station = SafeStationCode(sigla);
    const DateParts d = DecodeDate(start);
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", d.year, d.month, d.day);
    CrowleyExportTarget target;
    target.folder = exeDir + "audiomedia/" + station + "/" + date + "/";
    target.file = station + "_" + CrowleyStamp(start) + "_" + CrowleyStamp(end) + ".wav";
    return target;
}

}  // namespace zt
