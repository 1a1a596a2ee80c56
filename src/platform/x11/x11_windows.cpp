// X11 top-level window listing and close request with Xlib.
#include "platform/x11/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace platform {
namespace {

// Windows may vanish between listing and asking for their title; such errors are expected.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

// An open display with X errors ignored for its lifetime; restores the previous handler.
class DisplayConnection {
public:
    explicit DisplayConnection(const std::string& name)
        : m_Display(XOpenDisplay(name.empty() ? nullptr : name.c_str())) {
        if (m_Display != nullptr) {
            m_PreviousHandler = XSetErrorHandler(IgnoreXError);
        }
    }
    ~DisplayConnection() {
        if (m_Display != nullptr) {
            XSync(m_Display, False);
            XSetErrorHandler(m_PreviousHandler);
            XCloseDisplay(m_Display);
        }
    }
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;
    Display* Get() const { return m_Display; }

private:
    Display* m_Display;
    XErrorHandler m_PreviousHandler = nullptr;
};

struct XFreeDeleter {
    void operator()(void* p) const {
        if (p != nullptr) {
            XFree(p);
        }
    }
};

// Reads a property of `format` 8 or 32; returns the item count and sets `data`.
unsigned long ReadProperty(Display* display, Window window, Atom property, Atom type,
                           std::unique_ptr<unsigned char, XFreeDeleter>& data, int& format) {
    Atom actualType = None;
    unsigned long count = 0, remaining = 0;
    unsigned char* raw = nullptr;
    int status = XGetWindowProperty(display, window, property, 0, 1 << 16, False, type, &actualType,
                                    &format, &count, &remaining, &raw);
    data.reset(raw);
    if (status != Success || actualType == None || raw == nullptr) {
        return 0;
    }
    return count;
}

std::string WindowTitle(Display* display, Window window) {
    Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::unique_ptr<unsigned char, XFreeDeleter> data;
    int format = 0;
    unsigned long n = ReadProperty(display, window, netWmName, utf8, data, format);
    if (n > 0 && format == 8) {
        return std::string(reinterpret_cast<char*>(data.get()), n);
    }
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        std::string title(name);
        XFree(name);
        return title;
    }
    return {};
}

} // namespace

X11TopLevelWindows::X11TopLevelWindows(std::string displayName)
    : m_DisplayName(std::move(displayName)) {}

std::vector<TopLevelWindow> X11TopLevelWindows::List() {
    std::vector<TopLevelWindow> windows;
    DisplayConnection connection(m_DisplayName);
    Display* display = connection.Get();
    if (display == nullptr) {
        return windows;
    }
    Window root = DefaultRootWindow(display);
    std::vector<Window> ids;
    std::unique_ptr<unsigned char, XFreeDeleter> data;
    int format = 0;
    unsigned long n = ReadProperty(display, root, XInternAtom(display, "_NET_CLIENT_LIST", False),
                                   XA_WINDOW, data, format);
    if (n > 0 && format == 32) {
        // Xlib hands 32-bit items over as longs.
        const auto* items = reinterpret_cast<const unsigned long*>(data.get());
        ids.assign(items, items + n);
    } else {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) != 0 &&
            children != nullptr) {
            ids.assign(children, children + count);
            XFree(children);
        }
    }
    windows.reserve(ids.size());
    for (Window id : ids) {
        windows.push_back(TopLevelWindow{static_cast<WindowId>(id), WindowTitle(display, id)});
    }
    return windows;
}

bool X11TopLevelWindows::RequestClose(WindowId id) {
    DisplayConnection connection(m_DisplayName);
    Display* display = connection.Get();
    if (display == nullptr || id == kNoWindow) {
        return false;
    }
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, static_cast<Window>(id), &attributes) == 0) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(id);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display, static_cast<Window>(id), False, NoEventMask, &event);
    XFlush(display);
    return sent != 0;
}

} // namespace platform
