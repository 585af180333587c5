#pragma once
// Numbered strings. Components take their texts from a table keyed by
// number through one lookup function behind a replaceable pointer, so the
// language file can redirect every numbered text at once.
//
// Threads: the loader is replaced on the main thread at start-up, before
// any worker exists; lookups may then come from any thread.

#include <initializer_list>
#include <string>

namespace zt {

using StringLoader = std::string (*)(int id);

// The text of a numbered string through the current loader.
std::string LoadResString(int id);

// The built-in text of a numbered string, or "" for an unknown number.
std::string BuiltInResString(int id);

// Replaces the loader; nullptr restores the built-in table. Returns the
// previous loader.
StringLoader SetStringLoader(StringLoader loader);

// The numbered string with its "%s" replaced by the values, in order.
std::string FormatResString(int id, std::initializer_list<std::string> values);

// The recorder's own messages.
namespace msg {
inline constexpr int NotRecordingRetrying = 29110;   // reason
inline constexpr int NotRecordingNoSpace = 29111;    // reason
inline constexpr int WriteFailedWillResume = 29112;  // path, reason
inline constexpr int WriteFailed = 29113;            // path, reason
inline constexpr int RenameFailed = 29114;           // final path, provisional path, reason
inline constexpr int RenameNamesTaken = 29115;       // provisional path, final path
inline constexpr int SegmentFileGone = 29116;        // provisional path
inline constexpr int CopyFailed = 29117;             // final path, copy path, reason
inline constexpr int UnknownReason = 29118;
inline constexpr int CaptureStopped = 29119;
inline constexpr int CaptureDidNotStart = 29120;
inline constexpr int SavedSoundCardMissing = 29121;  // card number
}  // namespace msg

}  // namespace zt
