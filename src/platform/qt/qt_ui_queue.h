// The UI queue on Qt's event loop: queued and blocking-queued calls, and one QTimer per id.
#pragma once

#include "platform/ui_queue.h"

#include <QObject>
#include <QTimer>

#include <map>

namespace platform {

// Lives on the thread that creates it, which must run a Qt event loop: that is the UI thread.
// Messages are queued as events for this object, so posts and sends from one thread arrive in
// order; messages still queued when the object is destroyed are released undelivered.
class QtUiQueue : public QObject, public UiQueue {
public:
    explicit QtUiQueue(QObject* parent = nullptr);
    ~QtUiQueue() override;

    void SetHandler(MessageHandler* handler) override { m_Handler = handler; }
    void Post(Message message) override;
    int64_t Send(Message message) override;
    void SetTimer(int timerId, uint32_t milliseconds) override;
    bool KillTimer(int timerId) override;

private:
    int64_t Deliver(Message& message);

    MessageHandler* m_Handler = nullptr;
    std::map<int, QTimer*> m_Timers; // children of this object
};

} // namespace platform
