#pragma once
// Every message box the recorder shows, and the folder chooser, go through
// this interface, so that tests can answer them from a script instead of
// waiting on a modal box.
//
// Threads: main thread only. The current implementation is a process-wide
// pointer set once at start-up (the Qt boxes) or by a test fixture.

#include <optional>
#include <string>

namespace zt {

enum class DialogKind { Information, Warning, Error, Question };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void Information(const std::string& text) = 0;
    virtual void Warning(const std::string& text) = 0;
    // The general error display's box.
    virtual void Error(const std::string& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Question(const std::string& text) = 0;
    // Asks for a folder, opening at `start` (any text: a folder that does
    // not exist opens wherever the implementation likes); the folder chosen,
    // or nullopt when the operator cancels.
    virtual std::optional<std::string> ChooseFolder(const std::string& start) = 0;
};

// The current implementation. Never null: before any is installed, a
// fallback writes to standard error and answers No.
Dialogs& CurrentDialogs();
// Installs an implementation (not owned); nullptr restores the fallback.
// Returns the previous one so that a test fixture can put it back.
Dialogs* SetDialogs(Dialogs* dialogs);

}  // namespace zt
