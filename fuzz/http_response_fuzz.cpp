// Feeds arbitrary bytes to the HTTP client as a server's whole answer, read
// in small pieces as from a socket: the client must return a body or raise
// one of its own errors, and never read beyond what it was given or hold
// more than the answer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "update/HttpClient.h"
#include "update/HttpErrors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    zt::HttpResponse response;
    try {
        const std::string body = zt::ReadResponseFromBytes(bytes, response);
        if (body.size() > bytes.size()) __builtin_trap();
    } catch (const zt::Exception&) {
        // Every failure of an answer is one of the client's errors.
    }
    return 0;
}
