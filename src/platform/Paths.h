#pragma once
// The folder the recorder runs from. The program is portable: cfg.ini,
// Audio/, audiomedia/, atualizacoes/ and the language file live beside the
// executable, and that folder must be writable.
//
// Threads: the override is set before any other thread starts (main or a
// test fixture); afterwards it is only read.

#include <string>

namespace zt {

// The executable's folder, ending with "/".
std::string ExecutableDir();
// The executable's full path (/proc/self/exe).
std::string ExecutablePath();

// Makes ExecutableDir() answer the given folder (a trailing "/" is added);
// an empty text restores the real one. For tests and tools.
void SetExecutableDirOverride(const std::string& dir);

}  // namespace zt
