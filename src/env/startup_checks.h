// The checks and loading done once at start-up: the program, the runner and encoder, the frame
// server, the help file, the settings and the templates; and the lookups of the programs that
// other parts use.
#pragma once

#include "env/settings.h"
#include "templates/template_store.h"

#include <functional>
#include <string>

namespace store {
class KeyStore;
}
namespace logging {
class Log;
}
namespace platform {
class Dialog;
class MessageBoxes;
} // namespace platform

namespace env {

// The runner beside the program, and the frame-server module in the system folder.
inline constexpr const char* kEclCceName = "EclCCE";
inline constexpr const char* kSystemFolderName = "system";
inline constexpr const char* kFrameServerName = "libavisynth.so";
// Exit status of a start-up that cannot go on.
inline constexpr int kFatalStartupStatus = 27;

// The folder of a path (no trailing separator), "." when it has none.
std::string FolderOf(const std::string& path);
// `EclCCE` in the program's folder, or empty text when no such file exists.
std::string GetEclCcePath(const std::string& programPath);
// The encoder release code, from the "CCE" key of the runner's .ini and the encoder's version
// resource: 0 when either file is missing, 1 to 5 for a known release, 99 otherwise.
int GetCceVersion(const std::string& programPath);
// The help file beside the program.
std::string HelpFilePath(const std::string& programPath);

// What the checks need of the world around them.
struct StartupServices {
    store::KeyStore* store = nullptr;
    logging::Log* log = nullptr;
    platform::Dialog* dialog = nullptr; // the main window: caption, "Log debug info" box
    platform::MessageBoxes* boxes = nullptr;
    std::string programPath;     // the running program's file
    std::string systemDirectory; // where the frame-server module lives
    // Starts the runner with no arguments (its configuration call), as process id 6.
    std::function<void(const std::string& commandLine)> startRunner;
    std::function<void(int milliseconds)> sleep;
    // Ends the program at once with a status. Must not return in the program; tests record it.
    std::function<void(int status)> exit;
    std::function<std::string(const char* name)> getEnv;
};

// What the checks leave for the main window.
struct StartupResult {
    Settings settings;
    std::string helpFile; // empty when none was found
    templates::TemplateList templates;
    int exitStatus = 0; // set when `exit` was called and returned (tests)
};

// Runs the checks in order, logging each step; fills `result`. Returns false when a check that
// clears the success flag failed. A missing or unsupported encoder, or a missing frame server,
// ends the program through `services.exit` after a message box.
bool LoadSystemInfo(StartupServices& services, StartupResult& result);

} // namespace env
