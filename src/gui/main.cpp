// vantaq: the main window of the batch front end; the program ends when the window closes.
#include "gui/keyword_handover.h"
#include "gui/program.h"
#include "platform/files.h"
#include "platform/instance_lock.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// How long a second start tries to reach the running program, which may still be starting.
constexpr int kHandOverTimeoutMs = 5000;

} // namespace

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

    // One program per store: a second start hands its keywords to the one running and ends.
    std::error_code noFolder;
    std::string workingDir = std::filesystem::current_path(noFolder).string();
    platform::InstanceLock lock;
    std::string error;
    switch (lock.Take(options.storePath, error)) {
    case platform::InstanceLock::kTaken:
        break;
    case platform::InstanceLock::kHeldElsewhere:
        if (gui::HandKeywords(options.storePath, workingDir, options.arguments, kHandOverTimeoutMs,
                              error)) {
            return 0;
        }
        platform::QtMessageBoxes().ShowError(
            "Vantaq is already running on the settings store " + options.storePath +
                " and did not take this start's keywords (" + error + ").",
            "Vantaq", platform::MessageBoxButtons::Ok);
        return 1;
    case platform::InstanceLock::kFailed:
        platform::QtMessageBoxes().ShowError("The settings store " + options.storePath +
                                                 " could not be locked:\n" + error,
                                             "Vantaq", platform::MessageBoxButtons::Ok);
        return 1;
    }
    gui::KeywordReceiver receiver(options.storePath);
    if (!receiver.Listen(error)) {
        std::fprintf(stderr, "vantaq: later starts cannot hand over their keywords: %s\n",
                     error.c_str());
    }
    // The process ends without unwinding; the socket must not outlive it, and the store is
    // closed so that SQLite folds its write-ahead log back and removes it.
    store::KeyStore* openStore = nullptr;
    options.exit = [&receiver, &openStore](int status) {
        receiver.Close();
        if (openStore != nullptr) {
            openStore->Close();
        }
        std::fflush(nullptr);
        std::_Exit(status);
    };

    gui::Program program(options);
    if (!program.Open(error)) {
        platform::QtMessageBoxes boxes;
        boxes.ShowError("The settings store " + options.storePath + " could not be opened:\n" +
                            error,
                        "Vantaq", platform::MessageBoxButtons::Ok);
        return 1;
    }
    openStore = &program.Store();
    program.Start();
    receiver.SetHandler(
        [&program](const std::string& folder, const std::vector<std::string>& arguments) {
            program.Logic().OnHandedKeywords(folder, arguments);
        });
    program.Window().SetOnEnded([] { QApplication::quit(); });
    int status = application.exec();
    if (status == 0) {
        status = program.Logic().m_ExitStatus;
    }
    // A pulldown worker hands its lines to the window: keep the loop turning until it is done.
    while (program.PulldownsRunning() > 0) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    // Closing the window does not stop an encode: the runner's reader thread may still be
    // waiting on its pipe and would post into a queue that no longer exists. Every change is
    // already durable in the store, so the process ends here without tearing anything else down;
    // only the store is closed, which leaves no write-ahead log beside it.
    receiver.Close();
    program.Store().Close();
    std::fflush(nullptr);
    std::_Exit(status);
}
