#pragma once
// Dialogs that write every message to a file instead of showing a box: the
// program uses them when ZT_DIALOG_LOG names a file, so that tests which run
// the real program can read what it would have shown without a modal box
// waiting for a click. Each message is one record: the kind ("Information",
// "Warning", "Error", "Question"), a tab, the text, and a NUL byte (texts may
// hold line breaks). Questions are answered No (Yes when asked to), and the
// format chooser (record kind "Chooser", its title) and the folder chooser
// (record kind "Folder", the folder it would open at) are cancelled.
//
// Threads: main thread only, like every Dialogs implementation.

#include <string>

#include "audio/convert/FormatChooser.h"
#include "platform/Dialogs.h"

namespace zt {

class DialogLog final : public Dialogs {
public:
    explicit DialogLog(std::string path, bool answerYes = false)
        : path_(std::move(path)), answerYes_(answerYes) {}
    void Information(const std::string& text) override { Write("Information", text); }
    void Warning(const std::string& text) override { Write("Warning", text); }
    void Error(const std::string& text) override { Write("Error", text); }
    bool Question(const std::string& text) override {
        Write("Question", text);
        return answerYes_;
    }
    std::optional<std::string> ChooseFolder(const std::string& start) override {
        Write("Folder", start);
        return std::nullopt;
    }

    void Write(const char* kind, const std::string& text);

private:
    std::string path_;
    bool answerYes_;
};

class ChooserLog final : public FormatChooser {
public:
    explicit ChooserLog(DialogLog& log) : log_(log) {}
    WaveFormatPtr Choose(const FormatChoiceRequest& request) override {
        log_.Write("Chooser", request.title);
        return nullptr;
    }

private:
    DialogLog& log_;
};

}  // namespace zt
