#pragma once
// Numbered strings. Components take their texts from a table keyed by
// number through one lookup function behind a replaceable pointer, so the
// language file can redirect every numbered text at once.
//
// Threads: the loader is replaced on the main thread at start-up, before
// any worker exists; lookups may then come from any thread.

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

}  // namespace zt
