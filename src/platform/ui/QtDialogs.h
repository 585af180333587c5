#pragma once
// The message boxes and the folder chooser of the running program.
// Threads: main thread only (Qt widgets).

#include "platform/Dialogs.h"

namespace zt {

class QtDialogs final : public Dialogs {
public:
    void Information(const std::string& text) override;
    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;
    bool Question(const std::string& text) override;
    std::optional<std::string> ChooseFolder(const std::string& start) override;
};

}  // namespace zt
