// Feeds arbitrary bytes to the WAVE reader as a file: opening must either
// succeed or raise EMMWaveError, reading must stay inside the data, and a
// file that opens must survive an append: afterwards it opens again with the
// same format and exactly the appended bytes more.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInputFile.h"
#include "audio/files/Wave.h"

namespace {

using zt::fuzz::Check;
using zt::fuzz::WriteInput;

using zt::fuzz::InputPath;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteInput(data, size)) return 0;
    using namespace zt;

    uint32_t dataSize = 0;
    WaveFormatPtr format;
    try {
        TMMWave wave;
        wave.SetIOBufferSize(8192);
        wave.SetFileName(InputPath());
        Check(wave.IsReadable() && wave.WaveFormat() != nullptr);
        Check(int64_t(wave.DataSize()) <= int64_t(size));
        (void)wave.FormatString();
        (void)wave.SampleLength();
        dataSize = wave.DataSize();
        format = CopyWaveFormat(wave.WaveFormat());

        std::vector<char> buffer(977);
        int64_t total = 0;
        for (;;) {
            const int64_t n = wave.ReadData(buffer.data(), int64_t(buffer.size()));
            Check(n >= 0 && n <= int64_t(buffer.size()));
            if (n == 0) break;
            total += n;
        }
        Check(total == int64_t(dataSize));
        wave.SetTimeFormat(TMMTimeFormats::tfMillisecond);
        wave.SetPosition(wave.Position() / 2);
        Check(wave.DataPosition() >= 0 && wave.DataPosition() <= int64_t(dataSize));
    } catch (const EMMWaveError&) {
        return 0;
    }

    // Append three bytes and read the result back.
    try {
        TMMWave wave;
        wave.SetFileName(InputPath());
        wave.OpenForAppend();
        Check(wave.WriteData("abc", 3) == 3);
        Check(wave.FinishFile());
    } catch (const EMMWaveError&) {
        return 0;  // e.g. the format record follows the data
    }
    try {
        TMMWave wave;
        wave.SetFileName(InputPath());
        Check(wave.DataSize() == dataSize + 3);
        Check(std::memcmp(wave.WaveFormat(), format.get(), WaveFormatSize(format.get())) == 0);
        wave.SetDataPosition(dataSize);
        // A block-aligned seek may land before the old end; read what is left.
        const int64_t left = wave.BytesLeft();
        std::vector<char> rest(size_t(left > 0 ? left : 0));
        Check(wave.ReadData(rest.data(), left) == left);
        Check(left >= 3 && std::memcmp(rest.data() + left - 3, "abc", 3) == 0);
    } catch (const EMMWaveError&) {
        Check(false);
    }
    return 0;
}
