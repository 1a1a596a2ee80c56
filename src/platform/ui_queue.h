// The UI queue: messages and one-shot timers delivered on the window's thread.
#pragma once

#include "platform/message_registry.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// One message: a registered number, two plain parameters and an optional owned text. The text
// travels with the message and belongs to whoever holds the message; a handler may move it
// out, otherwise it is released after the handler returns (or with an undelivered queue).
struct Message {
    uint32_t message = 0;
    uint64_t wparam = 0;
    int64_t lparam = 0;
    std::unique_ptr<std::string> text;
};

// The receiving side, called only on the UI thread.
class MessageHandler {
public:
    virtual ~MessageHandler() = default;
    // A posted or sent message. Returns the result that `Send` passes back to its caller.
    virtual int64_t OnMessage(Message& message) = 0;
    // A timer set with `SetTimer` has come due; it has already been removed.
    virtual void OnTimer(int timerId) = 0;
};

// Delivers messages from any thread to one handler on the UI thread, in the order in which
// they were queued, and runs one-shot timers on the UI thread.
class UiQueue {
public:
    virtual ~UiQueue() = default;

    // The number of a registered message name (see MessageRegistry). Any thread.
    uint32_t RegisterMessage(std::string_view name) { return m_Registry.Register(name); }
    const MessageRegistry& Registry() const { return m_Registry; }

    // The handler that receives everything from now on; nullptr drops what arrives. Set it on
    // the UI thread before anything is posted; the handler must outlive the queue's use.
    virtual void SetHandler(MessageHandler* handler) = 0;

    // Queues `message` for the handler and returns at once. Any thread. Messages posted by one
    // thread arrive in the order posted.
    virtual void Post(Message message) = 0;

    // Queues `message` and waits until the handler has returned; the handler's result is
    // returned. Called on the UI thread, it runs the handler directly. Another thread must not
    // hold anything the UI thread waits for while it sends.
    virtual int64_t Send(Message message) = 0;

    // Starts (or restarts) the one-shot timer `timerId`, due `milliseconds` from now (0 to
    // about 24 days). UI thread only.
    virtual void SetTimer(int timerId, uint32_t milliseconds) = 0;

    // Cancels the timer `timerId`; returns false when none was pending. UI thread only.
    virtual bool KillTimer(int timerId) = 0;

    // Convenience for senders: a message with its parameters and optional text.
    static Message Make(uint32_t message, uint64_t wparam, int64_t lparam,
                        std::unique_ptr<std::string> text = nullptr) {
        Message m;
        m.message = message;
        m.wparam = wparam;
        m.lparam = lparam;
        m.text = std::move(text);
        return m;
    }

private:
    MessageRegistry m_Registry;
};

} // namespace platform
