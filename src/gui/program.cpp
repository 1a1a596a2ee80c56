// Puts the program together and wires the parts that are present into the window.
#include "gui/program.h"

#include "chapters/chapter_list.h"
#include "chapters/size_calc.h"
#include "env/startup_checks.h"
#include "env/user_files.h"
#include "gui/file_dialogs.h"
#include "platform/command_line.h"
#include "platform/control_ids.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/program_output.h"
#include "run/cce_data.h"
#include "run/cce_data_import.h"
#include "run/process_runner.h"
#include "run/system_services.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

namespace gui {

using namespace platform::main_window;

Program::Program(ProgramOptions options) : m_Options(std::move(options)) {}

Program::~Program() {
    // The logic goes first: the queue and the widgets it calls must still exist meanwhile.
    if (m_Queue) {
        m_Queue->SetHandler(nullptr);
    }
    m_Imports.reset();
    m_Cluster.reset();
    m_Run.reset();
    m_Logic.reset();
}

bool Program::Open(std::string& error) {
    if (!m_Store.Open(m_Options.storePath)) {
        error = m_Store.LastError();
        return false;
    }
    return true;
}

void Program::Start() {
    m_Queue = std::make_unique<platform::QtUiQueue>();
    m_Window = std::make_unique<MainWindowWidget>(m_Store);
    m_LogView = std::make_unique<app::DialogLogView>(m_Window->Dialog(), kLogList);
    m_Log = std::make_unique<logging::Log>(*m_LogView, env::ChooseLogFile(m_Options.programPath));
    m_Boxes = std::make_unique<platform::QtMessageBoxes>(m_Window.get());
    m_Tray = std::make_unique<QtTray>(*m_Queue);
    m_Processes = std::make_shared<platform::PosixProcesses>();

    env::StartupServices services;
    services.store = &m_Store;
    services.log = m_Log.get();
    services.dialog = &m_Window->Dialog();
    services.boxes = m_Boxes.get();
    services.programPath = m_Options.programPath;
    services.systemDirectory = env::FolderOf(m_Options.programPath) + "/" + env::kSystemFolderName;
    services.startRunner = [this](const std::string& commandLine) {
        run::CProcessRunner::Start(std::make_unique<run::CProcessRunner>(
            commandLine, *m_Queue, run::kStartupEclCceProcess, m_Processes));
    };
    services.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    services.exit = m_Options.exit ? m_Options.exit : [](int status) {
        std::fflush(nullptr);
        std::_Exit(status);
    };
    services.getEnv = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };

    app::MainWindowHooks hooks;
    hooks.loadSystemInfo = env::LoadSystemInfo;
    platform::Dialog& dialog = m_Window->Dialog();
    hooks.findChapters = [this, &dialog](const std::string& sourcePath) {
        chapters::ImportChaptersForSource(dialog, sourcePath, *m_Log);
    };
    hooks.onChapterBrowse = [this, &dialog] {
        chapters::OnBrowseChapters(
            dialog, *m_Log,
            [this](const std::string& filter, const std::string& initial, std::string& chosen) {
                QString path =
                    ChooseExistingFile(m_Window.get(), QString::fromLocal8Bit(filter.c_str()),
                                       QString::fromLocal8Bit(initial.c_str()));
                chosen = path.toLocal8Bit().toStdString();
                return !path.isEmpty();
            });
    };
    hooks.onCalc = [this, &dialog] {
        chapters::OnCalcSize(dialog, m_Logic->m_SourceSeconds, *m_Log);
    };
    // Long lists are read in slices, the window answering between them.
    m_Imports = std::make_unique<SlicedImports>([this, &dialog](const std::string& path) {
        return std::make_unique<run::CceDataImport>(path, m_Logic->Builder(), dialog, *m_Log,
                                                    m_Store);
    });
    hooks.loadFileListInSlices = [this](const std::string& path, std::function<void()> done) {
        m_Imports->Add(path, std::move(done));
    };
    m_Wiring = std::make_unique<app::RunWiring>(m_Window->Dialog(), m_Store, *m_Log);
    auto milliseconds = [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
    m_Wiring->ShowRunStatus(*m_Queue, milliseconds);
    m_Wiring->AddHooks(hooks);
    m_Logic =
        std::make_unique<app::CMainWindow>(m_Window->Dialog(), *m_Queue, m_Store, *m_Log, *m_Tray,
                                           *m_Boxes, *m_Window, services, std::move(hooks));

    m_Pulldowns = std::make_unique<pulldown::PulldownWorkers>(*m_Queue);
    run::RunServices run;
    run.store = &m_Store;
    run.log = m_Log.get();
    run.dialog = &m_Window->Dialog();
    run.queue = m_Queue.get();
    run.window = m_Wiring.get();
    run.settings = &m_Logic->m_Settings;
    run.processes = m_Processes;
    run::UseSystemServices(run, m_Options.programPath, *m_Pulldowns);
    run.milliseconds = milliseconds;
    cluster::ClusterServices onCluster;
    onCluster.programPath = run.programPath;
    onCluster.inspect = run.inspect;
    onCluster.now = run.now;
    onCluster.cceVersion = run.cceVersion;
    m_Run = std::make_unique<run::RunController>(std::move(run));
    onCluster.store = &m_Store;
    onCluster.log = m_Log.get();
    onCluster.dialog = &m_Window->Dialog();
    onCluster.queue = m_Queue.get();
    onCluster.window = m_Wiring.get();
    onCluster.settings = &m_Logic->m_Settings;
    onCluster.runCommand = [](const std::vector<std::string>& argv, std::string& output,
                              int& status) {
        return platform::RunProgram(argv, output, status, cluster::kCommandTimeoutMs);
    };
    onCluster.pollMilliseconds = cluster::PollInterval(std::getenv(cluster::kPollEnvironment));
    m_Cluster = std::make_unique<cluster::ClusterRun>(std::move(onCluster), *m_Run);
    m_Run->SetRemote(m_Cluster.get());
    m_Wiring->Attach(m_Logic.get(), m_Run.get());
    m_Wiring->AttachCluster(m_Cluster.get());
    m_Tray->SetLogic(m_Logic.get());
    m_Window->SetLogic(m_Logic.get());

    // Controls whose parts are not in this program stay disabled whatever the logic says.
    WidgetDialog& controls = m_Window->Controls();
    controls.SetUnavailable(kTemplateEdit, true);
    if (!m_Logic->HasChapterBrowse()) {
        controls.SetUnavailable(kChapterBrowse, true);
    }
    if (!m_Logic->HasCalc()) {
        controls.SetUnavailable(kCalc, true);
    }
    if (!m_Logic->HasRunController()) {
        controls.SetUnavailable(kStart, true);
        controls.SetUnavailable(kStop, true);
        controls.SetUnavailable(kStopAfterJob, true);
    }

    m_Window->show();
    m_Logic->OnInitDialog(m_Options.arguments);
}

} // namespace gui
