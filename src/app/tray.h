// The notification-area icon of the main window, as the window's logic uses it.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// The mouse messages that the tray icon's callback carries.
enum TrayMouse : int64_t {
    kTrayLeftDoubleClick = 0x0203,
    kTrayRightButtonDown = 0x0204,
};

// One icon (the program icon) with a tip and the "TrayIcon" menu ("Restore", "Stop Processing",
// "Close"). All calls on the UI thread.
class Tray {
public:
    virtual ~Tray() = default;
    // Shows the icon with `tip` and creates its menu. False where no notification area exists.
    virtual bool Add(const std::string& tip) = 0;
    // Changes the tip of the icon shown. False when no icon is shown.
    virtual bool Update(const std::string& tip) = 0;
    // Removes the icon and its menu. False when no icon was shown.
    virtual bool Remove() = 0;
    // Shows the menu at the cursor; afterwards "Restore" is its default item.
    virtual void ShowMenu() = 0;
    // A desktop notification through the notification area; false where there is none.
    virtual bool Notify(const std::string& /*title*/, const std::string& /*text*/) { return false; }
};

} // namespace app
