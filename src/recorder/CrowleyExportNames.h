#pragma once
// Where the WAV export of a finished segment goes and what it is called:
//
//   <program folder>audiomedia/<station>/<yyyy-mm-dd>/
//   <station>_<dd-mm-yyyy hh nn ss>_<dd-mm-yyyy hh nn ss>.wav
//
// by the segment's start date (a segment across midnight stays in the folder
// of the day it started) and its start and end to the second. For "RDX" and
// 8 December 2012 15:30:12 to 15:40:12:
//   audiomedia/RDX/2012-12-08/RDX_08-12-2012 15 30 12_08-12-2012 15 40 12.wav
//
// The station code comes from cfg.ini, which an operator may edit by hand:
// a "/" in it would make further folders (and ".." would climb out of the
// export folder), so every "/" becomes "_" and a code of "." or ".." is
// taken as "_". An empty code gives the folder "audiomedia//<date>/" and a
// name that begins with "_", as the recorder always did.
//
// Threads: pure functions.

#include <string>

#include "platform/DateTime.h"

namespace zt {

struct CrowleyExportTarget {
    std::string folder;  // ends with "/"
    std::string file;    // the name alone
    std::string Path() const { return folder + file; }
};

// "dd-mm-yyyy hh nn ss".
std::string CrowleyStamp(TDateTime value);

CrowleyExportTarget MakeCrowleyExportTarget(const std::string& exeDir, const std::string& sigla,
                                            TDateTime start, TDateTime end);

}  // namespace zt
