#include "audio/files/Mpg123Decoder.h"

#include <dlfcn.h>
// The unsuffixed names are the ones the library exports; off_t is 64-bit
// on the platforms this program is built for.
#define MPG123_NO_LARGENAME
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/chain/DSPThread.h"
#include "audio/chain/MMErrors.h"
#include "platform/Dialogs.h"

namespace zt {

// The mpg123_* functions, looked up by name; the types come from mpg123.h.
struct Mpg123Api {
    decltype(&mpg123_init) init = nullptr;
    decltype(&mpg123_new) create = nullptr;
    decltype(&mpg123_delete) destroy = nullptr;
    decltype(&mpg123_param2) param = nullptr;
    decltype(&mpg123_format_none) format_none = nullptr;
    decltype(&mpg123_format) format = nullptr;
    decltype(&mpg123_open) open = nullptr;
    decltype(&mpg123_close) close = nullptr;
    decltype(&mpg123_getformat) getformat = nullptr;
    decltype(&mpg123_read) read = nullptr;
    decltype(&mpg123_seek) seek = nullptr;
    decltype(&mpg123_scan) scan = nullptr;
    decltype(&mpg123_length) length = nullptr;
    decltype(&mpg123_framelength) framelength = nullptr;
    decltype(&mpg123_info2) info = nullptr;
    decltype(&mpg123_plain_strerror) plain_strerror = nullptr;
    decltype(&mpg123_errcode) errcode = nullptr;
    // Optional: libraries without it always scan the whole stream.
    decltype(&mpg123_getstate) getstate = nullptr;
};

namespace {

// The API level the binding is written for (libmpg123's own numbering).
constexpr int kBindingVersion = MPG123_API_VERSION;
// Decoded bytes fetched from the library per step.
constexpr size_t kBlockBytes = 16384;
constexpr long kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

// How often the synthesis may halve `rate` (at most twice) and still give
// an output rate the handle accepts that is not below `minimum`.
int DownSampleSteps(long rate, int minimum) {
    if (minimum <= 0) return 0;
    int steps = 0;
    while (steps < 2) {
        const long next = rate >> (steps + 1);
        if ((rate & ((2L << steps) - 1)) != 0 || next < minimum ||
            std::find(std::begin(kRates), std::end(kRates), next) == std::end(kRates))
            break;
        ++steps;
    }
    return steps;
}

template <class F>
bool Bind(void* lib, const char* name, F& fn) {
    fn = reinterpret_cast<F>(dlsym(lib, name));
    return fn != nullptr;
}

bool BindAll(void* lib, Mpg123Api& api) {
    bool ok = true;
    ok &= Bind(lib, "mpg123_init", api.init);
    ok &= Bind(lib, "mpg123_new", api.create);
    ok &= Bind(lib, "mpg123_delete", api.destroy);
    // Older libraries have mpg123_param only, with the same arguments.
    if (!Bind(lib, "mpg123_param2", api.param)) ok &= Bind(lib, "mpg123_param", api.param);
    ok &= Bind(lib, "mpg123_format_none", api.format_none);
    ok &= Bind(lib, "mpg123_format", api.format);
    ok &= Bind(lib, "mpg123_open", api.open);
    ok &= Bind(lib, "mpg123_close", api.close);
    ok &= Bind(lib, "mpg123_getformat", api.getformat);
    ok &= Bind(lib, "mpg123_read", api.read);
    ok &= Bind(lib, "mpg123_seek", api.seek);
    ok &= Bind(lib, "mpg123_scan", api.scan);
    ok &= Bind(lib, "mpg123_length", api.length);
    ok &= Bind(lib, "mpg123_framelength", api.framelength);
    if (!Bind(lib, "mpg123_info2", api.info)) ok &= Bind(lib, "mpg123_info", api.info);
    ok &= Bind(lib, "mpg123_plain_strerror", api.plain_strerror);
    ok &= Bind(lib, "mpg123_errcode", api.errcode);
    if (!Bind(lib, "mpg123_getstate2", api.getstate)) Bind(lib, "mpg123_getstate", api.getstate);
    return ok;
}

mpg123_handle* H(void* p) {
    return static_cast<mpg123_handle*>(p);
}

[[noreturn]] void Fail(const std::string& text) {
    throw EMMMpegError(text);
}

}  // namespace

// ---- library and loader --------------------------------------------------------

MpegDecoderLibrary::~MpegDecoderLibrary() = default;

std::string MpegDecoderLibrary::ErrorText(int code) const {
    const char* text = api_ && api_->plain_strerror ? api_->plain_strerror(code) : nullptr;
    std::string s = text ? text : "Unknown decoder error";
    if (s.size() > 255) s.resize(255);
    return s;
}

MpegDecoderLoader::MpegDecoderLoader(std::string libraryName)
    : libraryName_(std::move(libraryName)) {}

MpegDecoderLoader::~MpegDecoderLoader() = default;

MpegDecoderLibrary* MpegDecoderLoader::Get() {
    std::string dialog;
    MpegDecoderLibrary* result = nullptr;
    {
        MutexLock guard(lock_);
        if (tried_) return library_.get();
        tried_ = true;
        // Kept loaded for the life of the process: decoder objects may
        // outlive any one owner of the binding.
        void* lib = dlopen(libraryName_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            dialog = LoadResString(msg::UnableToLoad) + " " + libraryName_;
        } else {
            auto library = std::unique_ptr<MpegDecoderLibrary>(new MpegDecoderLibrary);
            library->fileName_ = libraryName_;
            library->api_ = std::make_unique<Mpg123Api>();
            library->version_ = BindAll(lib, *library->api_) ? kBindingVersion : 0;
            if (library->version_ < MpegDecoderLibrary::kMinVersion) {
                dialog = "Invalid Mpeg Decoder DLL version";
            } else {
                library->api_->init();
                library_ = std::move(library);
            }
        }
        result = library_.get();
    }
    // The dialog belongs to the main thread; elsewhere the exception of the
    // decoder object carries the failure alone.
    if (!dialog.empty() && TMMDSPThread::OnMainThread()) CurrentDialogs().Error(dialog);
    return result;
}

MpegDecoderLoader& SharedMpegDecoderLoader() {
    static MpegDecoderLoader loader(kMpegDecoderLibraryName);
    return loader;
}

// ---- decoder instance ----------------------------------------------------------------

TMMMpeg::TMMMpeg(MpegDecoderLoader& loader) : lib_(loader.Get()) {
    if (!lib_) Fail(LoadResString(msg::UnableToLoad) + " " + loader.LibraryName());
    // A handle proves that the library can create instances at all.
    int error = 0;
    void* h = NewHandle(error, false);
    if (!h) Fail(ErrorText(error));
    FreeHandle(h);
}

TMMMpeg::~TMMMpeg() {
    CloseFile();
}

std::string TMMMpeg::ErrorText(int code) const {
    return lib_->ErrorText(code);
}

void* TMMMpeg::NewHandle(int& error, bool bothChannels) const {
    const Mpg123Api& api = *lib_->api_;
    error = MPG123_OK;
    mpg123_handle* h = api.create(nullptr, &error);
    if (!h) {
        if (error == MPG123_OK) error = MPG123_ERR;
        return nullptr;
    }
    long flags = MPG123_GAPLESS | MPG123_QUIET;
    switch (bothChannels ? TMpegChannelMode::cmBoth : channelMode_) {
        case TMpegChannelMode::cmLeft:
            flags |= MPG123_MONO_LEFT;
            break;
        case TMpegChannelMode::cmRight:
            flags |= MPG123_MONO_RIGHT;
            break;
        case TMpegChannelMode::cmDownMix:
            flags |= MPG123_MONO_MIX;
            break;
        case TMpegChannelMode::cmBoth:
            break;
    }
    // Every coded rate is an output rate, so the library never resamples;
    // 16-bit signed only, either channel count.
    int rc = api.param(h, MPG123_ADD_FLAGS, flags, 0.0);
    if (rc == MPG123_OK && downSample_ > 0) rc = api.param(h, MPG123_DOWN_SAMPLE, downSample_, 0.0);
    if (rc == MPG123_OK) rc = api.format_none(h);
    for (long rate : kRates) {
        if (rc != MPG123_OK) break;
        rc = api.format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (rc != MPG123_OK) {
        error = api.errcode(h);
        api.destroy(h);
        return nullptr;
    }
    return h;
}

void TMMMpeg::FreeHandle(void*& handle) const {
    if (!handle) return;
    const Mpg123Api& api = *lib_->api_;
    api.close(H(handle));
    api.destroy(H(handle));
    handle = nullptr;
}

bool TMMMpeg::OpenHandle(void* handle, int& error) const {
    const Mpg123Api& api = *lib_->api_;
    if (api.open(H(handle), fileName_.c_str()) != MPG123_OK) {
        error = api.errcode(H(handle));
        return false;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    if (api.getformat(H(handle), &rate, &channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2 || rate <= 0) {
        error = api.errcode(H(handle));
        if (error == MPG123_OK) error = MPG123_BAD_OUTFORMAT;
        return false;
    }
    return true;
}

void TMMMpeg::SetFileName(const std::string& name) {
    CloseFile();
    fileName_ = name;
    empty_ = true;
    info_ = {};
    streamChannels_ = 0;
    downSample_ = 0;
    if (!name.empty()) Probe();
}

void TMMMpeg::Probe() {
    const Mpg123Api& api = *lib_->api_;
    int error = 0;
    // The stream's own layout, whatever the channel mode asks for.
    void* h = NewHandle(error, true);
    if (!h) return;
    if (OpenHandle(h, error)) {
        long rate = 0;
        int channels = 0, encoding = 0;
        api.getformat(H(h), &rate, &channels, &encoding);
        const int steps = DownSampleSteps(rate, minimumRate_);
        if (steps > 0) {
            // The reduced rate is a property of the handle: open again.
            FreeHandle(h);
            downSample_ = steps;
            h = NewHandle(error, true);
            if (!h) return;
            if (!OpenHandle(h, error) ||
                api.getformat(H(h), &rate, &channels, &encoding) != MPG123_OK) {
                FreeHandle(h);
                return;
            }
        }
        // The first frame describes the stream (later frames of a damaged
        // file may claim anything).
        mpg123_frameinfo2 fi{};
        const bool described = api.info(H(h), &fi) == MPG123_OK;
        // One frame must decode: a stray sync word in other data is not
        // a stream.
        unsigned char probe[4608];
        size_t got = 0;
        int rc = api.read(H(h), probe, sizeof probe, &got);
        if (described && got > 0 &&
            (rc == MPG123_OK || rc == MPG123_DONE || rc == MPG123_NEW_FORMAT)) {
            // A stream that begins with an encoder's info frame (every
            // recording of this program) states its exact length there;
            // reading a whole long recording to count its frames would take
            // a noticeable time. Any other stream is scanned.
            long encoderDelay = -1;
            double unused = 0;
            const bool tagged =
                api.getstate &&
                api.getstate(H(h), MPG123_ENC_DELAY, &encoderDelay, &unused) == MPG123_OK &&
                encoderDelay >= 0;
            rc = MPG123_OK;
            off_t samples = tagged ? api.length(H(h)) : 0;
            off_t frames = tagged ? api.framelength(H(h)) : 0;
            scanned_ = samples <= 0 || frames <= 0;
            if (scanned_) {
                rc = api.scan(H(h));
                samples = api.length(H(h));
                frames = api.framelength(H(h));
            }
            if (rc == MPG123_OK && samples > 0) {
                info_.Version = fi.version == MPG123_2_0   ? TMpegVersion::mv2
                                : fi.version == MPG123_2_5 ? TMpegVersion::mv25
                                                           : TMpegVersion::mv1;
                info_.Layer = fi.layer;
                switch (fi.mode) {
                    case MPG123_M_JOINT:
                        info_.Mode = TMpegStereoMode::smJointStereo;
                        break;
                    case MPG123_M_DUAL:
                        info_.Mode = TMpegStereoMode::smDualChannel;
                        break;
                    case MPG123_M_MONO:
                        info_.Mode = TMpegStereoMode::smSingleChannel;
                        break;
                    default:
                        info_.Mode = TMpegStereoMode::smStereo;
                        break;
                }
                info_.BitRate = fi.bitrate;
                info_.SampleRate = static_cast<int>(fi.rate);
                info_.PlaybackRate = static_cast<int>(rate);
                info_.Frames = frames > 0 ? frames : 0;
                info_.Samples = samples;
                streamChannels_ = channels;
                info_.DurationMs = samples * 1000 / rate;
                empty_ = false;
            }
        }
    }
    FreeHandle(h);
}

int TMMMpeg::OutputChannels() const {
    if (empty_) return 0;
    if (channelMode_ != TMpegChannelMode::cmBoth) return 1;
    return streamChannels_;
}

void TMMMpeg::OpenFile() {
    CloseFile();
    if (empty_) Fail(ErrorText(MPG123_NO_READER) + ": " + fileName_);
    int error = 0;
    void* h = NewHandle(error, false);
    if (!h) Fail(ErrorText(error));
    if (!OpenHandle(h, error)) {
        FreeHandle(h);
        Fail(ErrorText(error));
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    lib_->api_->getformat(H(h), &rate, &channels, &encoding);
    if (channels != OutputChannels() || rate != info_.PlaybackRate) {
        // The chain was given the probed format; this run would not match.
        FreeHandle(h);
        Fail(ErrorText(MPG123_BAD_OUTFORMAT));
    }
    handle_ = h;
    channels_ = channels;
    open_ = true;
    eof_ = false;
    error_ = 0;
    pending_.clear();
    pendingAt_ = 0;
    bytesOut_ = 0;
    startSample_ = 0;
}

void TMMMpeg::CloseFile() {
    FreeHandle(handle_);
    open_ = false;
    eof_ = false;
    error_ = 0;
    pending_.clear();
    pendingAt_ = 0;
}

void TMMMpeg::SetPosition(int64_t milliseconds) {
    if (!open_) return;
    const int64_t rate = info_.PlaybackRate;
    const int64_t sample = std::max<int64_t>(0, milliseconds) * rate / 1000;
    const off_t at = lib_->api_->seek(H(handle_), static_cast<off_t>(sample), SEEK_SET);
    if (at < 0)
        Fail(ErrorText(lib_->api_->errcode(H(handle_))) + ": " + std::to_string(milliseconds));
    pending_.clear();
    pendingAt_ = 0;
    eof_ = false;
    error_ = 0;
    bytesOut_ = 0;
    startSample_ = at;
}

int64_t TMMMpeg::Position() const {
    if (!open_ || channels_ == 0 || info_.PlaybackRate == 0) return 0;
    const int64_t sample = startSample_ + bytesOut_ / (2 * channels_);
    return sample * 1000 / info_.PlaybackRate;
}

bool TMMMpeg::Refill() {
    const Mpg123Api& api = *lib_->api_;
    pending_.resize(kBlockBytes);
    pendingAt_ = 0;
    size_t filled = 0;
    while (filled == 0 && !eof_) {
        size_t got = 0;
        const int rc = api.read(H(handle_), pending_.data(), pending_.size(), &got);
        filled = got;
        if (rc == MPG123_DONE) {
            eof_ = true;
        } else if (rc == MPG123_NEW_FORMAT) {
            // A stream that changes its layout midway cannot go on in the
            // format the chain was opened with.
            long rate = 0;
            int channels = 0, encoding = 0;
            api.getformat(H(handle_), &rate, &channels, &encoding);
            if (channels != channels_ || rate != info_.PlaybackRate) {
                error_ = MPG123_BAD_OUTFORMAT;
                filled = 0;  // bytes in another layout are not the chain's
                break;
            }
        } else if (rc != MPG123_OK) {
            error_ = api.errcode(H(handle_));
            if (error_ == MPG123_OK) error_ = MPG123_ERR;
            break;
        }
    }
    pending_.resize(filled);
    return filled > 0;
}

int32_t TMMMpeg::ReadDataBytes(void* buffer, int32_t count) {
    if (!open_ || count <= 0 || !buffer) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    int32_t got = 0;
    while (got < count) {
        if (pendingAt_ >= pending_.size()) {
            if (eof_ || error_ || !Refill()) break;
        }
        const size_t n = std::min<size_t>(pending_.size() - pendingAt_, size_t(count - got));
        std::memcpy(out + got, pending_.data() + pendingAt_, n);
        pendingAt_ += n;
        got += static_cast<int32_t>(n);
    }
    if (got == 0 && error_) return -1;
    // Read ahead so that Done() holds once the last bytes are out.
    if (pendingAt_ >= pending_.size() && !eof_ && !error_) Refill();
    bytesOut_ += got;
    return got;
}

bool TMMMpeg::Done() const {
    return open_ && eof_ && pendingAt_ >= pending_.size();
}

}  // namespace zt
