// A program folder with a scripted runner, a store, an in-memory window and a fake-clock queue,
// for driving the run controller through whole queues with real child processes.
#pragma once

#include "env/settings.h"
#include "log/log.h"
#include "platform/fake_ui_queue.h"
#include "platform/memory_dialog.h"
#include "platform/message_boxes.h"
#include "run/run_controller.h"
#include "support/test_support.h"

#include <string>
#include <vector>

namespace run_test {

class Window : public run::RunWindow {
public:
    void ResetJobEditor() override { ++resets; }
    void UpdateJobButtons() override { ++buttonUpdates; }
    void RefreshJobList() override { ++refreshes; }
    void RefreshJobRow(int row, int image) override { rowImages.push_back({row, image}); }
    bool InTray() const override { return inTray; }
    void UpdateTrayIcon(const std::string& tip) override { tips.push_back(tip); }
    void CloseWindow() override { closed = true; }
    void CloseWindowAfterFailure() override { closedAfterFailure = true; }
    bool HasExitKeyword() const override { return exitKeyword; }
    bool HasDeleteMpvKeyword() const override { return deleteMpvKeyword; }
    void OnQueueFinished(int completed, int failed) override {
        finished.push_back({completed, failed});
    }

    int resets = 0;
    int buttonUpdates = 0;
    int refreshes = 0;
    std::vector<std::pair<int, int>> rowImages;
    std::vector<std::string> tips;
    std::vector<std::pair<int, int>> finished; // completed and failed jobs at each queue end
    bool inTray = false;
    bool closed = false;
    bool closedAfterFailure = false;
    bool exitKeyword = false;
    bool deleteMpvKeyword = false;
};

class Boxes : public platform::MessageBoxes {
public:
    int ShowError(const std::string& text, const std::string&,
                  platform::MessageBoxButtons) override {
        shown.push_back(text);
        return platform::kAnswerOk;
    }
    std::vector<std::string> shown;
};

// The whole setting of a run. The runner is a shell script that records its command line and
// writes the stream and analysis its control list names (unless the job's name holds
// "nostream" or "noanalysis").
class RunFixture : public platform::MessageHandler {
public:
    RunFixture();
    ~RunFixture() override;

    int64_t OnMessage(platform::Message& message) override;
    void OnTimer(int timerId) override;

    // Adds a pending job of `method` (0 two-part, 2 one pass) with the given name; a source
    // whose name holds "missing" cannot be read.
    void AddJob(const std::string& name, int method, int telecide = 0);
    std::string Status(int job);
    // Runs messages from the runner's threads until no process is running, no stream report is
    // being made and nothing is queued, or 20 s of real time pass.
    bool Settle();
    // Settles, then fires timers one by one (settling after each) until none is pending.
    void RunQueue();
    bool Logged(const std::string& row) const;
    std::string RunnerLog() const; // the command lines the runner saw

    testing_support::TempDir dir;
    testing_support::TempStore store;
    testing_support::LogLines lines;
    logging::Log log{lines, dir.File("vantaq.log")};
    platform::MemoryDialog dialog;
    platform::FakeUiQueue queue;
    Boxes boxes;
    Window window;
    env::Settings settings;
    int cceVersion = 5;
    int64_t clockSeconds = 1000;
    std::vector<std::pair<std::string, std::string>> pulldowns;
    std::unique_ptr<run::RunController> controller;
    int running = 0;                 // processes started and not finished
    std::vector<std::string> output; // the runner's output lines
    std::vector<int> bar;            // the progress bar after each of them
};

} // namespace run_test
