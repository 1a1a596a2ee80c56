// The run inside the window: the "start" and "exit" keywords drive a queue through the
// controller, and the window's shared state follows the run.
#include "app/run_wiring.h"
#include "jobs/job_store.h"
#include "main_window_fixture.h"
#include "platform/control_ids.h"
#include "platform/posix/posix_processes.h"
#include "support/store_faults.h"

#include <gtest/gtest.h>

#include <memory>

using app_testing::MainWindowRig;
namespace ids = platform::main_window;

namespace {

// The window with the run controller wired in; no runner beside the program, so every job fails
// to start and every step follows at once.
struct WiredRig {
    WiredRig() : wiring(rig.dialog, rig.temp.Store(), rig.log) {
        app::MainWindowHooks hooks;
        wiring.AddHooks(hooks);
        rig.Build(std::move(hooks));
        run::RunServices services;
        services.store = &rig.temp.Store();
        services.log = &rig.log;
        services.dialog = &rig.dialog;
        services.queue = &rig.queue;
        services.boxes = &rig.boxes;
        services.window = &wiring;
        services.settings = &rig.window->m_Settings;
        services.processes = std::make_shared<platform::PosixProcesses>();
        services.programPath = rig.programPath;
        services.startPulldown = [](const std::string&, const std::string&) {};
        services.now = [this] { return static_cast<int64_t>(rig.queue.Now() / 1000); };
        services.sleep = [](int) {};
        services.cceVersion = [] { return 5; };
        controller = std::make_unique<run::RunController>(std::move(services));
        wiring.Attach(rig.window.get(), controller.get());
    }
    // Starts with `line` and runs the queue to its end.
    void RunQueue(const std::string& line) {
        rig.Start(line);
        for (int i = 0; i < 20 && rig.window->m_Processing; ++i) {
            rig.queue.RunUntil([&] { return rig.queue.QueuedMessages() == 0; }, 2000);
            rig.queue.FireNextTimer();
        }
    }

    MainWindowRig rig;
    app::RunWiring wiring;
    std::unique_ptr<run::RunController> controller;
};

} // namespace

TEST(RunWiring, StartAndExitKeywordsRunTheQueueAndCloseTheWindow) {
    WiredRig wired;
    MainWindowRig& rig = wired.rig;
    rig.AddJob("one");
    rig.AddJob("two");
    wired.RunQueue("vantaq -start -exit");
    EXPECT_FALSE(rig.window->m_Processing);
    EXPECT_EQ(rig.window->m_CurrentJob, -1);
    for (int job : {0, 1}) {
        std::string status;
        jobs::GetJobString(rig.temp.Store(), job, jobs::kStatus, 255, status);
        EXPECT_EQ(status, "Error");
    }
    EXPECT_TRUE(rig.Saw("log:2:  ERROR: Couldn't start ECLCCE Process"));
    EXPECT_TRUE(rig.Saw("log:0:No more jobs!!!"));
    EXPECT_TRUE(rig.Saw("end"));
    EXPECT_EQ(rig.window->m_ExitStatus, 0);
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStart));
    EXPECT_FALSE(rig.dialog.IsEnabled(ids::kStop));
}

// A status the store refuses (another process holds its write lock) ends the run, and the
// "exit" keyword then ends the program with status 1.
TEST(RunWiring, ARefusedStatusWriteEndsAnExitRunWithStatusOne) {
    WiredRig wired;
    MainWindowRig& rig = wired.rig;
    rig.AddJob("one");
    rig.temp.Store().SetBusyTimeout(50);
    testing_support::LockHolder holder(rig.temp.Path());
    ASSERT_TRUE(holder.Hold());
    wired.RunQueue("vantaq -start -exit");
    holder.Release();
    EXPECT_FALSE(rig.window->m_Processing);
    EXPECT_TRUE(rig.Saw("end"));
    EXPECT_EQ(rig.window->m_ExitStatus, 1);
    std::string status;
    jobs::GetJobString(rig.temp.Store(), 0, jobs::kStatus, 255, status);
    EXPECT_EQ(status, "Pending");
}
