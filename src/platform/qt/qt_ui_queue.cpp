// The UI queue on Qt's event loop: posted messages as queued calls, sent ones as blocking
// queued calls, timers as single-shot QTimers.
#include "platform/qt/qt_ui_queue.h"

#include <QMetaObject>
#include <QThread>

#include <memory>

namespace platform {

QtUiQueue::QtUiQueue(QObject* parent) : QObject(parent) {}

QtUiQueue::~QtUiQueue() = default;

int64_t QtUiQueue::Deliver(Message& message) {
    return m_Handler != nullptr ? m_Handler->OnMessage(message) : 0;
}

void QtUiQueue::Post(Message message) {
    // The call object must be copyable; the message rides in a shared pointer and is released
    // with the call, delivered or not.
    auto shared = std::make_shared<Message>(std::move(message));
    QMetaObject::invokeMethod(
        this, [this, shared] { Deliver(*shared); }, Qt::QueuedConnection);
}

int64_t QtUiQueue::Send(Message message) {
    if (QThread::currentThread() == thread()) {
        return Deliver(message);
    }
    int64_t result = 0;
    QMetaObject::invokeMethod(
        this, [this, &message, &result] { result = Deliver(message); },
        Qt::BlockingQueuedConnection);
    return result;
}

void QtUiQueue::SetTimer(int timerId, uint32_t milliseconds) {
    QTimer*& timer = m_Timers[timerId];
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, timerId] {
            if (m_Handler != nullptr) {
                m_Handler->OnTimer(timerId);
            }
        });
    }
    timer->start(static_cast<int>(std::min<uint32_t>(milliseconds, INT32_MAX)));
}

bool QtUiQueue::KillTimer(int timerId) {
    auto it = m_Timers.find(timerId);
    if (it == m_Timers.end() || !it->second->isActive()) {
        return false;
    }
    it->second->stop();
    return true;
}

} // namespace platform
