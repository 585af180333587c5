// Feeds arbitrary bytes to the audio file source as a file: naming it must
// either give a file (MP3 through the decoder, WAV through the wave reader)
// or raise EMMAudioError; a file that is taken must then answer pulls with
// PCM in its format, never more bytes than asked, and end by itself.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInputFile.h"
#include "audio/chain/MMErrors.h"
#include "audio/chain/SoundComponent.h"
#include "audio/files/AudioFile.h"

namespace {

using zt::fuzz::Check;
using zt::fuzz::WriteInput;

using zt::fuzz::InputPath;

// Drives the audio file's segment the way the pump does, on this thread.
class Driver : public zt::TMMCustomSoundComponent {
public:
    using TMMCustomSoundComponent::TMMCustomSoundComponent;
    bool HasInputSide() const override { return true; }
    void SetNumBuffers(int32_t) override {}
    int32_t GetNumBuffers() const override { return 1; }
    void SetDeviceID(int32_t) override {}
    int32_t GetDeviceID() const override { return 0; }
    void SetProductName(const std::string&) override {}
    std::string GetProductName() const override { return {}; }
    void SetCallBackMode(zt::TMMCBMode) override {}
    zt::TMMCBMode GetCallBackMode() const override { return zt::TMMCBMode::cmThread; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteInput(data, size)) return 0;
    using namespace zt;

    TMMAudioFile file("AudioFile");
    Driver driver("Driver");
    driver.SetInput(&file);
    try {
        file.SetFileName(InputPath());
    } catch (const EMMAudioError&) {
        Check(!file.HasFile());
        Check(file.GetWaveFormat() == nullptr);
        return 0;
    }
    if (!file.HasFile()) return 0;
    const WAVEFORMATEX* format = file.GetWaveFormat();
    Check(format != nullptr && format->wFormatTag == WAVE_FORMAT_PCM);
    const uint32_t block = format->nBlockAlign;

    driver.SetBufferSize(4096);
    driver.Opened();
    driver.Started();
    std::vector<char> area(4096 + 64, '\x5a');
    TStreamBufferHeader header{};
    header.wh.lpData = area.data();
    bool ended = false;
    for (int round = 0; round < 8 && !ended; ++round) {
        header.wh.dwBufferLength = 4096;
        header.wh.dwBytesRecorded = 0;
        bool more = false;
        try {
            file.BufferLoad(&header, more);
        } catch (const EMMMpegError&) {
            break;  // a stream that fails midway reports it
        }
        Check(header.wh.dwBufferLength == 4096);
        Check(header.wh.dwBytesRecorded <= 4096);
        Check(area[4096] == '\x5a');  // nothing written past the request
        if (file.FileType() == TMMAudioFileType::ftMpeg && more)
            Check(header.wh.dwBytesRecorded % block == 0);
        ended = header.wh.dwBytesRecorded == 0 || !more;
    }
    driver.Stopped();
    driver.Closed();
    return 0;
}
