// The window keeps answering real X events while Slurm does not: a run on the cluster whose
// squeue hangs, and Stop while it hangs.
#include "cluster/cluster_settings.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "store/key_store.h"
#include "support/media.h"
#include "x_session.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using gui_testing::ClickIn;
using gui_testing::ProgramFolder;
using gui_testing::Started;
using gui_testing::Widget;
using namespace platform::main_window;

namespace {

// Slurm's commands as scripts: sbatch takes every job as 77; squeue and scontrol hang (after
// leaving a mark) until the file "release" appears; scancel answers at once.
void FakeSlurm(const std::string& dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    auto script = [&](const std::string& name, const std::string& body) {
        std::string path = dir + "/" + name;
        ASSERT_TRUE(testing_support::WriteFile(path, "#!/bin/sh\n" + body));
        fs::permissions(path, fs::perms::owner_all);
    };
    const std::string hang = "touch \"" + dir + "/asked\"\nwhile [ ! -e \"" + dir +
                             "/release\" ]; do sleep 0.05; done\n";
    script("sbatch", "echo 77\n");
    script("squeue", hang + "echo '77|RUNNING|None'\n");
    script("scontrol", hang + "exit 1\n");
    script("sacct", "exit 1\n");
    script("scancel", "exit 0\n");
}

// Clicks the "Log debug info" box with the real pointer and returns the milliseconds until the
// window has handled the click; -1 when it has not within 5 s.
qint64 ClickLatency(gui::Program& program) {
    auto* box = Widget<QCheckBox>(program, kLogDebugInfo);
    bool before = box->isChecked();
    QWidget& window = program.Window();
    QPoint middle = box->mapTo(&window, QPoint(box->width() / 2, box->height() / 2));
    QElapsedTimer clock;
    clock.start();
    ClickIn(window.winId(), middle, 1);
    if (!QTest::qWaitFor([&] { return box->isChecked() != before; }, 5000)) {
        return -1;
    }
    return clock.elapsed();
}

} // namespace

TEST(DesktopResponsive, AHangingSqueueAndStopLeaveTheWindowAnswering) {
    ProgramFolder folder;
    std::string slurm = folder.Dir().File("slurm-bin");
    FakeSlurm(slurm);
    std::string path = slurm + ":" + std::getenv("PATH");
    setenv("PATH", path.c_str(), 1);
    setenv("VANTAQ_SLURM_POLL_MS", "100", 1);
    std::string source = folder.Dir().File("clip.avi");
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 1, "mjpeg", false));
    folder.WriteJobs(1);
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kInput, source));
        cluster::ClusterSettings where;
        where.m_UseSlurm = true;
        ASSERT_TRUE(cluster::WriteClusterSettings(s, where));
    }
    auto program = Started(folder);
    program->Logic().OnStartProcessing();
    // The first poll's squeue is hanging.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(slurm + "/asked"); }, 20000));
    qint64 during = ClickLatency(*program);
    EXPECT_GE(during, 0);
    EXPECT_LT(during, 500) << "a click waited " << during << " ms while squeue hung";

    // Stop asks Slurm first; it hangs too, and the window still answers.
    std::filesystem::remove(slurm + "/asked");
    program->Logic().OnStopProcessing();
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(slurm + "/asked"); }, 20000));
    qint64 stopping = ClickLatency(*program);
    EXPECT_GE(stopping, 0);
    EXPECT_LT(stopping, 500) << "a click waited " << stopping << " ms during Stop";
    std::printf("click handled after %lld ms while squeue hung, %lld ms during Stop\n",
                static_cast<long long>(during), static_cast<long long>(stopping));

    ASSERT_TRUE(testing_support::WriteFile(slurm + "/release", ""));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !program->Logic().Processing(); }, 20000));
    unsetenv("VANTAQ_SLURM_POLL_MS");
}
