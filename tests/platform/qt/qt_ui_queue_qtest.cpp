// The Qt UI queue on a real event loop: order across threads, blocking sends, timers.
#include "platform/qt/qt_ui_queue.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::Message;
using platform::QtUiQueue;
using platform::UiQueue;

namespace {

class Recorder : public platform::MessageHandler {
public:
    int64_t OnMessage(Message& m) override {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        messages.push_back(m.lparam);
        if (m.text) {
            texts.push_back(*m.text);
        }
        return m.lparam + 1;
    }
    void OnTimer(int id) override { timers.push_back(id); }
    std::vector<int64_t> messages;
    std::vector<std::string> texts;
    std::vector<int> timers;
};

// Runs the event loop until `done` holds or two seconds pass.
bool Spin(const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

int argc = 1;
char name[] = "vantaq_qt_platform_tests";
char* argv[] = {name, nullptr};

} // namespace

TEST(QtUiQueue, PostsAndSendsFromAWorkerArriveInOrderOnTheUiThread) {
    QCoreApplication app(argc, argv);
    QtUiQueue q;
    Recorder r;
    q.SetHandler(&r);
    std::atomic<int64_t> sendResult{-1};
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) {
            q.Post(UiQueue::Make(1, 0, i, std::make_unique<std::string>("t")));
        }
        sendResult = q.Send(UiQueue::Make(1, 0, 100));
        q.Post(UiQueue::Make(1, 0, 101));
    });
    ASSERT_TRUE(Spin([&] { return r.messages.size() == 102; }));
    worker.join();
    EXPECT_EQ(sendResult, 101);
    for (int i = 0; i < 102; ++i) {
        ASSERT_EQ(r.messages[static_cast<size_t>(i)], i);
    }
    EXPECT_EQ(r.texts.size(), 100u);
    EXPECT_EQ(q.Send(UiQueue::Make(1, 0, 7)), 8); // on the UI thread: handled at once
}

TEST(QtUiQueue, OneShotTimersFireInDueOrderAndCanBeKilled) {
    QCoreApplication app(argc, argv);
    QtUiQueue q;
    Recorder r;
    q.SetHandler(&r);
    q.SetTimer(5, 60);
    q.SetTimer(4, 20);
    q.SetTimer(1, 40);
    q.SetTimer(9, 30);
    EXPECT_TRUE(q.KillTimer(9));
    EXPECT_FALSE(q.KillTimer(9));
    EXPECT_FALSE(q.KillTimer(77));
    ASSERT_TRUE(Spin([&] { return r.timers.size() == 3; }));
    EXPECT_EQ(r.timers, (std::vector<int>{4, 1, 5}));
    // Nothing else fires within a while: the timers were one-shot.
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    Spin([&] { return std::chrono::steady_clock::now() > until; });
    EXPECT_EQ(r.timers.size(), 3u);
}
