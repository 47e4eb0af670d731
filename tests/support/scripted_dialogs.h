#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "window_commands/comment_field.h"
#include "window_commands/dialogs.h"

namespace plimbrook::testing {

// A stand-in for the desktop's dialogs and the window's comment box: replays scripted answers in
// order and records every prompt and message it was shown, so a test can check each title,
// filter list and text.
class ScriptedDialogs : public Dialogs, public CommentField {
public:
    struct Prompt {
        std::string kind;  // "open", "save", "folder", "text", "warning" or "choice"
        std::string title;
        std::string filtersOrPrompt;  // the filters, or the prompt's or question's text
        int filterIndex = 0;          // for a choice, the default one
        std::string startText;        // for a file or folder prompt, the path it starts on
        std::vector<std::string> choices;
    };
    struct Message {
        std::string text;
        MessageIcon icon;
        std::string title;
    };

    // Answers for the file prompts and the text prompt, each queue in its own order.
    // std::nullopt cancels a file prompt; for the text prompt it cancels too (empty text).
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    // OK (true) or Cancel for each warning; the index chosen, or std::nullopt to cancel a choice.
    std::deque<bool> warningAnswers;
    std::deque<std::optional<int>> choiceAnswers;

    std::vector<Prompt> prompts;
    std::vector<Message> messages;
    std::string comment = "Enter a Comment and stuff.";
    // The path set for the next file prompt to start on.
    std::string fileName;

    // Called when the text prompt is shown, before it answers: lets a test look at the
    // disk while the prompt is open.
    std::function<void()> onTextPrompt;

    std::optional<std::string> PromptOpenFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override {
        prompts.push_back({"open", title, filters, filterIndex, {}, {}});
        return nextFile();
    }
    std::optional<std::string> PromptSaveFile(const std::string& title, const std::string& filters,
                                              int filterIndex) override {
        prompts.push_back({"save", title, filters, filterIndex, fileName, {}});
        return nextFile();
    }
    void SetFileName(const std::string& path) override { fileName = path; }
    std::optional<std::string> PromptFolder(const std::string& title) override {
        prompts.push_back({"folder", title, {}, 0, fileName, {}});
        return nextFile();
    }
    std::string PromptText(const std::string& prompt, const std::string& title,
                           const std::string& startText) override {
        prompts.push_back({"text", title, prompt, 0, startText, {}});
        if (onTextPrompt) {
            onTextPrompt();
        }
        if (textAnswers.empty()) {
            throw std::logic_error("text prompt shown with no scripted answer");
        }
        auto answer = textAnswers.front();
        textAnswers.pop_front();
        return answer.value_or(std::string());
    }
    void ShowMessage(const std::string& text, MessageIcon icon, const std::string& title) override {
        messages.push_back({text, icon, title});
    }
    bool ConfirmWarning(const std::string& text, const std::string& title) override {
        prompts.push_back({"warning", title, text, 0, {}, {}});
        return next(warningAnswers, "warning");
    }
    std::optional<int> PromptChoice(const std::string& text, const std::string& title,
                                    const std::vector<std::string>& choices,
                                    int defaultChoice) override {
        prompts.push_back({"choice", title, text, defaultChoice, {}, choices});
        return next(choiceAnswers, "choice");
    }
    std::string commentText() const override { return comment; }
    void setCommentText(const std::string& text) override { comment = text; }

private:
    std::optional<std::string> nextFile() { return next(fileAnswers, "file prompt"); }

    template <typename T>
    static T next(std::deque<T>& answers, const std::string& what) {
        if (answers.empty()) {
            throw std::logic_error(what + " shown with no scripted answer");
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace plimbrook::testing
