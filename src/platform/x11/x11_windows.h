// Top-level windows of an X11 display: the client windows and their titles, and the close
// request WM_DELETE_WINDOW.
#pragma once

#include "platform/top_level_windows.h"

#include <string>

namespace platform {

class X11TopLevelWindows : public TopLevelWindows {
public:
    // `displayName` as for XOpenDisplay; empty means $DISPLAY. The display is opened for each
    // call and closed before it returns, so an object may outlive the X server.
    explicit X11TopLevelWindows(std::string displayName = {});

    // The window manager's client list (_NET_CLIENT_LIST) where there is one, else the root
    // window's children; titles from _NET_WM_NAME, else WM_NAME. Empty without a display.
    std::vector<TopLevelWindow> List() override;
    // Sends WM_PROTOCOLS / WM_DELETE_WINDOW to `id`.
    bool RequestClose(WindowId id) override;

private:
    std::string m_DisplayName;
};

} // namespace platform
