// The job queue's figures for 0, 1,000, 10,000 and 100,000 jobs, the empty store timed in the
// same run as the baseline: start -> exit of the program on a queue of complete jobs with its
// peak memory, a job list file read by the real editor in slices, and .reg export and import
// by vantaq-reg. VANTAQ_BENCH_JOBS (comma list) and VANTAQ_BENCH_DIR (default /dev/shm) change
// the sizes and the scratch folder.
#include "app/main_window.h"
#include "jobs/job_editor.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/files.h"
#include "platform/memory_dialog.h"
#include "run/cce_data_import.h"
#include "store/key_store.h"
#include "templates/template_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
namespace ui = platform::main_window;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Child {
    double seconds = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs `argv` with the store and an offscreen window, stdout to `out` (or /dev/null).
Child Run(const std::vector<std::string>& argv, const std::string& storePath,
          const std::string& out = "/dev/null") {
    Child result;
    std::fflush(nullptr);
    Clock::time_point start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("VANTAQ_STORE", storePath.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::FILE* to = std::freopen(out.c_str(), "w", stdout);
        std::FILE* err = std::freopen("/dev/null", "w", stderr);
        (void)to;
        (void)err;
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.seconds = Since(start);
    result.peakKiB = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void FillStore(const std::string& path, int jobs, const std::string& status) {
    store::KeyStore s;
    if (!s.Open(path)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    store::KeyStore::Transaction unit(s);
    for (int i = 0; i < jobs; ++i) {
        jobs::JobRecord r;
        r.status = status;
        r.name = "episode " + std::to_string(i);
        r.input = "/media/archive/tape" + std::to_string(i) + ".avi";
        r.templateKey = "1";
        r.method = 1;
        r.bitrateMax = 9800;
        r.bitrateAvg = 5000;
        r.passes = 2;
        r.endFrame = 1000;
        jobs::WriteJobRecord(s, i, r);
    }
    unit.Commit();
}

// A job list of `lines` lines naming one real source, read by the real editor in slices.
double ImportList(const std::string& dir, const std::string& source, int lines, long& peakKiB) {
    std::string storePath = dir + "/import.sqlite";
    fs::remove(storePath);
    store::KeyStore s;
    s.Open(storePath);
    // As the program's first start leaves it: the root, then the default templates.
    s.CreateKey(store::kHive, "Software\\Pellmoor\\Vantaq");
    templates::InitTemplates(s);
    templates::TemplateList list;
    templates::LoadTemplateList(s, list);
    platform::MemoryDialog dialog(platform::MainWindowControls());
    for (const std::string& name : list.names) {
        dialog.InsertRow(ui::kTemplateList, -1, name);
    }
    dialog.SetText(ui::kTemplateOrder, list.order);
    struct NoView : logging::LogView {
        void AppendRow(int, const std::string&) override { ++rows; }
        int RowCount() const override { return rows; }
        void SetTopRow(int) override {}
        int rows = 0;
    } view;
    logging::Log log(view, "");
    bool autoBias = true;
    int frames = 0;
    double seconds = 0;
    jobs::EditorState state;
    state.processing = [] { return false; };
    state.currentJob = [] { return -1; };
    state.autoBias = &autoBias;
    state.sourceFrames = &frames;
    state.sourceSeconds = &seconds;
    jobs::CJobEditor editor(dialog, s, log, dir, state);
    std::string listPath = dir + "/list.txt";
    {
        std::ofstream out(listPath);
        for (int i = 0; i < lines; ++i) {
            out << source << ",0,9800,5000,1,2\n";
        }
    }
    Clock::time_point start = Clock::now();
    run::CceDataImport import(listPath, editor, dialog, log, s);
    if (import.Begin()) {
        Clock::time_point sliceClock = Clock::now();
        auto clock = [&sliceClock] {
            return static_cast<int64_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sliceClock)
                    .count());
        };
        for (;;) {
            sliceClock = Clock::now();
            if (!import.Step(clock, 40)) {
                break;
            }
        }
        import.End();
    }
    double elapsed = Since(start);
    if (import.Added() != lines) {
        std::fprintf(stderr, "import added %d of %d\n", import.Added(), lines);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    peakKiB = usage.ru_maxrss;
    return elapsed;
}

// Settings as the main job has them: logging on, outputs beside their sources.
void ImportRunSettings(const std::string& programDir, const std::string& dir,
                       const std::string& storePath) {
    std::string path = dir + "/settings.reg";
    std::ofstream out(path);
    out << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"
           "\"EnableLogging\"=dword:00000001\r\n\"OutputSameDir\"=dword:00000001\r\n"
           "\"OutputDirectory\"=\"\"\r\n\"AutoBias\"=dword:00000000\r\n";
    out.close();
    Run({programDir + "/vantaq-reg", "import", path}, storePath);
}

// Three short encodes run after `jobs` finished ones: a job list of three sources taken and
// run to the end by the program, as a user's queue would be.
Child RunThreeJobs(const std::string& programDir, const std::string& dir,
                   const std::string& storePath) {
    std::string runSource = dir + "/run.avi";
    if (!fs::exists(runSource)) {
        std::string make = "ffmpeg -loglevel error -y -f lavfi -i "
                           "testsrc2=size=320x240:rate=30000/1001 -t 1 -c:v mjpeg " +
                           runSource;
        if (std::system(make.c_str()) != 0) {
            std::fprintf(stderr, "ffmpeg could not make the run's source\n");
        }
    }
    std::string listPath = dir + "/run.txt";
    std::ofstream out(listPath);
    out << "; 1.0.1.5\n";
    for (int i = 0; i < 3; ++i) {
        std::string copy = dir + "/run" + std::to_string(i) + ".avi";
        fs::copy_file(runSource, copy, fs::copy_options::overwrite_existing);
        fs::remove(dir + "/run" + std::to_string(i) + ".mpv");
        out << "0," << copy << ",0,8000,4000,3,1\n";
    }
    out.close();
    ImportRunSettings(programDir, dir, storePath);
    return Run({programDir + "/vantaq", "-source:" + listPath, "-start", "-exit"}, storePath);
}

// The list's store operations on a queue of `jobs` (in this process): milliseconds each.
std::string ListOperations(const std::string& path, int jobs) {
    store::KeyStore s;
    s.Open(path);
    auto time = [](auto step) {
        Clock::time_point start = Clock::now();
        step();
        return Since(start) * 1000.0;
    };
    char line[256];
    double page = time([&] { jobs::ReadJobPage(s, jobs / 2, 64); });
    double count = time([&] { jobs::JobCount(s); });
    double pending = time([&] { jobs::FindFirstPending(s, jobs); });
    double statuses = time([&] { jobs::CountJobStatuses(s, jobs); });
    double move = time([&] { jobs::SwapJobs(s, 0, 1); });
    double reset = time([&] { jobs::SetJobString(s, 0, jobs::kStatus, jobs::kStatusPending); });
    double remove = time([&] { jobs::DeleteJobAt(s, 0, jobs); });
    // Every other job of the first 2,000 (or of half the queue), as a selection would be.
    std::vector<int> every;
    for (int j = 0; j < std::min(2000, (jobs - 1) / 2 * 2); j += 2) {
        every.push_back(j);
    }
    double removeMany = time([&] { jobs::DeleteJobsAt(s, every, jobs - 1); });
    const int left = jobs - 1 - static_cast<int>(every.size());
    double clear = time([&] { jobs::ClearJobs(s, left); });
    // What the clear set aside, removed in the window's idle slices: their sum and the longest.
    double tidy = 0;
    double slice = 0;
    for (int removed = 1; removed > 0;) {
        double ms = time([&] { removed = s.PurgeSetAside(app::kTidySliceKeys); });
        tidy += ms;
        slice = std::max(slice, ms);
    }
    std::snprintf(line, sizeof line,
                  "page %.1f, count %.1f, first pending %.1f, status counts %.1f, move %.1f, "
                  "reset %.1f, delete first %.1f, delete %zu %.1f, clear %.1f ms "
                  "(then %.0f ms of idle slices, each within %.1f ms)",
                  page, count, pending, statuses, move, reset, remove, every.size(), removeMany,
                  clear, tidy, slice);
    return line;
}

} // namespace

int main() {
    std::string programDir =
        fs::canonical("/proc/self/exe").parent_path().parent_path().string() + "/bin";
    const char* dirEnv = std::getenv("VANTAQ_BENCH_DIR");
    std::string dir = std::string(dirEnv ? dirEnv : "/dev/shm") + "/vantaq-queue-bench-" +
                      std::to_string(getpid());
    fs::create_directories(dir);
    std::vector<int> sizes = {0, 1000, 10000, 100000};
    if (const char* env = std::getenv("VANTAQ_BENCH_JOBS")) {
        sizes.clear();
        std::istringstream list(env);
        for (std::string item; std::getline(list, item, ',');) {
            sizes.push_back(std::atoi(item.c_str()));
        }
    }
    // One real source, made by ffmpeg, named by every line of the lists.
    std::string source = dir + "/clip.avi";
    std::string make = "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=25 -t 0.4 "
                       "-c:v mjpeg " +
                       source;
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the source\n");
        return 1;
    }
    std::printf("%-8s %12s %10s %12s %10s %12s %12s %10s %12s\n", "jobs", "start-exit", "peak MiB",
                "list import", "peak MiB", ".reg export", ".reg import", "peak MiB", "3 encodes");
    bool failed = false;
    for (int n : sizes) {
        std::string storePath = dir + "/store.sqlite";
        fs::remove(storePath);
        FillStore(storePath, n, "Complete");
        Child startExit = Run({programDir + "/vantaq", "-start", "-exit"}, storePath);
        std::string regPath = dir + "/jobs.reg";
        Child exported =
            Run({programDir + "/vantaq-reg", "export", "Software\\Pellmoor\\Vantaq\\Jobs"},
                storePath, regPath);
        std::string emptyStore = dir + "/empty.sqlite";
        fs::remove(emptyStore);
        Child imported = Run({programDir + "/vantaq-reg", "import", regPath}, emptyStore);
        long importPeak = 0;
        double listSeconds = n > 0 ? ImportList(dir, source, n, importPeak) : 0.0;
        std::string runStore = dir + "/run.sqlite";
        fs::copy_file(storePath, runStore, fs::copy_options::overwrite_existing);
        Child encodes = RunThreeJobs(programDir, dir, runStore);
        fs::remove(runStore);
        const bool programFailed =
            startExit.status || encodes.status || (n > 0 && (exported.status || imported.status));
        failed = failed || programFailed;
        std::printf("%-8d %10.2f s %10.0f %10.2f s %10.0f %10.2f s %10.2f s %10.0f %10.2f s%s\n", n,
                    startExit.seconds, startExit.peakKiB / 1024.0, listSeconds, importPeak / 1024.0,
                    exported.seconds, imported.seconds, imported.peakKiB / 1024.0, encodes.seconds,
                    programFailed ? "  (a program failed)" : "");
        // The run's own share: the encodes less the program's start and exit, which the
        // start -> exit column gives.
        std::printf("         3 encodes less start -> exit: %.2f s\n",
                    encodes.seconds - startExit.seconds);
        if (n > 1) {
            std::printf("         store operations on %d jobs: %s\n", n,
                        ListOperations(storePath, n).c_str());
        }
        std::fflush(stdout);
    }
    fs::remove_all(dir);
    return failed ? 1 : 0;
}
