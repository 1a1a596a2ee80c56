// Whether a window can be shown to a user: a reachable X or Wayland display.
#include "display.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace eclcce {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool XServerReachable() {
    if (Env("DISPLAY").empty()) {
        return false;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XCloseDisplay(display);
    return true;
}

bool WaylandReachable() {
    std::string name = Env("WAYLAND_DISPLAY");
    if (name.empty()) {
        return false;
    }
    if (name[0] != '/') {
        const std::string runtime = Env("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        name = runtime + "/" + name;
    }
    sockaddr_un address{};
    if (name.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.c_str(), name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

bool DisplayAvailable() {
    const std::string platform = Env("QT_QPA_PLATFORM");
    // "xcb;wayland" style lists name fallbacks; the first entry decides here.
    const std::string first = platform.substr(0, platform.find_first_of(";:"));
    if (first == "offscreen" || first == "minimal") {
        return false; // a window nobody can see would wait for ever
    }
    if (first == "xcb") {
        return XServerReachable();
    }
    if (first.rfind("wayland", 0) == 0) {
        return WaylandReachable();
    }
    if (!first.empty()) {
        return true; // a platform of its own (a framebuffer, VNC): Qt knows where it shows
    }
    return WaylandReachable() || XServerReachable();
}

} // namespace eclcce
