// A main window logic over an in-memory dialog, a fake UI queue and recording stand-ins for the
// tray, the host and the message boxes.
#pragma once

#include "app/dialog_log_view.h"
#include "app/main_window.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/fake_ui_queue.h"
#include "platform/memory_dialog.h"
#include "platform/message_boxes.h"
#include "run/run_record.h"
#include "support/test_support.h"

#include <memory>
#include <string>
#include <vector>

namespace app_testing {

// Every visible effect, in order, as short texts ("log:...", "tray-add:...", "hide", ...).
using Events = std::vector<std::string>;

class RecordingTray : public app::Tray {
public:
    explicit RecordingTray(Events& events) : m_Events(events) {}
    bool Add(const std::string& tip) override {
        m_Events.push_back("tray-add:" + tip);
        shown = addSucceeds;
        return addSucceeds;
    }
    bool Update(const std::string& tip) override {
        m_Events.push_back("tray-update:" + tip);
        return shown;
    }
    bool Remove() override {
        m_Events.push_back("tray-remove");
        if (!removeSucceeds) {
            return false;
        }
        bool was = shown;
        shown = false;
        return was;
    }
    void ShowMenu() override { m_Events.push_back("tray-menu"); }
    bool Notify(const std::string& title, const std::string& text) override {
        m_Events.push_back("tray-notify:" + title + ": " + text);
        return shown;
    }
    bool addSucceeds = true;
    bool removeSucceeds = true;
    bool shown = false;

private:
    Events& m_Events;
};

class RecordingHost : public app::MainWindowHost {
public:
    explicit RecordingHost(Events& events) : m_Events(events) {}
    void ShowWindow(bool visible) override {
        m_Events.push_back(visible ? "show" : "hide");
        this->visible = visible;
    }
    void EndWindow() override {
        m_Events.push_back("end");
        ended = true;
    }
    bool OpenHelp(const std::string& path) override {
        m_Events.push_back("help:" + path);
        return helpOpens;
    }
    void ShowAbout(const std::string& caption) override { m_Events.push_back("about:" + caption); }
    bool RunSettingsDialog() override {
        m_Events.push_back("settings");
        if (duringSettings) {
            duringSettings();
        }
        return settingsOk;
    }
    std::function<void()> duringSettings; // what the dialog writes before it closes
    bool visible = true;
    bool ended = false;
    bool helpOpens = true;
    bool settingsOk = true;

private:
    Events& m_Events;
};

class RecordingBoxes : public platform::MessageBoxes {
public:
    explicit RecordingBoxes(Events& events) : m_Events(events) {}
    int ShowError(const std::string& text, const std::string&,
                  platform::MessageBoxButtons) override {
        m_Events.push_back("box:" + text);
        return platform::kAnswerOk;
    }
    int Ask(const std::string& text, const std::string&, const std::vector<std::string>&, int,
            int) override {
        m_Events.push_back("ask:" + text);
        return answer;
    }
    // The button every question gets: the first (Clear, Save as job) unless a test says else.
    int answer = 0;

private:
    Events& m_Events;
};

// Mirrors each log row into the event list as "log:<level>:<message>" (time stripped).
class RecordingLogView : public app::DialogLogView {
public:
    RecordingLogView(platform::Dialog& dialog, Events& events)
        : DialogLogView(dialog, platform::main_window::kLogList), m_Events(events) {}
    void AppendRow(int level, const std::string& text) override {
        DialogLogView::AppendRow(level, text);
        m_Events.push_back("log:" + std::to_string(level) + ":" + text.substr(10));
    }

private:
    Events& m_Events;
};

// The whole logic, with the start-up checks replaced by `checks` (which may be set before
// `Build`).
struct MainWindowRig {
    MainWindowRig()
        : dialog(platform::MainWindowControls()), view(dialog, events),
          log(view, logDir.File("vantaq.log"), [] { return std::time_t(0); }), tray(events),
          host(events), boxes(events) {}

    void Build(app::MainWindowHooks hooks = {}) {
        if (!hooks.loadSystemInfo) {
            hooks.loadSystemInfo = [this](env::StartupServices&, env::StartupResult& result) {
                events.push_back("checks");
                result.helpFile = helpFile;
                return checksSucceed;
            };
        }
        env::StartupServices services;
        services.store = &temp.Store();
        services.log = &log;
        services.dialog = &dialog;
        services.boxes = &boxes;
        services.programPath = programPath;
        window = std::make_unique<app::CMainWindow>(dialog, queue, temp.Store(), log, tray, boxes,
                                                    host, services, std::move(hooks));
        // As the run does: the job being encoded is found again by its run key.
        window->AttachRun(run, [this] {
            if (!runKey.empty()) {
                run.m_CurrentJob = run::FindJobByRunKey(temp.Store(), runKey, run.m_CurrentJob);
            }
            return run.m_CurrentJob;
        });
    }

    // Initialises the window with `line` and lets timer 1 come due.
    void Start(const std::string& line) {
        window->OnInitDialog(line);
        queue.AdvanceTime(app::kStartupDelayMs);
    }

    void AddJob(const std::string& name, const std::string& status = jobs::kStatusPending) {
        jobs::JobRecord record;
        record.name = name;
        record.status = status;
        int position = static_cast<int>(jobs::ReadJobNames(temp.Store()).size());
        jobs::WriteJobRecord(temp.Store(), position, record);
    }

    bool Saw(const std::string& event) const {
        for (const std::string& e : events) {
            if (e == event) {
                return true;
            }
        }
        return false;
    }

    Events events;
    testing_support::TempStore temp;
    testing_support::TempDir logDir;
    platform::MemoryDialog dialog;
    RecordingLogView view;
    logging::Log log;
    platform::FakeUiQueue queue;
    RecordingTray tray;
    RecordingHost host;
    RecordingBoxes boxes;
    std::string programPath = "/opt/vantaq/vantaq";
    std::string helpFile;
    bool checksSucceed = true;
    // The run's state as a run controller would own it.
    run::RunState run;
    std::string runKey; // the run key of the job the test's run encodes
    std::unique_ptr<app::CMainWindow> window;
};

} // namespace app_testing
