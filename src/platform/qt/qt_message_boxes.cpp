// Message boxes with an error icon on Qt; unattended runs write the text to standard error.
#include "platform/qt/qt_message_boxes.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace platform {

bool QtMessageBoxes::IsInteractive() {
    QString name = QGuiApplication::platformName();
    if (name == "offscreen" || name == "minimal" || name.isEmpty()) {
        return false;
    }
    if (name == "xcb") {
        const char* display = std::getenv("DISPLAY");
        return display != nullptr && *display != '\0';
    }
    return true;
}

int QtMessageBoxes::ShowError(const std::string& text, const std::string& caption,
                              MessageBoxButtons buttons) {
    if (!IsInteractive()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return kAnswerOk;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, m_Parent);
    if (buttons == MessageBoxButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    }
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Cancel ? kAnswerCancel : kAnswerOk;
}

} // namespace platform

namespace platform {

int QtMessageBoxes::Ask(const std::string& text, const std::string& caption,
                        const std::vector<std::string>& buttons, int defaultButton,
                        int cancelButton) {
    if (!IsInteractive()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return cancelButton;
    }
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::NoButton, m_Parent);
    std::vector<QPushButton*> pushButtons;
    for (size_t k = 0; k < buttons.size(); ++k) {
        // The cancel button's role makes Escape and the close box press it.
        QMessageBox::ButtonRole role =
            static_cast<int>(k) == cancelButton ? QMessageBox::RejectRole : QMessageBox::ActionRole;
        pushButtons.push_back(box.addButton(QString::fromStdString(buttons[k]), role));
    }
    if (defaultButton >= 0 && defaultButton < static_cast<int>(pushButtons.size())) {
        box.setDefaultButton(pushButtons[defaultButton]);
    }
    if (cancelButton >= 0 && cancelButton < static_cast<int>(pushButtons.size())) {
        box.setEscapeButton(pushButtons[cancelButton]);
    }
    box.exec();
    for (size_t k = 0; k < pushButtons.size(); ++k) {
        if (box.clickedButton() == pushButtons[k]) {
            return static_cast<int>(k);
        }
    }
    return cancelButton;
}

} // namespace platform
