#pragma once
// Exception classes of the signal displays. A display refuses a format
// that is not plain PCM with msg::InvalidDisplayFormat ("Invalid WaveFormat").

#include "platform/Exceptions.h"
#include "platform/ResStrings.h"

namespace zt {

class EMMLevelError : public Exception {
public:
    using Exception::Exception;
};
class EMMMeterError : public Exception {
public:
    using Exception::Exception;
};
class EMMOscopeError : public Exception {
public:
    using Exception::Exception;
};
class EMMSpectrumError : public Exception {
public:
    using Exception::Exception;
};

namespace msg {
inline constexpr int InvalidDisplayFormat = 28062;
}

}  // namespace zt
