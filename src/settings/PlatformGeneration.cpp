#include "settings/PlatformGeneration.h"

namespace zt {

bool HasProductInfoApi() {
    return false;
}

bool PlatformSupportsPriorityRaise() {
    return true;
}

}  // namespace zt
