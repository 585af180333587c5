#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace zt::test {

bool ScriptedDialogs::Question(const std::string& text) {
    shown.push_back({DialogKind::Question, text});
    if (answers.empty()) {
        ADD_FAILURE() << "unscripted question: " << text;
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedDialogs::ChooseFolder(const std::string& start) {
    folderStarts.push_back(start);
    if (folders.empty()) {
        ADD_FAILURE() << "unscripted folder request, opening at " << start;
        return std::nullopt;
    }
    std::optional<std::string> answer = folders.front();
    folders.pop_front();
    return answer;
}

}  // namespace zt::test
