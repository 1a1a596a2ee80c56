// The store under a writer killed at random moments, and under two writers at once.
#include "jobs/job_store.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "torture_ops.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

const std::string kWriter = std::string(VANTAQ_TEST_BIN_DIR) + "/vantaq_store_writer";

// Starts the writer; with `ready` set, waits until it reports that its writes begin.
pid_t StartWriter(const std::vector<std::string>& args, bool waitReady) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv{const_cast<char*>(kWriter.c_str())};
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, kWriter.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (waitReady && pid > 0) {
        char buf[8];
        ssize_t n = read(fds[0], buf, sizeof buf);
        (void)n;
    }
    close(fds[0]);
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Queue(store::KeyStore& s) {
    std::vector<std::string> names;
    for (const auto& e : jobs::ReadJobNames(s)) {
        names.push_back(e.name);
    }
    return names;
}

} // namespace

TEST(StoreCrash, KilledWriterLeavesWholeJobsExactlyOnce) {
    testing_support::TempDir dir;
    std::string path = dir.File("store.sqlite");
    std::mt19937 random(12345);
    std::vector<std::string> expected;

    for (uint32_t round = 1; round <= 12; ++round) {
        pid_t pid = StartWriter({"torture", path, std::to_string(round)}, true);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 150));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own in round " << round;

        store::KeyStore s;
        ASSERT_TRUE(s.Open(path)) << s.LastError();
        std::vector<std::string> queue = Queue(s);

        // The queue must equal the replay of some prefix of the writer's operations.
        torture::OpSource source(round);
        std::vector<std::string> replay = expected;
        int steps = 0;
        while (replay != queue && steps < 200000) {
            torture::Apply(source.Next(static_cast<int>(replay.size())), replay);
            ++steps;
        }
        ASSERT_EQ(replay, queue) << "round " << round << ": no prefix of the run matches";
        expected = queue;

        // Every job is whole, no name is there twice, nothing lies beyond the queue.
        std::set<std::string> unique(queue.begin(), queue.end());
        EXPECT_EQ(unique.size(), queue.size());
        for (int j = 0; j < static_cast<int>(queue.size()); ++j) {
            std::vector<store::Value> values;
            ASSERT_TRUE(s.EnumValues(
                s.OpenKey(store::kHive, jobs::JobKeyPath(j), store::Access::Read), values));
            EXPECT_EQ(values.size(), 22u) << "job " << j;
            std::string chapters;
            ASSERT_TRUE(jobs::GetJobString(s, j, jobs::kChapters, 1024, chapters));
            EXPECT_EQ(chapters, "0,100,200," + queue[j]);
        }
        std::vector<std::string> keys;
        s.EnumSubKeys(s.OpenKey(store::kHive, store::kJobsPath, store::Access::Read), keys);
        EXPECT_EQ(keys.size(), queue.size()) << "a stray key (Temp or beyond the queue)";
    }
}

TEST(StoreCrash, TwoWritersAtOnceLoseNoUpdate) {
    testing_support::TempStore t;
    const int times = 300;
    pid_t a = StartWriter({"count", t.Path(), std::to_string(times)}, false);
    pid_t b = StartWriter({"count", t.Path(), std::to_string(times)}, false);
    // This process writes too, through its own connection.
    for (int i = 0; i < times; ++i) {
        store::KeyStore::Transaction unit(t.Store());
        uint32_t n = 0;
        t.Store().ReadNumber(store::kHive, "Software\\Test", "Counter", n);
        ASSERT_TRUE(t.Store().WriteNumber(store::kHive, "Software\\Test", "Counter", n + 1));
        ASSERT_TRUE(unit.Commit());
    }
    EXPECT_EQ(WaitExit(a), 0);
    EXPECT_EQ(WaitExit(b), 0);
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(store::kHive, "Software\\Test", "Counter", n));
    EXPECT_EQ(n, 3u * times);
}

TEST(StoreCrash, ForeignFileIsRefusedAndKept) {
    testing_support::TempDir dir;
    std::string path = dir.File("notes.txt");
    std::string text(5000, 'z');
    ASSERT_TRUE(testing_support::WriteFile(path, text));
    store::KeyStore s;
    EXPECT_FALSE(s.Open(path));
    EXPECT_NE(s.LastError().find("not a Vantaq store"), std::string::npos) << s.LastError();
    EXPECT_EQ(testing_support::ReadFile(path), text);
    uint32_t n = 0;
    EXPECT_FALSE(s.WriteNumber(store::kHive, store::kRootPath, "X", 1));
    EXPECT_FALSE(s.ReadNumber(store::kHive, store::kRootPath, "X", n));

    // A folder where the file should be.
    store::KeyStore d;
    EXPECT_FALSE(d.Open(dir.Path()));
}
