#pragma once
// Dialogs for tests: records every box shown and answers questions and
// folder requests from a script. Installing it replaces the current dialogs for the object's life.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace zt::test {

struct ShownDialog {
    DialogKind kind;
    std::string text;
    bool operator==(const ShownDialog&) const = default;
};

class ScriptedDialogs final : public Dialogs {
public:
    ScriptedDialogs() { previous_ = SetDialogs(this); }
    ~ScriptedDialogs() override { SetDialogs(previous_); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Information(const std::string& text) override {
        shown.push_back({DialogKind::Information, text});
    }
    void Warning(const std::string& text) override { shown.push_back({DialogKind::Warning, text}); }
    void Error(const std::string& text) override { shown.push_back({DialogKind::Error, text}); }
    // Answers the next scripted answer; an unscripted question fails the
    // test and answers No.
    bool Question(const std::string& text) override;
    // Answers the next scripted folder (nullopt: the operator cancelled) and
    // keeps the folder asked to open at; an unscripted request fails the
    // test and answers nullopt.
    std::optional<std::string> ChooseFolder(const std::string& start) override;

    std::vector<ShownDialog> shown;
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> folders;
    std::vector<std::string> folderStarts;

private:
    Dialogs* previous_ = nullptr;
};

}  // namespace zt::test
