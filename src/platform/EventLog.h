#pragma once
// The program's event log: one line per event that an engineer may need to
// find later (audio that could not be recorded, a file that could not be
// copied), with its local date and time, appended to a text file and
// echoed on standard error. A message box tells the operator at the time;
// the log keeps the record after the box has been closed.
//
// The file is "ZeltaTresona.log" beside the executable (set by the program
// at start-up); with no file set, lines go to standard error only. A line
// that cannot be written to the file is still echoed; the log never raises.
//
// Threads: any thread. One mutex orders the lines; the file is opened,
// appended to (O_APPEND) and closed per line, so another program may rotate
// or remove it at any time. Callers on the main thread log only rare events.

#include <string>

namespace zt {

inline constexpr const char* kEventLogName = "ZeltaTresona.log";

void SetEventLogPath(const std::string& path);
std::string EventLogPath();

// Appends "dd/MM/yyyy hh:nn:ss <text>" (line breaks in text become spaces).
void LogEvent(const std::string& text);

}  // namespace zt
