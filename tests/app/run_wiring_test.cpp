// The run inside the window: the "start" and "exit" keywords drive a queue through the
// controller, and the window's shared state follows the run.
#include "app/run_wiring.h"
#include "jobs/job_store.h"
#include "main_window_fixture.h"
#include "platform/control_ids.h"
#include "platform/posix/posix_processes.h"

#include <gtest/gtest.h>

using app_testing::MainWindowRig;
namespace ids = platform::main_window;

TEST(RunWiring, StartAndExitKeywordsRunTheQueueAndCloseTheWindow) {
    MainWindowRig rig;
    app::RunWiring wiring(rig.dialog, rig.temp.Store(), rig.log);
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
    // No runner beside this program: every job fails to start and the queue still ends.
    services.programPath = rig.programPath;
    services.startPulldown = [](const std::string&, const std::string&) {};
    services.now = [&rig] { return static_cast<int64_t>(rig.queue.Now() / 1000); };
    services.sleep = [](int) {};
    services.cceVersion = [] { return 5; };
    run::RunController controller(std::move(services));
    wiring.Attach(rig.window.get(), &controller);

    rig.AddJob("one");
    rig.AddJob("two");
    // Without a runner every step follows at once, so the whole queue runs within the
    // start-up tick.
    rig.Start("vantaq -start -exit");
    for (int i = 0; i < 20 && rig.window->m_Processing; ++i) {
        rig.queue.RunUntil([&] { return rig.queue.QueuedMessages() == 0; }, 2000);
        rig.queue.FireNextTimer();
    }
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
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStart));
    EXPECT_FALSE(rig.dialog.IsEnabled(ids::kStop));
}
