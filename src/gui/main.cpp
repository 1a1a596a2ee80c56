// vantaq: the main window of the batch front end; the program ends when the window closes.
#include "gui/program.h"
#include "platform/files.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // Hidden in the tray is not closed: only the window's own close paths end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    std::string programPath = platform::ProgramFilePath();
    if (programPath.empty()) {
        programPath = argv[0];
    }
    gui::ProgramOptions options;
    options.programPath = programPath;
    options.arguments.assign(argv + 1, argv + argc);
    options.storePath = store::KeyStore::DefaultPath();

    gui::Program program(options);
    std::string error;
    if (!program.Open(error)) {
        platform::QtMessageBoxes boxes;
        boxes.ShowError("The settings store " + options.storePath + " could not be opened:\n" +
                            error,
                        "Vantaq", platform::MessageBoxButtons::Ok);
        return 1;
    }
    program.Start();
    program.Window().SetOnEnded([] { QApplication::quit(); });
    int status = application.exec();
    // A pulldown worker hands its lines to the window: keep the loop turning until it is done.
    while (program.PulldownsRunning() > 0) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // Closing the window does not stop an encode: the runner's reader thread may still be
    // waiting on its pipe and would post into a queue that no longer exists. Every change is
    // already durable in the store, so the process ends here without tearing anything down.
    std::fflush(nullptr);
    std::_Exit(status);
}
