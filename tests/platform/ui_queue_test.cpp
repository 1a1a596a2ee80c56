// The deterministic UI queue and the message registry: order, sends across threads, timers.
#include "platform/fake_ui_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::FakeUiQueue;
using platform::Message;
using platform::UiQueue;

namespace {

// Records everything delivered; optionally reacts from inside the handler.
class Recorder : public platform::MessageHandler {
public:
    int64_t OnMessage(Message& m) override {
        events.push_back("m" + std::to_string(m.lparam) + (m.text ? ":" + *m.text : ""));
        if (onMessage) {
            onMessage(m);
        }
        return m.lparam * 10;
    }
    void OnTimer(int id) override {
        events.push_back("t" + std::to_string(id) + "@" + std::to_string(queue->Now()));
        if (onTimer) {
            onTimer(id);
        }
    }
    FakeUiQueue* queue = nullptr;
    std::vector<std::string> events;
    std::function<void(Message&)> onMessage;
    std::function<void(int)> onTimer;
};

} // namespace

TEST(MessageRegistry, SameNameSameNumberIgnoringCase) {
    FakeUiQueue q;
    uint32_t line = q.RegisterMessage(platform::kUpmLineName);
    uint32_t finished = q.RegisterMessage(platform::kUpmFinishedName);
    EXPECT_GE(line, platform::kFirstRegisteredMessage);
    EXPECT_NE(line, finished);
    EXPECT_EQ(q.RegisterMessage("upm_line-{d741f7e1-9f58-11D5-A043-006067718D04}"), line);
    EXPECT_EQ(q.Registry().NameOf(line), platform::kUpmLineName);
    EXPECT_EQ(q.Registry().Find("never registered"), 0u);
    EXPECT_EQ(q.RegisterMessage(""), 0u);
}

TEST(FakeUiQueue, PostsFromManyThreadsKeepEachSendersOrder) {
    FakeUiQueue q;
    Recorder r;
    r.queue = &q;
    std::vector<int64_t> seen;
    r.onMessage = [&](Message& m) { seen.push_back(m.lparam); };
    q.SetHandler(&r);
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&q, t] {
            for (int i = 0; i < kEach; ++i) {
                q.Post(UiQueue::Make(1, 0, t * 100000 + i));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(q.RunUntilIdle(), static_cast<size_t>(kThreads * kEach));
    std::vector<int64_t> last(kThreads, -1);
    for (int64_t v : seen) {
        int t = static_cast<int>(v / 100000);
        EXPECT_GT(v % 100000, last[t]);
        last[t] = v % 100000;
    }
    EXPECT_EQ(q.RunUntilIdle(), 0u);
}

TEST(FakeUiQueue, TextTravelsToTheHandlerAndUndeliveredTextIsReleased) {
    std::unique_ptr<std::string> taken;
    {
        FakeUiQueue q;
        Recorder r;
        r.queue = &q;
        r.onMessage = [&](Message& m) {
            if (m.lparam == 1) {
                taken = std::move(m.text);
            }
        };
        q.SetHandler(&r);
        q.Post(UiQueue::Make(5, 0, 1, std::make_unique<std::string>("kept")));
        q.Post(UiQueue::Make(5, 0, 2, std::make_unique<std::string>("dropped by the handler")));
        q.RunUntilIdle();
        // Never delivered: released with the queue (the leak checker watches this).
        q.Post(UiQueue::Make(5, 0, 3, std::make_unique<std::string>("never delivered")));
        EXPECT_EQ(q.QueuedMessages(), 1u);
    }
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, "kept");
}

TEST(FakeUiQueue, SendFromWorkerWaitsForTheUiThread) {
    FakeUiQueue q;
    Recorder r;
    r.queue = &q;
    q.SetHandler(&r);
    std::atomic<bool> returned{false};
    int64_t result = -1;
    std::thread worker([&] {
        q.Post(UiQueue::Make(1, 0, 1));
        result = q.Send(UiQueue::Make(1, 0, 7, std::make_unique<std::string>("line")));
        returned = true;
        q.Post(UiQueue::Make(1, 0, 2));
    });
    // The worker stays blocked until the UI thread has delivered the sent message.
    while (q.QueuedMessages() < 2) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned);
    ASSERT_TRUE(q.RunUntil([&] { return r.events.size() == 3; }, 5000));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(result, 70);
    EXPECT_EQ(r.events, (std::vector<std::string>{"m1", "m7:line", "m2"}));
}

TEST(FakeUiQueue, SendOnTheUiThreadRunsTheHandlerAtOnce) {
    FakeUiQueue q;
    Recorder r;
    r.queue = &q;
    q.SetHandler(&r);
    q.Post(UiQueue::Make(1, 0, 1));
    EXPECT_EQ(q.Send(UiQueue::Make(1, 0, 4)), 40);
    EXPECT_EQ(r.events, std::vector<std::string>{"m4"});
    q.RunUntilIdle();
    EXPECT_EQ(r.events, (std::vector<std::string>{"m4", "m1"}));
}

TEST(FakeUiQueue, DestroyingTheQueueReleasesAWaitingSender) {
    int64_t result = -1;
    std::thread worker;
    {
        FakeUiQueue q;
        worker = std::thread([&] { result = q.Send(UiQueue::Make(1, 0, 9)); });
        while (q.QueuedMessages() == 0) {
            std::this_thread::yield();
        }
    }
    worker.join();
    EXPECT_EQ(result, 0);
}

TEST(FakeUiQueue, TimersFireInDueOrderOnTheFakeClock) {
    FakeUiQueue q;
    Recorder r;
    r.queue = &q;
    q.SetHandler(&r);
    q.SetTimer(4, 300);
    q.SetTimer(1, 500);
    q.SetTimer(5, 300); // same due time as 4: fires after it
    q.SetTimer(9, 100);
    EXPECT_TRUE(q.KillTimer(9));
    EXPECT_FALSE(q.KillTimer(9));
    EXPECT_EQ(q.TimeUntil(1), 500);

    q.AdvanceTime(299);
    EXPECT_TRUE(r.events.empty());
    q.AdvanceTime(1);
    EXPECT_EQ(r.events, (std::vector<std::string>{"t4@300", "t5@300"}));
    EXPECT_FALSE(q.IsTimerPending(4));
    EXPECT_TRUE(q.IsTimerPending(1));

    // Restarting a timer moves its due time; a timer set by a handler can fire in the same span.
    q.SetTimer(1, 1000);
    r.onTimer = [&](int id) {
        if (id == 1) {
            q.SetTimer(2, 50);
            q.Post(UiQueue::Make(1, 0, 3));
        }
    };
    q.AdvanceTime(2000);
    EXPECT_EQ(r.events, (std::vector<std::string>{"t4@300", "t5@300", "t1@1300", "m3", "t2@1350"}));
    EXPECT_EQ(q.Now(), 2300u);
    EXPECT_FALSE(q.FireNextTimer());

    q.SetTimer(7, 250);
    EXPECT_TRUE(q.FireNextTimer());
    EXPECT_EQ(r.events.back(), "t7@2550");
}
