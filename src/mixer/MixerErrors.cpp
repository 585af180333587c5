#include "mixer/MixerErrors.h"

namespace zt {

std::string MCIErrorText(MMResult code, const std::string& backendText) {
    if (!backendText.empty()) return backendText;
    // The code as the signed number the platform's format showed.
    return "MMSystem error: " + std::to_string(int32_t(code));
}

}  // namespace zt
