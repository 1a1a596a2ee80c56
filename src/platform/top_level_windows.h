// The desktop's top-level windows as the logic sees them: a list of ids and titles, and a
// polite request to close one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using WindowId = uint64_t;
constexpr WindowId kNoWindow = 0;

struct TopLevelWindow {
    WindowId id = kNoWindow;
    std::string title;
};

class TopLevelWindows {
public:
    virtual ~TopLevelWindows() = default;
    // Every top-level window in stacking order, bottom first; empty where there is no
    // desktop. Titles are UTF-8 or the window's 8-bit text, as the window gives them.
    virtual std::vector<TopLevelWindow> List() = 0;
    // Asks `id` to close as its close button would; false when the request could not be sent
    // (no desktop, the window is gone). The window may still refuse.
    virtual bool RequestClose(WindowId id) = 0;
};

} // namespace platform
