#pragma once
// Exception classes of the audio components and the numbers of their
// message texts (see platform/ResStrings.h for the texts themselves).
// A failed platform step is reported as the step's name, a colon, a line
// break ("\n\r") and the text of the error: StepError("WaveInOpen", ...).

#include <string>

#include "platform/Exceptions.h"
#include "platform/ResStrings.h"

namespace zt {

class EMMWaveInError : public Exception {
public:
    using Exception::Exception;
};
class EMMTriggerError : public Exception {
public:
    using Exception::Exception;
};
class EMMConnectorError : public Exception {
public:
    using Exception::Exception;
};
class EMMConverterError : public Exception {
public:
    using Exception::Exception;
};
class EMMWaveError : public Exception {
public:
    using Exception::Exception;
};
class EMMACMError : public Exception {
public:
    using Exception::Exception;
};
class EMMAudioError : public Exception {
public:
    using Exception::Exception;
};
class EMMMpegError : public Exception {
public:
    using Exception::Exception;
};

namespace msg {
inline constexpr int UnableToLoad = 28040;
inline constexpr int ChangeWhileOpen = 28060;
inline constexpr int InvalidDeviceID = 28061;
inline constexpr int HeaderAllocFailed = 28064;
inline constexpr int UnableToStart = 28080;
inline constexpr int ErrorFillingBuffer = 28081;
inline constexpr int UnknownError = 28086;
inline constexpr int CantRecordFormat = 28087;
inline constexpr int CouldNotCreateThread = 28088;
inline constexpr int InvalidWaveFormat = 28089;
inline constexpr int NoRecordingDevice = 28160;
inline constexpr int UnableToOpen = 28162;
inline constexpr int UnableToClose = 28163;
}  // namespace msg

// "<step>:\n\r<text>"
inline std::string StepError(const std::string& step, const std::string& text) {
    return step + ":\n\r" + text;
}

}  // namespace zt
