// XDG base directories from the environment, and a folder's writability from access(2).
#include "platform/user_folders.h"

#include <cstdlib>
#include <unistd.h>

namespace platform {

namespace {

std::string BaseFolder(const char* variable, const char* belowHome) {
    if (const char* xdg = std::getenv(variable); xdg && *xdg == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + belowHome;
    }
    return ".";
}

} // namespace

std::string UserConfigHome() {
    return BaseFolder("XDG_CONFIG_HOME", "/.config");
}

std::string UserStateHome() {
    return BaseFolder("XDG_STATE_HOME", "/.local/state");
}

bool IsWritableFolder(const std::string& folder) {
    // The kernel's own answer (the program runs with its real ids): a read-only mount refuses
    // with EROFS even for root, whom the permission bits never stop.
    return !folder.empty() && access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace platform
