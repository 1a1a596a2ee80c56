// The keyword hand-over: a second start is answered as soon as its keywords are taken, before
// the work they ask for, and hears of a failure only when nobody took them.
#include "gui/keyword_handover.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(KeywordHandover, TheAnswerComesBeforeTheWork) {
    testing_support::TempDir dir;
    std::string storePath = dir.File("store.sqlite");
    gui::KeywordReceiver receiver(storePath);
    std::string error;
    ASSERT_TRUE(receiver.Listen(error)) << error;

    std::atomic<bool> answered{false};
    std::atomic<bool> taken{false};
    std::vector<std::string> handed;
    bool answeredBeforeWork = false;
    // The work waits for the second start's answer: were the answer to wait for the work,
    // neither would ever come.
    receiver.SetHandler([&](const std::string& folder, const std::vector<std::string>& arguments) {
        answeredBeforeWork = QTest::qWaitFor([&] { return answered.load(); }, 10000);
        handed = arguments;
        handed.insert(handed.begin(), folder);
    });
    std::thread second([&] {
        std::string why;
        taken = gui::HandKeywords(storePath, "/work", {"-source:list.txt", "-start"}, 5000, why);
        answered = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handed.empty(); }, 15000));
    second.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(answeredBeforeWork);
    EXPECT_EQ(handed, (std::vector<std::string>{"/work", "-source:list.txt", "-start"}));
}

TEST(KeywordHandover, NobodyListeningIsAFailure) {
    testing_support::TempDir dir;
    std::string error;
    EXPECT_FALSE(gui::HandKeywords(dir.File("store.sqlite"), "/", {"-start"}, 300, error));
    EXPECT_NE(error.find("does not answer"), std::string::npos) << error;
}
