#pragma once
// The fuzz targets that read files get their input through one temporary
// file per process (in memory when /dev/shm is writable), removed at exit.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zt::fuzz {

// The file for this process.
inline const std::string& InputPath() {
    static const std::string path = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(base) + "/zt-fuzz-input-" + std::to_string(getpid()) + ".bin";
    }();
    static const bool cleanup = [] {
        std::atexit([] { unlink(InputPath().c_str()); });
        return true;
    }();
    (void)cleanup;
    return path;
}

// Writes the input into the file; false when that failed.
inline bool WriteInput(const uint8_t* data, size_t size) {
    FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// A broken promise of the code under test: stop the fuzzer here.
inline void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace zt::fuzz
