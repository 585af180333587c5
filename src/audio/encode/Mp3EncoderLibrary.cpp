#include "audio/encode/Mp3EncoderLibrary.h"

#include <dlfcn.h>
#include <lame/lame.h>

#include <cstring>
#include <unordered_set>

#include "platform/ThreadAnnotations.h"

namespace zt {

namespace {

// Version of this binding, reported by beVersion.
constexpr uint8_t kBindingMajor = 1;
constexpr uint8_t kBindingMinor = 0;

// The lame_* functions, looked up by name. The types come from lame.h; the
// program is not linked against the library.
struct LameApi {
    decltype(&lame_init) init = nullptr;
    decltype(&lame_set_in_samplerate) set_in_samplerate = nullptr;
    decltype(&lame_set_num_channels) set_num_channels = nullptr;
    decltype(&lame_set_out_samplerate) set_out_samplerate = nullptr;
    decltype(&lame_set_brate) set_brate = nullptr;
    decltype(&lame_set_VBR) set_VBR = nullptr;
    decltype(&lame_set_mode) set_mode = nullptr;
    decltype(&lame_set_extension) set_extension = nullptr;
    decltype(&lame_set_error_protection) set_error_protection = nullptr;
    decltype(&lame_set_copyright) set_copyright = nullptr;
    decltype(&lame_set_original) set_original = nullptr;
    decltype(&lame_set_bWriteVbrTag) set_bWriteVbrTag = nullptr;
    decltype(&lame_init_params) init_params = nullptr;
    decltype(&lame_get_framesize) get_framesize = nullptr;
    decltype(&lame_encode_buffer) encode_buffer = nullptr;
    decltype(&lame_encode_buffer_interleaved) encode_buffer_interleaved = nullptr;
    decltype(&lame_encode_flush) encode_flush = nullptr;
    decltype(&lame_get_lametag_frame) get_lametag_frame = nullptr;
    decltype(&lame_close) close = nullptr;
    decltype(&get_lame_version_numerical) version_numerical = nullptr;
    // Optional: without them the defaults serve.
    decltype(&lame_set_write_id3tag_automatic) set_write_id3tag_automatic = nullptr;
    decltype(&get_lame_url) url = nullptr;
};

template <class F>
bool Bind(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(dlsym(lib, name));
    return fn != nullptr;
}

bool BindAll(void* lib, LameApi& api) {
    bool ok = true;
    ok &= Bind(lib, "lame_init", api.init);
    ok &= Bind(lib, "lame_set_in_samplerate", api.set_in_samplerate);
    ok &= Bind(lib, "lame_set_num_channels", api.set_num_channels);
    ok &= Bind(lib, "lame_set_out_samplerate", api.set_out_samplerate);
    ok &= Bind(lib, "lame_set_brate", api.set_brate);
    ok &= Bind(lib, "lame_set_VBR", api.set_VBR);
    ok &= Bind(lib, "lame_set_mode", api.set_mode);
    ok &= Bind(lib, "lame_set_extension", api.set_extension);
    ok &= Bind(lib, "lame_set_error_protection", api.set_error_protection);
    ok &= Bind(lib, "lame_set_copyright", api.set_copyright);
    ok &= Bind(lib, "lame_set_original", api.set_original);
    ok &= Bind(lib, "lame_set_bWriteVbrTag", api.set_bWriteVbrTag);
    ok &= Bind(lib, "lame_init_params", api.init_params);
    ok &= Bind(lib, "lame_get_framesize", api.get_framesize);
    ok &= Bind(lib, "lame_encode_buffer", api.encode_buffer);
    ok &= Bind(lib, "lame_encode_buffer_interleaved", api.encode_buffer_interleaved);
    ok &= Bind(lib, "lame_encode_flush", api.encode_flush);
    ok &= Bind(lib, "lame_get_lametag_frame", api.get_lametag_frame);
    ok &= Bind(lib, "lame_close", api.close);
    ok &= Bind(lib, "get_lame_version_numerical", api.version_numerical);
    Bind(lib, "lame_set_write_id3tag_automatic", api.set_write_id3tag_automatic);
    Bind(lib, "get_lame_url", api.url);
    return ok;
}

struct LameStream {
    lame_global_flags* gfp = nullptr;
    int channels = 2;
    uint32_t samplesPerChunk = 0;
    uint32_t outBufferSize = 0;
    bool flushed = false;
};

class LameEncoderLibrary final : public Mp3EncoderLibrary {
public:
    explicit LameEncoderLibrary(const LameApi& api) : api_(api) {}

