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

int QtMessageBoxes::ShowQuestion(const std::string& text, const std::string& caption) {
    if (!IsInteractive()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return kAnswerOk;
    }
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok | QMessageBox::Cancel, m_Parent);
    box.button(QMessageBox::Ok)->setText(QMessageBox::tr("&Quit"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? kAnswerOk : kAnswerCancel;
}

} // namespace platform
