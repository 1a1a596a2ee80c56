// The run controller's test setting.
#include "run_fixture.h"

#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "platform/message_registry.h"
#include "platform/posix/posix_processes.h"
#include "store/paths.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace run_test {

namespace {

// The runner: logs its arguments, prints progress lines for a title holding "progress", then
// writes a small stream (a picture start code for each frame of the range) and analysis where
// the list says (no stream for a title holding "nostream", no analysis for one holding
// "noanalysis", and for one holding "slow" nothing until the file "go" appears beside it).
const char* const kRunnerScript = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/runner.log"
ecl="$2"
out=$(sed -n 's/^vid_file0=//p' "$ecl" | tr -d '\r')
title=$(sed -n 's/^title=//p' "$ecl" | tr -d '\r')
vid=$(sed -n 's/^vid_out=//p' "$ecl" | tr -d '\r')
vaf=$(sed -n 's/^vaf_out=//p' "$ecl" | tr -d '\r')
vaffile=$(sed -n 's/^vaf_file=//p' "$ecl" | tr -d '\r')
echo "encoding $title"
case "$title" in *progress*) printf '50%% / %s\nnot a progress line\n100%% / %s\n' "$title" "$title" ;; esac
case "$title" in *nostream*) exit 1 ;; esac
# A "slow" title encodes until the test lets it go on.
case "$title" in *slow*) while [ ! -e "$here/go" ]; do sleep 0.05; done ;; esac
first=$(sed -n 's/^encode_first=//p' "$ecl" | tr -d '\r')
last=$(sed -n 's/^encode_last=//p' "$ecl" | tr -d '\r')
# One picture start code per frame of the range (one less for a title holding "short").
n=$((last - first)); case "$title" in *short*) n=$((n - 1)) ;; esac
if [ "$vid" = "1" ] && [ -n "$out" ]; then
  { printf 'stream of %s' "$title"; i=0; while [ $i -lt $n ]; do printf '\000\000\001\000'; i=$((i + 1)); done; } > "$out"
fi
case "$title" in *noanalysis*) exit 0 ;; esac
if [ "$vaf" = "1" ] && [ -n "$vaffile" ]; then printf 'analysis of %s' "$title" > "$vaffile"; fi
exit 0
)";

} // namespace

RunFixture::RunFixture() : dialog(platform::MainWindowControls()) {
    namespace fs = std::filesystem;
    testing_support::WriteFile(dir.File("EclCCE"), kRunnerScript);
    fs::permissions(dir.File("EclCCE"), fs::perms::owner_all);
    testing_support::WriteFile(dir.File("EclCCE.ini"), "[EclCCE]\r\nCCE=/nowhere\r\n");
    fs::create_directories(dir.File("media"));
    auto& s = store.Store();
    s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
    templates::InitTemplates(s);
    log.SetDebugInfo(true);

    queue.SetHandler(this);
    run::RunServices services;
    services.store = &s;
    services.log = &log;
    services.dialog = &dialog;
    services.queue = &queue;
    services.window = &window;
    services.settings = &settings;
    services.processes = std::make_shared<platform::PosixProcesses>();
    services.programPath = dir.File("vantaq");
    services.inspect = [](const std::string& path) {
        return path.find("missing") != std::string::npos
                   ? ecl::SourceFacts{}
                   : ecl::SourceFacts{true, 176, 144, 24000, 1001, 240};
    };
    services.startPulldown = [this](const std::string& source, const std::string& target) {
        pulldowns.push_back({source, target});
    };
    services.now = [this] { return clockSeconds + static_cast<int64_t>(queue.Now() / 1000); };
    services.cceVersion = [this] { return cceVersion; };
    controller = std::make_unique<run::RunController>(std::move(services));
}

RunFixture::~RunFixture() {
    // Let every runner thread post its end before the queue goes away.
    Settle();
    queue.SetHandler(nullptr);
}

int64_t RunFixture::OnMessage(platform::Message& message) {
    if (message.message == queue.RegisterMessage(platform::kUpmProcessHandleName)) {
        ++running;
        return 0;
    }
    if (message.message == queue.RegisterMessage(platform::kUpmLineName) && message.text) {
        output.push_back(*message.text);
        controller->OnMessage(message);
        bar.push_back(dialog.GetProgressPos(platform::main_window::kProgress));
        return 0;
    }
    // A runner that never started reports its end too, without a handle before it.
    if (message.message == queue.RegisterMessage(platform::kUpmFinishedName) && running > 0) {
        --running;
    }
    controller->OnMessage(message);
    return 0;
}

void RunFixture::OnTimer(int timerId) {
    controller->OnTimer(timerId);
}

void RunFixture::AddJob(const std::string& name, int method, int telecide) {
    jobs::JobRecord r;
    r.name = name;
    r.input = dir.File("media/" + name + ".avi");
    r.templateKey = std::to_string(method);
    r.method = method;
    r.telecide = telecide;
    r.bitrateMax = 8000;
    r.bitrateAvg = 4000;
    r.passes = 1;
    r.aspectRatio = 2;
    r.qFactor = 40;
    r.bias = 30;
    r.quality = 16;
    r.endFrame = 240;
    int count = static_cast<int>(jobs::ReadJobNames(store.Store()).size());
    ASSERT_TRUE(jobs::WriteJobRecord(store.Store(), count, r));
}

std::string RunFixture::Status(int job) {
    std::string status;
    jobs::GetJobString(store.Store(), job, jobs::kStatus, 255, status);
    return status;
}

bool RunFixture::Settle() {
    queue.RunUntilIdle();
    auto start = std::chrono::steady_clock::now();
    // A finished job's stream report is made on a thread of its own too.
    while (running > 0 || queue.QueuedMessages() > 0 || controller->Busy()) {
        queue.RunUntil([this] { return running == 0 && !controller->Busy(); }, 200);
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
            return false;
        }
    }
    return true;
}

void RunFixture::RunQueue() {
    for (int guard = 0; guard < 100; ++guard) {
        ASSERT_TRUE(Settle());
        if (!queue.FireNextTimer()) {
            return;
        }
    }
    FAIL() << "the queue never settled";
}

bool RunFixture::Logged(const std::string& row) const {
    return std::find(lines.rows.begin(), lines.rows.end(), row) != lines.rows.end();
}

std::string RunFixture::RunnerLog() const {
    return testing_support::ReadFile(dir.File("runner.log"));
}

} // namespace run_test
