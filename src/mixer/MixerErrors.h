#pragma once
// The mixer components' exceptions and the one rule every back-end result
// goes through: 0 is success; a result that the caller lists as "not found"
// becomes a false answer; anything else raises EMMMCIError with the back
// end's text for the code, or "MMSystem error: <code>" when it has none.
//
// Threads: any (plain values); the components that raise them are main
// thread only.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "mixer/MixerBackend.h"
#include "platform/Exceptions.h"

namespace zt {

// Argument errors of devices, lines and controls.
class EMMDeviceError : public Exception {
public:
    using Exception::Exception;
};

// Errors specific to the mixer device and its lines.
class EMMMixerDeviceError : public EMMDeviceError {
public:
    using EMMDeviceError::EMMDeviceError;
};

// Errors of a control's item access.
class EMMMixerControlError : public Exception {
public:
    using Exception::Exception;
};

// A back end answered with a value the mixer model has no name for.
class EMMMixerServiceError : public Exception {
public:
    using Exception::Exception;
};

// A widget was given a control of a class it cannot show.
class EMMMixerControlsError : public Exception {
public:
    using Exception::Exception;
};

// A back-end call failed; carries the result code.
class EMMMCIError : public Exception {
public:
    EMMMCIError(const std::string& message, MMResult code) : Exception(message), code_(code) {}
    MMResult Code() const { return code_; }

private:
    MMResult code_;
};

// The message of EMMMCIError for `code`: `backendText` when not empty,
// else "MMSystem error: <code>".
std::string MCIErrorText(MMResult code, const std::string& backendText);

// Raises EMMMCIError for any result but kMMNoError. `errorText` is asked
// for the code's text only when the call failed.
template <class TextOf>
void CheckMM(MMResult result, TextOf&& errorText) {
    if (result != kMMNoError) throw EMMMCIError(MCIErrorText(result, errorText(result)), result);
}

// As CheckMM, but the results in `notFound` give false instead of raising.
template <class TextOf>
bool CheckMMFound(MMResult result, std::initializer_list<MMResult> notFound, TextOf&& errorText) {
    if (result == kMMNoError) return true;
    for (MMResult r : notFound)
        if (r == result) return false;
    throw EMMMCIError(MCIErrorText(result, errorText(result)), result);
}

// The exact texts of the mixer components' errors.
namespace mixer_msg {
inline constexpr const char* kDeviceIdOutOfRange = "Device id is out of range";
inline constexpr const char* kDeviceNotValid = "Device not valid";
inline constexpr const char* kMixerCantReferenceMixer = "Mixer can't reference mixer";
inline constexpr const char* kCantTargetToMixer = "Can't target to mixer";
inline constexpr const char* kDestLineShouldBeAudioLine = "DestLine should be TMMAudioLine";
inline constexpr const char* kDestLineCycle = "DestLine would make a line its own destination";
inline constexpr const char* kMixerRequired = "Mixer required for this operation";
inline constexpr const char* kControlNotValid = "Control not valid";
inline constexpr const char* kItemIndexOutOfRange = "Item index out of range";
inline constexpr const char* kItemInfoNonMultiple = "Item info requested from non-multiple control";
inline constexpr const char* kUndefinedComponentType = "Undefined API component type";
inline constexpr const char* kInvalidControlClass = "Invalid control class";
}  // namespace mixer_msg

}  // namespace zt
