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

}  // namespace zt::test
