#pragma once
// Decodes a whole MP3 stream with libmpg123 (gapless, 16-bit interleaved),
// so that encoder tests can check the audio a player would get. The library
// is opened with dlopen; its types come from mpg123.h.
//
// Threads: one decode per call, no shared state beyond the library handle,
// which is opened once.

#include <dlfcn.h>
#include <mpg123.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zt::test {

struct DecodedMp3 {
    bool ok = false;  // the stream decoded to the end without an error
    std::string error;
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
};

inline DecodedMp3 DecodeMp3(const std::string& bytes) {
    DecodedMp3 result;
    static void* lib = dlopen("libmpg123.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        result.error = "libmpg123.so.0 cannot be loaded";
        return result;
    }
    auto init = reinterpret_cast<decltype(&mpg123_init)>(dlsym(lib, "mpg123_init"));
    auto create = reinterpret_cast<decltype(&mpg123_new)>(dlsym(lib, "mpg123_new"));
    auto destroy = reinterpret_cast<decltype(&mpg123_delete)>(dlsym(lib, "mpg123_delete"));
    // mpg123.h maps mpg123_param to mpg123_param2 in newer versions.
    auto param = reinterpret_cast<decltype(&mpg123_param)>(dlsym(lib, "mpg123_param2"));
    if (!param) param = reinterpret_cast<decltype(&mpg123_param)>(dlsym(lib, "mpg123_param"));
    auto openFeed = reinterpret_cast<decltype(&mpg123_open_feed)>(dlsym(lib, "mpg123_open_feed"));
    auto decode = reinterpret_cast<decltype(&mpg123_decode)>(dlsym(lib, "mpg123_decode"));
    auto getFormat = reinterpret_cast<decltype(&mpg123_getformat)>(dlsym(lib, "mpg123_getformat"));
    if (!init || !create || !destroy || !param || !openFeed || !decode || !getFormat) {
        result.error = "libmpg123 lacks a needed function";
        return result;
    }
    init();
    int err = 0;
    mpg123_handle* mh = create(nullptr, &err);
    if (!mh) {
        result.error = "mpg123_new failed";
        return result;
    }
    param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0);
    if (openFeed(mh) != MPG123_OK) {
        destroy(mh);
        result.error = "mpg123_open_feed failed";
        return result;
    }
    std::vector<unsigned char> out(1 << 16);
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t inSize = bytes.size();
    bool fed = false;
    for (;;) {
        size_t done = 0;
        const int rc =
            decode(mh, fed ? nullptr : in, fed ? 0 : inSize, out.data(), out.size(), &done);
        fed = true;
        if (done > 0) {
            const auto* s = reinterpret_cast<const int16_t*>(out.data());
            result.samples.insert(result.samples.end(), s, s + done / 2);
        }
        if (rc == MPG123_NEW_FORMAT) {
            int enc = 0;
            getFormat(mh, &result.rate, &result.channels, &enc);
            if (enc != MPG123_ENC_SIGNED_16) {
                result.error = "decoder output is not 16-bit";
                break;
            }
        } else if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) {
            result.ok = true;
            break;
        } else if (rc != MPG123_OK) {
            result.error = "mpg123_decode failed with " + std::to_string(rc);
            break;
        }
    }
    destroy(mh);
    return result;
}

}  // namespace zt::test
