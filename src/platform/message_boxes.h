// Modal message boxes with an error icon, as the logic asks for them.
#pragma once

#include <string>

namespace platform {

enum class MessageBoxButtons { Ok, OkCancel };

// The button that closed a box.
enum MessageBoxAnswer { kAnswerOk = 1, kAnswerCancel = 2 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows `text` under `caption` and waits for an answer. Where no one can answer (no
    // interactive display) the text goes to standard error and the answer is OK. UI thread.
    virtual int ShowError(const std::string& text, const std::string& caption,
                          MessageBoxButtons buttons) = 0;
    // A question with OK and Cancel and a question icon; the same fall-back without a display.
    virtual int ShowQuestion(const std::string& text, const std::string& caption) {
        return ShowError(text, caption, MessageBoxButtons::OkCancel);
    }
};

} // namespace platform
