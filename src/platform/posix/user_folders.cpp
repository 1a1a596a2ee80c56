// XDG base directories from the environment, and a folder's writability from access(2).
#include "platform/user_folders.h"

#include <cstdlib>
#include <fcntl.h>
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
    // The effective ids decide, as they do for the write itself; a read-only mount answers
    // EROFS even for root.
    return !folder.empty() && faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

} // namespace platform
