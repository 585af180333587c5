#pragma once
// Shared pieces of the pump and audio file tests: test signals, MP3 and WAV
// files made by the project's own encoder and writer, a sink that records
// what a pump pushes, and a wait for the pump's end on the main thread.
//
// Threads: the sink's record is written by the pump's worker and read by
// the test on the main thread after the pump has stopped (the stop message
// orders the two); a mutex guards it anyway.

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/chain/DSPComponent.h"
#include "audio/encode/Mp3EncoderLibrary.h"
#include "audio/files/Wave.h"

namespace zt::test {

// Interleaved 16-bit samples: a different tone per channel, so that a swap
// or a lost channel shows.
inline std::vector<int16_t> TonePcm(uint32_t rate, int channels, double seconds) {
    const size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> pcm(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            pcm[i * channels + ch] = static_cast<int16_t>(
                9000 * std::sin(2 * M_PI * (440.0 + 330.0 * ch) * double(i) / rate));
    return pcm;
}

inline std::string PcmBytes(const std::vector<int16_t>& pcm) {
    return std::string(reinterpret_cast<const char*>(pcm.data()), pcm.size() * 2);
}

// An MP3 stream made by the encoder library the recorder uses, with its
// info frame in place (gapless). Empty when the library is missing.
inline std::string EncodeMp3(const std::vector<int16_t>& pcm, uint32_t rate, int channels,
                             uint16_t kbps) {
    Mp3EncoderLibrary* lib = SharedMp3EncoderLibrary();
    if (!lib) return {};
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_MP3;
    config.format.mp3.dwSampleRate = rate;
    config.format.mp3.byMode = channels == 1 ? BE_MP3_MODE_MONO : BE_MP3_MODE_JSTEREO;
    config.format.mp3.wBitrate = kbps;
    uint32_t chunk = 0, outSize = 0;
    HBE_STREAM stream = 0;
    if (lib->beInitStream(&config, &chunk, &outSize, &stream) != BE_ERR_SUCCESSFUL) return {};
    std::vector<uint8_t> out(outSize);
    std::string mp3;
    for (size_t at = 0; at < pcm.size(); at += chunk) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, pcm.size() - at));
        uint32_t got = 0;
        lib->beEncodeChunk(stream, n, pcm.data() + at, out.data(), &got);
        mp3.append(reinterpret_cast<const char*>(out.data()), got);
    }
    uint32_t got = 0;
    lib->beDeinitStream(stream, out.data(), &got);
    mp3.append(reinterpret_cast<const char*>(out.data()), got);
    if (lib->beInfoFrame(stream, out.data(), outSize, &got) == BE_ERR_SUCCESSFUL && got > 0 &&
        got <= mp3.size())
        mp3.replace(0, got, reinterpret_cast<const char*>(out.data()), got);
    lib->beCloseStream(stream);
    return mp3;
}

// A PCM WAV file written by the project's wave writer.
inline void WritePcmWave(const std::string& path, const std::vector<int16_t>& pcm, uint32_t rate,
                         uint16_t channels) {
    const WAVEFORMATEX format = MakePCMFormat(16, channels, rate);
    TMMWave wave;
    wave.CreateFile(path, &format);
    wave.WriteData(pcm.data(), static_cast<int64_t>(pcm.size() * 2));
    wave.FinishFile();
}

inline void PutLe(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// A RIFF WAVE file whose "fmt " chunk carries `tag` and whose data chunk
// holds `data` as it stands (an MP3 stream for tags 80 and 85).
inline std::string RiffWave(uint16_t tag, uint16_t channels, uint32_t rate,
                            const std::string& data) {
    std::string fmt;
    PutLe(fmt, tag, 2);
    PutLe(fmt, channels, 2);
    PutLe(fmt, rate, 4);
    PutLe(fmt, 16000, 4);  // bytes per second of the coded data
    PutLe(fmt, 1, 2);      // block align
    PutLe(fmt, 0, 2);      // bits
    PutLe(fmt, 12, 2);     // cbSize: the codec's extra bytes follow
    fmt.append(12, '\0');
    std::string body = "WAVE";
    body += "fmt ";
    PutLe(body, static_cast<uint32_t>(fmt.size()), 4);
    body += fmt;
    body += "data";
    PutLe(body, static_cast<uint32_t>(data.size()), 4);
    body += data;
    if (data.size() % 2) body.push_back('\0');
    std::string file = "RIFF";
    PutLe(file, static_cast<uint32_t>(body.size()), 4);
    return file + body;
}

// The end of a pull chain: records every buffer pushed into it, and the
// threads they came on.
class PumpSink : public TMMDSPComponent {
public:
    using TMMDSPComponent::TMMDSPComponent;
    bool HasInputSide() const override { return true; }
    bool HasOutputSide() const override { return true; }

    void BufferReady(PWaveHdr buffer) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            bytes_.append(buffer->wh.lpData, buffer->wh.dwBytesRecorded);
            ++buffers_;
            if (std::this_thread::get_id() != mainThread_) ++offMainThread_;
        }
        TMMDSPComponent::BufferReady(buffer);
    }
    std::string Bytes() const {
        std::lock_guard<std::mutex> guard(lock_);
        return bytes_;
    }
    int Buffers() const {
        std::lock_guard<std::mutex> guard(lock_);
        return buffers_;
    }
    int BuffersOffMainThread() const {
        std::lock_guard<std::mutex> guard(lock_);
        return offMainThread_;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(lock_);
        bytes_.clear();
        buffers_ = offMainThread_ = 0;
    }

private:
    mutable std::mutex lock_;
    std::string bytes_;
    int buffers_ = 0;
    int offMainThread_ = 0;
    std::thread::id mainThread_ = std::this_thread::get_id();
};

// Runs the main thread's event loop until done() holds. The limit only
// keeps a broken pump from hanging the test run; nothing is measured.
inline bool RunUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace zt::test