    ~LameEncoderLibrary() override {
        MutexLock guard(streamsLock_);
        for (LameStream* s : streams_) {
            api_.close(s->gfp);
            delete s;
        }
    }

    BE_ERR beInitStream(const BE_CONFIG* config, uint32_t* samplesPerChunk, uint32_t* outBufferSize,
                        HBE_STREAM* stream) override {
        if (!config || !samplesPerChunk || !outBufferSize || !stream) return BE_ERR_INVALID_FORMAT;
        if (config->dwConfig != BE_CONFIG_MP3) return BE_ERR_INVALID_FORMAT;
        const BE_CONFIG_MP3_FORMAT& mp3 = config->format.mp3;
        if (mp3.byMode > BE_MP3_MODE_MONO || mp3.dwSampleRate == 0 || mp3.wBitrate == 0)
            return BE_ERR_INVALID_FORMAT_PARAMETERS;

        static const MPEG_mode kModes[] = {STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO};
        const int channels = mp3.byMode == BE_MP3_MODE_MONO ? 1 : 2;

        // LAME fills shared tables the first time a stream is set up.
        MutexLock initGuard(initLock_);
        lame_global_flags* gfp = api_.init();
        if (!gfp) return BE_ERR_NO_MORE_HANDLES;
        bool ok = api_.set_in_samplerate(gfp, static_cast<int>(mp3.dwSampleRate)) == 0 &&
                  api_.set_out_samplerate(gfp, static_cast<int>(mp3.dwSampleRate)) == 0 &&
                  api_.set_num_channels(gfp, channels) == 0 && api_.set_VBR(gfp, vbr_off) == 0 &&
                  api_.set_brate(gfp, mp3.wBitrate) == 0 &&
                  api_.set_mode(gfp, kModes[mp3.byMode]) == 0 &&
                  api_.set_extension(gfp, mp3.bPrivate ? 1 : 0) == 0 &&
                  api_.set_error_protection(gfp, mp3.bCRC ? 1 : 0) == 0 &&
                  api_.set_copyright(gfp, mp3.bCopyright ? 1 : 0) == 0 &&
                  api_.set_original(gfp, mp3.bOriginal ? 1 : 0) == 0 &&
                  api_.set_bWriteVbrTag(gfp, 1) == 0;
        // The stream is the bare MP3 frames: no ID3 tags.
        if (ok && api_.set_write_id3tag_automatic) api_.set_write_id3tag_automatic(gfp, 0);
        if (ok) ok = api_.init_params(gfp) >= 0;
        const int frameSize = ok ? api_.get_framesize(gfp) : 0;
        if (!ok || frameSize <= 0) {
            api_.close(gfp);
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        }

        auto* s = new LameStream;
        s->gfp = gfp;
        s->channels = channels;
        // One MPEG frame of input per call.
        s->samplesPerChunk = static_cast<uint32_t>(frameSize * channels);
        // LAME's worst case for n samples per channel is 1.25 n + 7200 bytes;
        // the same 7200 bytes cover the flush and the info frame.
        s->outBufferSize = static_cast<uint32_t>((5 * frameSize + 3) / 4 + 7200);
        {
            MutexLock guard(streamsLock_);
            streams_.insert(s);
        }
        *samplesPerChunk = s->samplesPerChunk;
        *outBufferSize = s->outBufferSize;
        *stream = reinterpret_cast<HBE_STREAM>(s);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t nSamples, const int16_t* samples,
                         uint8_t* output, uint32_t* outputBytes) override {
        LameStream* s = Find(stream);
        if (!s) return BE_ERR_INVALID_HANDLE;
        if (!output || !outputBytes || (nSamples > 0 && !samples))
            return BE_ERR_INVALID_FORMAT_PARAMETERS;
        *outputBytes = 0;
        if (s->flushed) return BE_ERR_STREAM_FLUSHED;
        // More than one chunk could overrun the output buffer's worst case.
        if (nSamples > s->samplesPerChunk) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        const int frames = static_cast<int>(nSamples) / s->channels;
        if (frames == 0) return BE_ERR_SUCCESSFUL;
        // LAME only reads the samples; its prototypes lack the const.
        short* pcm = const_cast<short*>(reinterpret_cast<const short*>(samples));
        const int n = s->channels == 1
                          ? api_.encode_buffer(s->gfp, pcm, pcm, frames, output,
                                               static_cast<int>(s->outBufferSize))
                          : api_.encode_buffer_interleaved(s->gfp, pcm, frames, output,
                                                           static_cast<int>(s->outBufferSize));
        if (n < 0) return n == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
        *outputBytes = static_cast<uint32_t>(n);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* outputBytes) override {
        LameStream* s = Find(stream);
        if (!s) return BE_ERR_INVALID_HANDLE;
        if (!output || !outputBytes) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        *outputBytes = 0;
        if (s->flushed) return BE_ERR_SUCCESSFUL;
        const int n = api_.encode_flush(s->gfp, output, static_cast<int>(s->outBufferSize));
        s->flushed = true;
        if (n < 0) return BE_ERR_BUFFER_TOO_SMALL;
        *outputBytes = static_cast<uint32_t>(n);
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR beCloseStream(HBE_STREAM stream) override {
        LameStream* s = nullptr;
        {
            MutexLock guard(streamsLock_);
            auto it = streams_.find(reinterpret_cast<LameStream*>(stream));
            if (it == streams_.end()) return BE_ERR_INVALID_HANDLE;
            s = *it;
            streams_.erase(it);
        }
        api_.close(s->gfp);
        delete s;
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR beVersion(BE_VERSION* version) override {
        if (!version) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        std::memset(version, 0, sizeof *version);
        version->byDLLMajorVersion = kBindingMajor;
        version->byDLLMinorVersion = kBindingMinor;
        lame_version_t v{};
        api_.version_numerical(&v);
        version->byMajorVersion = static_cast<uint8_t>(v.major);
        version->byMinorVersion = static_cast<uint8_t>(v.minor);
        if (api_.url) {
            const char* url = api_.url();
            if (url) std::strncpy(version->zHomepage, url, sizeof version->zHomepage - 1);
        }
        return BE_ERR_SUCCESSFUL;
    }

    BE_ERR beInfoFrame(HBE_STREAM stream, uint8_t* output, uint32_t capacity,
                       uint32_t* outputBytes) override {
        LameStream* s = Find(stream);
        if (!s) return BE_ERR_INVALID_HANDLE;
        if (!outputBytes || (capacity > 0 && !output)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
        *outputBytes = 0;
        if (!s->flushed) return BE_ERR_NOT_FLUSHED;
        const size_t n = api_.get_lametag_frame(s->gfp, output, capacity);
        if (n > capacity) return BE_ERR_BUFFER_TOO_SMALL;
        *outputBytes = static_cast<uint32_t>(n);
        return BE_ERR_SUCCESSFUL;
    }

private:
    LameStream* Find(HBE_STREAM stream) EXCLUDES(streamsLock_) {
        MutexLock guard(streamsLock_);
        auto it = streams_.find(reinterpret_cast<LameStream*>(stream));
        return it == streams_.end() ? nullptr : *it;
    }

    LameApi api_;
    // Guards no field: it keeps two stream set-ups from running LAME's
    // table initialisation at once.
    Mutex initLock_ ACQUIRED_BEFORE(streamsLock_);
    Mutex streamsLock_;
    std::unordered_set<LameStream*> streams_ GUARDED_BY(streamsLock_);
};

}  // namespace

std::unique_ptr<Mp3EncoderLibrary> LoadLameEncoderLibrary(const std::string& libraryName) {
    // Never closed: LAME keeps process-wide state, and a binding handed out
    // may outlive its creator's interest in it.
    void* lib = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    LameApi api;
    if (!BindAll(lib, api)) return nullptr;
    return std::make_unique<LameEncoderLibrary>(api);
}

Mp3EncoderLibrary* SharedMp3EncoderLibrary() {
    static Mutex lock;
    static Mp3EncoderLibrary* shared GUARDED_BY(lock) = nullptr;  // lives until the process ends
    MutexLock guard(lock);
    if (!shared) shared = LoadLameEncoderLibrary("libmp3lame.so.0").release();
    return shared;
}

}  // namespace zt
