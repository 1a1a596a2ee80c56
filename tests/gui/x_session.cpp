// The X tools of the window tests.
#include "x_session.h"

#include <QApplication>
#include <QProcess>

#include <sstream>

namespace gui_testing {

std::string RunTool(const QString& program, const QStringList& arguments, int* status) {
    QProcess process;
    process.start(program, arguments);
    bool done = process.waitForFinished(20000);
    if (status != nullptr) {
        *status = done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    if (!done) {
        process.kill();
        process.waitForFinished();
    }
    return process.readAllStandardOutput().toStdString();
}

std::string MapState(WId window) {
    std::istringstream out(RunTool("xwininfo", {"-id", QString::number(window)}));
    for (std::string line; std::getline(out, line);) {
        size_t at = line.find("Map State: ");
        if (at != std::string::npos) {
            return line.substr(at + 11);
        }
    }
    return "?";
}

bool Managed(WId window) {
    std::istringstream out(RunTool("wmctrl", {"-l"}));
    for (std::string line; std::getline(out, line);) {
        if (std::stoull(line.substr(0, line.find(' ')), nullptr, 16) == window) {
            return true;
        }
    }
    return false;
}

void ClickIn(WId window, QPoint at, int button, int times) {
    RunTool("xdotool", {"mousemove", "--window", QString::number(window), QString::number(at.x()),
                        QString::number(at.y()), "click", "--repeat", QString::number(times),
                        "--delay", "60", QString::number(button)});
}

WId TrayIconWindow() {
    for (QWidget* widget : QApplication::allWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0 &&
            widget->isVisible()) {
            return widget->winId();
        }
    }
    return 0;
}

} // namespace gui_testing
