#include "platform/ErrorDisplay.h"

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

namespace zt {

void ShowException(std::exception_ptr error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const EAbort&) {
            // A handler that already told the user ends silently.
        } catch (const std::exception& e) {
            CurrentDialogs().Error(e.what());
        } catch (...) {
            CurrentDialogs().Error("Unknown error");
        }
    } catch (...) {
        // The display itself must never throw back into the event loop.
    }
}

}  // namespace zt
