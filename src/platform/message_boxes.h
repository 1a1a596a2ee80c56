// Modal message boxes with an error icon, as the logic asks for them.
#pragma once

#include <string>
#include <vector>

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
    // Asks `text` under `caption` with a question icon and `buttons` (captions, left to right)
    // and waits. Returns the index of the button pressed; `cancelButton` when the box was closed
    // otherwise (Escape, close box), and where no one can answer (the text then goes to
    // standard error). `defaultButton` is the one Enter presses. UI thread.
    virtual int Ask(const std::string& /*text*/, const std::string& /*caption*/,
                    const std::vector<std::string>& /*buttons*/, int /*defaultButton*/,
                    int cancelButton) {
        return cancelButton;
    }
};

} // namespace platform
