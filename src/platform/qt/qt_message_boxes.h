// Message boxes on Qt, or on standard error where no one can answer them.
#pragma once

#include "platform/message_boxes.h"

class QWidget;

namespace platform {

class QtMessageBoxes : public MessageBoxes {
public:
    // `parent` owns the boxes while they are shown; may be null.
    explicit QtMessageBoxes(QWidget* parent = nullptr) : m_Parent(parent) {}
    int ShowError(const std::string& text, const std::string& caption,
                  MessageBoxButtons buttons) override;
    int Ask(const std::string& text, const std::string& caption,
            const std::vector<std::string>& buttons, int defaultButton, int cancelButton) override;

    // False under the offscreen and minimal platforms and on X11 without a display: nobody can
    // press a button there.
    static bool IsInteractive();

private:
    QWidget* m_Parent;
};

} // namespace platform
