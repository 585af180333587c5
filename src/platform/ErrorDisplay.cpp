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
        } catch (...) {
            CurrentDialogs().Error(ExceptionText(std::current_exception()));
        }
    } catch (...) {
        // The display itself must never throw back into the event loop.
    }
}

std::string ExceptionText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace zt
