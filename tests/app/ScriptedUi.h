#pragma once
// A scripted user for the main window's logic: answers dialogs and questions from queues and
// records everything it was shown.

#include <deque>
#include <string>
#include <vector>

#include "app/MainFormUi.h"

namespace tessaly::test {

struct ShownMessage {
    enum Kind { Box, Plain, Error } kind;
    std::string text;
    TMsgDlgType type = TMsgDlgType::Information;
    TMsgDlgButtons buttons = TMsgDlgButtons::OK;
};

class ScriptedUi : public TMainFormUi {
public:
    // Dialog answers, in order: a path chooses it, an empty string cancels.
    std::deque<std::string> files;
    // Answers to Yes/No questions, in order (Yes when the queue is empty).
    std::deque<TModalResult> answers;

    std::vector<TFileDialog> dialogs;   // copies of the dialogs as they were shown
    std::vector<ShownMessage> messages;
    int closes = 0;

    bool Execute(TFileDialog& dialog) override {
        dialogs.push_back(dialog);
        std::string answer;
        if (!files.empty()) {
            answer = files.front();
            files.pop_front();
        }
        if (answer.empty()) return false;
        dialog.FileName = answer;
        return true;
    }
    TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
        messages.push_back({ShownMessage::Box, text, type, buttons});
        if (buttons == TMsgDlgButtons::OK) return TModalResult::OK;
        TModalResult answer = TModalResult::Yes;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        return answer;
    }
    void ShowMessage(const std::string& text) override { messages.push_back({ShownMessage::Plain, text}); }
    void ShowException(const std::string& text) override { messages.push_back({ShownMessage::Error, text}); }
    void Close() override { ++closes; }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& m : messages) texts.push_back(m.text);
        return texts;
    }
};

} // namespace tessaly::test
