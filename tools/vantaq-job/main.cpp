// vantaq-job: runs one job's whole pipeline (its ECL, the runner, the two-part method and the
// pulldown pass) from a job description file, with the program's own run controller on an
// event loop of its own. Prints the log lines and the runner's output lines; the exit status says
// how the job ended.
#include "cluster/job_description.h"
#include "cluster/job_result.h"
#include "env/settings.h"
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/files.h"
#include "platform/memory_dialog.h"
#include "platform/message_registry.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/posix_processes.h"
#include "pulldown/pulldown_worker.h"
#include "run/run_controller.h"
#include "run/system_services.h"
#include "store/key_store.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitComplete = 0;
constexpr int kExitError = 1;
constexpr int kExitNoJob = 2;
constexpr int kUsageError = 64;

// Log lines go to standard output as the window's log file has them.
class PrintedLog : public logging::LogView {
public:
    void AppendRow(int, const std::string& text) override {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
        ++m_Rows;
    }
    int RowCount() const override { return m_Rows; }
    void SetTopRow(int) override {}

private:
    int m_Rows = 0;
};

class NoWindow : public run::RunWindow {
public:
    void ResetJobEditor() override {}
    void UpdateJobButtons() override {}
    void RefreshJobList() override {}
    void RefreshJobRow(int, int) override {}
    bool InTray() const override { return false; }
    void UpdateTrayIcon(const std::string&) override {}
    void CloseWindow() override {}
    bool HasExitKeyword() const override { return false; }
    bool HasDeleteMpvKeyword() const override { return false; }
};

// Receives the loop's messages: the runner's output lines are printed, everything goes to the
// run controller.
class Driver : public platform::MessageHandler {
public:
    explicit Driver(platform::UiQueue& queue)
        : m_Line(queue.RegisterMessage(platform::kUpmLineName)) {}

    int64_t OnMessage(platform::Message& message) override {
        if (message.message == m_Line && message.text) {
            std::printf("%s\n", message.text->c_str());
            std::fflush(stdout);
        }
        if (controller) {
            controller->OnMessage(message);
        }
        return 0;
    }
    void OnTimer(int timerId) override {
        if (controller) {
            controller->OnTimer(timerId);
        }
    }

    run::RunController* controller = nullptr;

private:
    uint32_t m_Line;
};

std::string JobStatus(store::KeyStore& store) {
    std::string status;
    jobs::GetJobString(store, 0, jobs::kStatus, jobs::kWholeValue, status);
    return status;
}

// Leaves the job's end beside its description, for the window to store in the job's row.
void LeaveResult(const std::string& descriptionPath, const char* status,
                 const std::string& reason) {
    std::string error;
    if (!cluster::WriteJobResult(cluster::ResultPathFor(descriptionPath),
                                 cluster::JobResult{status, reason}, error)) {
        std::fprintf(stderr, "vantaq-job: the result was not written: %s\n", error.c_str());
    }
}

int NoJob(const std::string& descriptionPath, const std::string& reason) {
    std::fprintf(stderr, "vantaq-job: %s\n", reason.c_str());
    LeaveResult(descriptionPath, jobs::kStatusError, reason);
    return kExitNoJob;
}

int RunJob(const std::string& descriptionPath) {
    store::KeyStore store;
    std::string error;
    if (!store.Open(":memory:")) {
        return NoJob(descriptionPath, store.LastError());
    }
    if (!cluster::LoadJobDescription(descriptionPath, store, error)) {
        return NoJob(descriptionPath, error);
    }
    if (jobs::JobCount(store) != 1) {
        return NoJob(descriptionPath, descriptionPath + ": holds no job");
    }

    PrintedLog view;
    // The lines are printed only: the program folder's log file is the window's.
    logging::Log log(view, std::string());
    log.SetDebugInfo(logging::ReadLogDebugInfo(store));
    env::Settings settings;
    env::LoadSettingsAtStartup(store, log, settings);
    log.SetEnableLogging(false);

    platform::MemoryDialog dialog(platform::MainWindowControls());
    platform::EventLoop loop;
    Driver driver(loop);
    loop.SetHandler(&driver);
    NoWindow window;
    pulldown::PulldownWorkers pulldowns(loop);

    run::RunServices services;
    services.store = &store;
    services.log = &log;
    services.dialog = &dialog;
    services.queue = &loop;
    services.window = &window;
    services.settings = &settings;
    services.processes = std::make_shared<platform::PosixProcesses>();
    run::UseSystemServices(services, platform::ProgramFilePath(), pulldowns);
    run::RunController controller(std::move(services));
    driver.controller = &controller;
    const run::RunState& state = controller.State();

    controller.OnStartProcessing();
    // The queue holds this one job: done once its status is written or the run has ended. The
    // pause before a next job is not waited for, as there is none.
    loop.RunUntil([&] {
        return !state.m_Processing ||
               (JobStatus(store) != jobs::kStatusPending && !state.m_PulldownRunning);
    });
    loop.RunUntil([&] { return pulldowns.Running() == 0 && !controller.Busy(); });
    loop.SetHandler(nullptr);

    std::string status = JobStatus(store);
    const bool complete = status == jobs::kStatusComplete;
    LeaveResult(descriptionPath, complete ? jobs::kStatusComplete : jobs::kStatusError,
                complete ? std::string() : jobs::GetJobLastError(store, 0));
    std::printf("%s\n", status == jobs::kStatusComplete ? "Complete" : "Error");
    std::fflush(stdout);
    return status == jobs::kStatusComplete ? kExitComplete : kExitError;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(
            argc == 2 ? stdout : stderr,
            "Usage: vantaq-job DESCRIPTION\n"
            "\n"
            "Runs the one job of a job description file (written by Vantaq beside the\n"
            "job's ECL) through the runner, the two-part method and the pulldown pass,\n"
            "as the window's run does. Prints the log lines and the runner's output;\n"
            "the last line is \"Complete\" or \"Error\". The end and the failure's reason\n"
            "are also written to NAME.job.result beside NAME.job.reg.\n"
            "Exit status: 0 Complete, 1 Error, 2 no job could be read, 64 usage.\n"
            "The runner (EclCCE) and its configuration are taken from this program's\n"
            "folder.\n");
        return argc == 2 ? 0 : kUsageError;
    }
    return RunJob(argv[1]);
}
