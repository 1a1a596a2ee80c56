// The tray icon: shown where a notification area exists, with its tip and menu.
#include "gui/qt_tray.h"

#include "app/main_window.h"
#include "gui/icons.h"
#include "platform/ui_queue.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace gui {

QtTray::QtTray(platform::UiQueue& queue) : m_Queue(queue) {}

QtTray::~QtTray() = default;

bool QtTray::Add(const std::string& tip) {
    if (m_Icon || !QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    m_Icon = std::make_unique<QSystemTrayIcon>(ProgramIcon());
    m_Icon->setToolTip(QString::fromLocal8Bit(tip.c_str()));
    connect(m_Icon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    PostNotify(app::kTrayLeftDoubleClick);
                } else if (reason == QSystemTrayIcon::Context) {
                    PostNotify(app::kTrayRightButtonDown);
                }
            });
    m_Icon->show();

    m_Menu = std::make_unique<QMenu>();
    auto call = [this](auto handler) {
        return [this, handler] {
            if (m_Logic) {
                handler(*m_Logic);
            }
        };
    };
    connect(m_Menu->addAction("Restore"), &QAction::triggered, this,
            call([](app::CMainWindow& w) { w.RestoreFromTray(); }));
    QAction* stop = m_Menu->addAction("Stop Processing");
    connect(stop, &QAction::triggered, this,
            call([](app::CMainWindow& w) { w.OnStopProcessing(); }));
    QAction* stopAfter = m_Menu->addAction("Stop After This Job");
    connect(stopAfter, &QAction::triggered, this,
            call([](app::CMainWindow& w) { w.OnStopAfterThisJob(); }));
    connect(m_Menu->addAction("Close"), &QAction::triggered, this,
            call([](app::CMainWindow& w) { w.OnUserCancel(); }));
    // There is nothing to stop while idle: the entries are offered only during a run, and
    // say so in their hint otherwise.
    m_Menu->setToolTipsVisible(true);
    connect(m_Menu.get(), &QMenu::aboutToShow, this, [this, stop, stopAfter] {
        bool running = m_Logic != nullptr && m_Logic->Processing();
        for (QAction* action : {stop, stopAfter}) {
            action->setEnabled(running);
            action->setToolTip(running ? action->text()
                                       : action->text() + "\n(No run is in progress.)");
        }
    });
    // Queued: bringing the window back removes this icon, which must not go while it signals.
    connect(
        m_Icon.get(), &QSystemTrayIcon::messageClicked, this, [this] { OnMessageClicked(); },
        Qt::QueuedConnection);
    return true;
}

bool QtTray::Update(const std::string& tip) {
    if (!m_Icon) {
        return false;
    }
    m_Icon->setToolTip(QString::fromLocal8Bit(tip.c_str()));
    return true;
}

bool QtTray::Remove() {
    if (!m_Icon) {
        return false;
    }
    m_Icon->hide();
    m_Icon.reset();
    // The menu may be the one being shown right now (its "Restore" or "Close"): let it finish.
    m_Menu.release()->deleteLater();
    return true;
}

void QtTray::ShowMenu() {
    if (!m_Menu) {
        return;
    }
    QPoint at = QCursor::pos();
    QSize size = m_Menu->sizeHint();
    // Bottom-aligned at the cursor, as a notification-area menu opens upwards.
    m_Menu->popup(QPoint(at.x(), at.y() - size.height()));
    m_Menu->setDefaultAction(m_Menu->actions().value(0));
}

bool QtTray::Notify(const std::string& title, const std::string& text) {
    constexpr int kShownMs = 10000;
    QSystemTrayIcon* icon = m_Icon.get();
    if (icon == nullptr) {
        if (!QSystemTrayIcon::isSystemTrayAvailable()) {
            return false;
        }
        if (!m_Notifier) {
            m_Notifier = std::make_unique<QSystemTrayIcon>(ProgramIcon());
            m_Notifier->setToolTip("Vantaq");
            connect(
                m_Notifier.get(), &QSystemTrayIcon::messageClicked, this,
                [this] { OnMessageClicked(); }, Qt::QueuedConnection);
        }
        icon = m_Notifier.get();
        icon->show();
        QTimer::singleShot(kShownMs, icon, [icon] { icon->hide(); });
    }
    ShowMessageAtIcon(icon, QString::fromLocal8Bit(title.c_str()),
                      QString::fromLocal8Bit(text.c_str()), kShownMs, kIconWaitTries);
    return true;
}

void QtTray::ShowMessageAtIcon(QSystemTrayIcon* icon, const QString& title, const QString& text,
                               int shownMs, int triesLeft) {
    // An icon just shown has no place until the notification area has taken it in; a message
    // shown before that points at the top-left corner of the screen.
    if (icon->geometry().isEmpty() && triesLeft > 0) {
        QTimer::singleShot(kIconWaitStepMs, icon, [this, icon, title, text, shownMs, triesLeft] {
            ShowMessageAtIcon(icon, title, text, shownMs, triesLeft - 1);
        });
        return;
    }
    icon->showMessage(title, text, QSystemTrayIcon::Information, shownMs);
}

void QtTray::OnMessageClicked() {
    if (m_Logic) {
        m_Logic->OnNotificationClicked();
    }
}

void QtTray::PostNotify(int64_t mouseMessage) {
    if (m_Logic) {
        m_Queue.Post(platform::UiQueue::Make(m_Logic->TrayNotifyMessage(), 1, mouseMessage));
    }
}

} // namespace gui
