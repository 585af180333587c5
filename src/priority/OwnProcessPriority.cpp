#include "priority/OwnProcessPriority.h"

#include <exception>

#include "platform/Dialogs.h"
#include "platform/ErrorDisplay.h"
#include "platform/Exceptions.h"
#include "priority/TFrmPrioridade.h"

namespace zt {

bool RaiseOwnProcessPriority(Dialogs& dialogs, const std::string& procRoot,
                             PrioritySystem& system) {
    // The raise runs in the middle of applying the settings, at start-up
    // and after every save, while the recorder may be recording. A priority
    // it could not get costs nothing but a message; an error thrown from
    // here would stop the remaining steps of the apply (the recording
    // input among them) and could keep the recording from starting. So the
    // error is shown here, once, and the apply goes on.
    try {
        TFrmPrioridade form(procRoot, system, &dialogs);
        form.RefreshProcessList();
        form.SetEdProcesso(kOwnProcessNamePrefix);
        return form.RaiseSelectedProcess();
    } catch (const EAbort&) {
        // Whoever aborted has already told the user.
    } catch (...) {
        dialogs.Error(ExceptionText(std::current_exception()));
    }
    return false;
}

}  // namespace zt
