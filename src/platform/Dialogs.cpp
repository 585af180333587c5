#include "platform/Dialogs.h"

#include <cstdio>

namespace zt {

namespace {

class StderrDialogs final : public Dialogs {
public:
    void Information(const std::string& text) override { Print("information", text); }
    void Warning(const std::string& text) override { Print("warning", text); }
    void Error(const std::string& text) override { Print("error", text); }
    bool Question(const std::string& text) override {
        Print("question (answered No)", text);
        return false;
    }
    std::optional<std::string> ChooseFolder(const std::string& start) override {
        Print("folder chooser (cancelled)", start);
        return std::nullopt;
    }

private:
    static void Print(const char* kind, const std::string& text) {
        std::fprintf(stderr, "Zelta Tresona %s: %s\n", kind, text.c_str());
    }
};

StderrDialogs g_fallback;
Dialogs* g_current = nullptr;

}  // namespace

Dialogs& CurrentDialogs() {
    return g_current ? *g_current : g_fallback;
}

Dialogs* SetDialogs(Dialogs* dialogs) {
    Dialogs* previous = g_current;
    g_current = dialogs;
    return previous;
}

}  // namespace zt
