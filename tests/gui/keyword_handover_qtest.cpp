// The keyword hand-over: a second start is answered as soon as its keywords are taken, before
// the work they ask for, and hears of a failure only when nobody took them.
#include "gui/keyword_handover.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QLocalSocket>
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

TEST(KeywordHandover, AHostileRequestIsDroppedAndTheNextIsTaken) {
    testing_support::TempDir dir;
    std::string storePath = dir.File("store.sqlite");
    gui::KeywordReceiver receiver(storePath);
    std::string error;
    ASSERT_TRUE(receiver.Listen(error)) << error;
    std::vector<std::string> handed;
    receiver.SetHandler(
        [&](const std::string&, const std::vector<std::string>& arguments) { handed = arguments; });

    // An argument count of 2^63 - 1: the connection is dropped unanswered.
    QLocalSocket hostile;
    hostile.connectToServer(gui::KeywordServerName(storePath));
    ASSERT_TRUE(hostile.waitForConnected(5000));
    hostile.write(QByteArray("\0"
                             "9223372036854775807\0",
                             21));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return hostile.state() == QLocalSocket::UnconnectedState; }, 10000));
    EXPECT_TRUE(hostile.readAll().isEmpty());

    std::atomic<bool> taken{false};
    std::thread second([&] {
        std::string why;
        taken = gui::HandKeywords(storePath, "/work", {"-start"}, 5000, why);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handed.empty(); }, 15000));
    second.join();
    EXPECT_TRUE(taken);
    EXPECT_EQ(handed, std::vector<std::string>{"-start"});
}
