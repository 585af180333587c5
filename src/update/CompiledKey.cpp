// The maker's public key, compiled into the program by the build. It sits
// in a library of its own (zt_update_key) that only the executables link,
// so that the tests can build the program once more around a key of their
// own without a way to change the key of the program that stations run.
#include "update/ArchiveSignature.h"

#ifndef ZT_UPDATE_PUBLIC_KEY
#error "ZT_UPDATE_PUBLIC_KEY must be defined by the build (empty when there is no key)"
#endif

namespace zt {

std::string CompiledUpdatePublicKey() {
    return ZT_UPDATE_PUBLIC_KEY;
}

}  // namespace zt
