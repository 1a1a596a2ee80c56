// The notification-area icon on Qt: QSystemTrayIcon with the "TrayIcon" menu.
#pragma once

#include "app/tray.h"

#include <QObject>

#include <functional>
#include <memory>

class QMenu;
class QString;
class QSystemTrayIcon;

namespace platform {
class UiQueue;
}
namespace app {
class CMainWindow;
}

namespace gui {

// Clicks on the icon reach the logic as the tray's callback message through the UI queue;
// the menu's entries call the logic directly.
class QtTray : public QObject, public app::Tray {
public:
    explicit QtTray(platform::UiQueue& queue);
    ~QtTray() override;

    // The logic behind the menu and the callback; set before the icon is added.
    void SetLogic(app::CMainWindow* logic) { m_Logic = logic; }

    bool Add(const std::string& tip) override;
    bool Update(const std::string& tip) override;
    bool Remove() override;
    void ShowMenu() override;
    // Shows the message from the icon; while the window is not in the tray, from an icon shown
    // just for the message. The message points at the icon; a click on it brings the window
    // back.
    bool Notify(const std::string& title, const std::string& text) override;

    bool IsShown() const { return m_Icon != nullptr; }
    QMenu* Menu() const { return m_Menu.get(); }
    QSystemTrayIcon* Icon() const { return m_Icon.get(); }

private:
    // How long a message waits for a new icon's place: up to 40 steps of 50 ms.
    static constexpr int kIconWaitTries = 40;
    static constexpr int kIconWaitStepMs = 50;

    void PostNotify(int64_t mouseMessage);
    void ShowMessageAtIcon(QSystemTrayIcon* icon, const QString& title, const QString& text,
                           int shownMs, int triesLeft);
    void OnMessageClicked();

    platform::UiQueue& m_Queue;
    app::CMainWindow* m_Logic = nullptr;
    std::unique_ptr<QSystemTrayIcon> m_Icon;
    std::unique_ptr<QMenu> m_Menu;
    std::unique_ptr<QSystemTrayIcon> m_Notifier;
};

} // namespace gui
