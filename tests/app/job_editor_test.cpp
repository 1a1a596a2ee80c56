// The job list operations and the job editor through the window's handlers, over an in-memory
// window and real AVI headers.
#include "ecl/ecl_writer.h"
#include "jobs/job_editor.h"
#include "jobs/job_last_error.h"
#include "jobs/job_panels.h"
#include "main_window_fixture.h"
#include "run/cce_data.h"
#include "run/output_clash.h"
#include "store/paths.h"
#include "support/media.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <climits>

using namespace platform::main_window;
using app_testing::MainWindowRig;

namespace {

// A window after start-up with the default templates listed and `names` queued.
struct EditorRig : MainWindowRig {
    explicit EditorRig(std::vector<std::string> names = {}, app::MainWindowHooks hooks = {}) {
        temp.Store().WriteNumber(store::kHive, store::kRootPath, "AutoBias", 0);
        templates::InitTemplates(temp.Store());
        for (const std::string& name : names) {
            AddJob(name);
        }
        hooks.loadSystemInfo = [this](env::StartupServices& s, env::StartupResult&) {
            templates::TemplateList list;
            templates::LoadTemplateList(*s.store, list);
            for (const std::string& name : list.names) {
                dialog.InsertRow(kTemplateList, -1, name);
            }
            dialog.SetText(kTemplateOrder, list.order);
            return true;
        };
        Build(std::move(hooks));
        Start("vantaq");
    }
    app::CMainWindow& w() { return *window; }
    // A source of `frames` frames, written into the rig's scratch folder: `rate` is frames a
    // second when small (25) and thousandths of 1001 otherwise (30000 for 29.97).
    std::string Source(const std::string& name, uint32_t rate, uint32_t frames) {
        media::AviSpec spec;
        spec.totalFrames = frames;
        spec.streams[0].rate = rate;
        spec.streams[0].scale = rate < 1000 ? 1 : 1001;
        spec.streams[0].length = frames;
        std::string path = sources.File(name);
        testing_support::WriteFile(path, media::BuildAvi(spec));
        return path;
    }
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int i = 0; i < dialog.GetCount(kJobList); ++i) {
            rows.push_back(dialog.GetRowText(kJobList, i) + ":" +
                           std::to_string(dialog.GetRowImage(kJobList, i)));
        }
        return rows;
    }
    std::string StoredName(int position) {
        std::string name = "?";
        jobs::GetJobString(temp.Store(), position, jobs::kName, 260, name);
        return name;
    }
    // Runs with job `current` being encoded (as the run controller would show it).
    // The run takes the job at `current`, marking it with a run key as the run does.
    void Running(int current) {
        if (run.m_CurrentJob >= 0) {
            jobs::SetJobString(temp.Store(), run.m_CurrentJob, run::kRunKeyValue, "");
        }
        runKey = "test-" + std::to_string(current);
        jobs::SetJobString(temp.Store(), current, run::kRunKeyValue, runKey);
        run.m_Processing = true;
        run.m_CurrentJob = current;
        dialog.DeleteRow(kJobList, current);
        dialog.InsertRow(kJobList, current, StoredName(current), jobs::kImageRunning);
    }
    void Select(int row) { dialog.SetSelection(kJobList, row); }

    testing_support::TempDir sources;
};

} // namespace

TEST(JobEditor, BiasFromBitrate) {
    const std::pair<int, int> cases[] = {{500, 10},  {1000, 10},   {1400, 13}, {1800, 21},
                                         {1999, 24}, {2000, 25},   {3000, 35}, {4500, 50},
                                         {9800, 50}, {-100000, 10}};
    for (auto [bitrate, bias] : cases) {
        EXPECT_EQ(jobs::BiasFromBitrate(bitrate), bias) << bitrate;
    }
}

TEST(JobList, MovesKeepTheRunningJobOnItsJob) {
    EditorRig rig({"A", "B", "C"});
    rig.Running(1);
    rig.Select(0);
    rig.w().OnMoveJobDown();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"B:1", "A:0", "C:0"}));
    EXPECT_EQ(rig.w().CurrentJob(), 0);
    EXPECT_EQ(rig.dialog.GetSelection(kJobList), 1);
    EXPECT_EQ(rig.StoredName(0), "B");

    EditorRig other({"A", "B", "C"});
    other.Running(1);
    other.Select(2);
    other.w().OnMoveJobUp();
    EXPECT_EQ(other.Rows(), (std::vector<std::string>{"A:0", "C:0", "B:1"}));
    EXPECT_EQ(other.w().CurrentJob(), 2);
    EXPECT_EQ(other.dialog.GetSelection(kJobList), 1);

    // The ends of the list change nothing.
    other.Select(0);
    other.w().OnMoveJobUp();
    other.Select(2);
    other.w().OnMoveJobDown();
    EXPECT_EQ(other.Rows(), (std::vector<std::string>{"A:0", "C:0", "B:1"}));
    EXPECT_EQ(other.StoredName(2), "B");
}

TEST(JobList, DeleteAndResetSpareTheRunningJob) {
    EditorRig rig({"A", "B", "C"});
    jobs::SetJobString(rig.temp.Store(), 1, jobs::kStatus, jobs::kStatusComplete);
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), nullptr);
    rig.Running(2);
    rig.Select(2);
    rig.w().OnDeleteJob();
    rig.w().OnResetJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"A:0", "B:2", "C:1"}));

    // Reset reloads the rows: the finished job turns pending, stays selected, and the running
    // job keeps its icon.
    rig.Select(1);
    rig.w().OnResetJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"A:0", "B:0", "C:1"}));
    EXPECT_EQ(rig.dialog.GetSelection(kJobList), 1);

    rig.Select(0);
    rig.w().OnDeleteJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"B:0", "C:1"}));
    EXPECT_EQ(rig.w().CurrentJob(), 1);
    EXPECT_EQ(rig.StoredName(1), "C");
}

TEST(JobList, ClearThenAddStartsAtZeroAndEmptyNamesAreKept) {
    EditorRig rig({"A", "B", "C"});
    rig.w().OnClearJobList();
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    EXPECT_FALSE(rig.temp.Store().OpenKey(store::kHive, jobs::JobKeyPath(2), store::Access::Read));
    std::string path = rig.Source("clip.avi", 30000, 100);
    rig.w().OnNewJob(path);
    rig.dialog.SetText(kName, "");
    rig.w().OnAddJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{":0"}));
    EXPECT_EQ(rig.StoredName(0), "");
    EXPECT_TRUE(rig.Saw("log:0:Added job "));
}

TEST(JobEditor, NewJobFillsThePanelAndAddStoresIt) {
    app::MainWindowHooks hooks;
    std::vector<std::string> searched;
    EditorRig* self = nullptr;
    bool filmCheckedBeforeSearch = false;
    hooks.findChapters = [&](const std::string& source) {
        searched.push_back(source);
        filmCheckedBeforeSearch = self->dialog.IsChecked(kConvertToFilm);
        self->dialog.SetText(kChapterList, "0,500");
    };
    EditorRig rig({"old"}, hooks);
    self = &rig;
    rig.dialog.SetSelection(kTemplateList, 2);
    std::string path = rig.Source("my.film.avi", 24000, 1000);
    // A job list file can give the path in double quotes.
    rig.w().Builder().FillNewJob("\"" + path + "\"");
    EXPECT_EQ(rig.dialog.GetText(kInputFile), path);
    EXPECT_EQ(rig.dialog.GetText(kName), "my.film");
    rig.w().OnCancelEdit();
    EXPECT_EQ(rig.dialog.GetText(kInputFile), "");

    rig.w().OnNewJob(path);
    EXPECT_EQ(rig.dialog.GetText(kInputFile), path);
    EXPECT_EQ(rig.dialog.GetText(kName), "my.film");
    EXPECT_EQ(rig.dialog.GetText(kInfoFrameRate), "23.976");
    EXPECT_TRUE(filmCheckedBeforeSearch);
    EXPECT_EQ(searched.back(), path);
    int low = -1, high = -1;
    rig.dialog.GetSpinRange(kStartFrameSpin, low, high);
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(0, 999));
    rig.dialog.GetSpinRange(kEndFrameSpin, low, high);
    EXPECT_EQ(std::make_pair(low, high), std::make_pair(1, 1000));
    EXPECT_EQ(rig.dialog.GetText(kStartFrame), "0");
    EXPECT_EQ(rig.dialog.GetText(kEndFrame), "1000");
    EXPECT_EQ(rig.w().m_SourceFrames, 1000);
    EXPECT_TRUE(rig.dialog.IsEnabled(kAddJob));
    EXPECT_TRUE(rig.dialog.IsEnabled(kCancel));
    EXPECT_FALSE(rig.dialog.IsEnabled(kNewJob));
    EXPECT_FALSE(rig.dialog.IsEnabled(kStop));

    rig.dialog.SetText(kEndFrame, "900");
    rig.w().OnAddJob();
    jobs::JobRecord job;
    ASSERT_TRUE(jobs::ReadJobRecord(rig.temp.Store(), 1, job));
    EXPECT_EQ(job.name, "my.film");
    EXPECT_EQ(job.input, path);
    EXPECT_EQ(job.templateKey, "2");
    EXPECT_EQ(job.method, 2);
    EXPECT_EQ(job.telecide, 1);
    EXPECT_EQ(job.convertToFilm, 1);
    EXPECT_EQ(job.aspectRatio, 3);
    EXPECT_EQ(job.bitrateAvg, 3000);
    EXPECT_EQ(job.bias, 60);
    EXPECT_EQ(job.startFrame, 0);
    EXPECT_EQ(job.endFrame, 900);
    EXPECT_EQ(job.chapters, "0,500");
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"old:0", "my.film:0"}));
    EXPECT_TRUE(rig.Saw("log:0:Added job my.film"));

    // Back to idle: texts emptied, numbers kept but disabled, New Job available.
    EXPECT_EQ(rig.dialog.GetText(kName), "");
    EXPECT_EQ(rig.dialog.GetText(kChapterList), "");
    EXPECT_EQ(rig.dialog.GetText(kBitrateAvg), "3000");
    EXPECT_FALSE(rig.dialog.IsEnabled(kBitrateAvg));
    EXPECT_TRUE(rig.dialog.IsEnabled(kNewJob));
    EXPECT_EQ(rig.dialog.BadAccesses(), 0);
}

TEST(JobEditor, NewJobOnOtherRatesAndUnreadableSources) {
    EditorRig rig;
    rig.dialog.SetCheck(kConvertToFilm, true);
    rig.w().OnNewJob(rig.Source("ntsc.avi", 30000, 50));
    EXPECT_EQ(rig.dialog.GetText(kInfoFrameRate), "29.970");
    EXPECT_FALSE(rig.dialog.IsChecked(kConvertToFilm));
    EXPECT_FALSE(rig.dialog.IsEnabled(kConvertToFilm));
    // Without a selected template the job cannot be added yet.
    EXPECT_FALSE(rig.dialog.IsEnabled(kAddJob));

    EditorRig missing;
    missing.w().OnNewJob(missing.sources.File("gone.avi"));
    EXPECT_TRUE(
        missing.Saw("log:2:  AVI Error: could not load " + missing.sources.File("gone.avi")));
    EXPECT_EQ(missing.dialog.GetText(kInputFile), "");
    EXPECT_FALSE(missing.dialog.IsEnabled(kName));
    // Nothing was taken: New Job is there for the next try, and a box names the file and the
    // kinds of file that work.
    EXPECT_TRUE(missing.dialog.IsEnabled(kNewJob));
    bool boxed = false;
    for (const std::string& e : missing.events) {
        boxed = boxed || (e.rfind("box:", 0) == 0 &&
                          e.find(missing.sources.File("gone.avi")) != std::string::npos &&
                          e.find("MP4, MKV, MOV") != std::string::npos);
    }
    EXPECT_TRUE(boxed);
}

// A video file that states its display aspect and field order sets the job's aspect choice
// and field flags over the template's, on New Job and on every drop; unreadable files of a
// dropped batch are named in one box and the readable ones added.
TEST(JobEditor, VideoFilesSetTheirShapeAndADroppedBatchNamesTheUnreadable) {
    if (!media::HaveFfmpeg()) {
        GTEST_SKIP() << "no ffmpeg";
    }
    EditorRig rig;
    for (const media::VideoSample& sample : media::VideoSamples()) {
        if (sample.file == "anamorphic.mkv" || sample.file == "interlaced.ts") {
            ASSERT_TRUE(media::MakeVideo(rig.sources.Path(), sample));
        }
    }
    rig.dialog.SetSelection(kTemplateList, 3);
    rig.w().OnNewJob(rig.sources.File("anamorphic.mkv"));
    EXPECT_EQ(rig.dialog.GetText(kInfoResolution), "176 x 144");
    EXPECT_EQ(rig.dialog.GetText(kInfoFrames), "25");
    EXPECT_TRUE(rig.dialog.IsChecked(kAspect16x9));
    EXPECT_FALSE(rig.dialog.IsChecked(kAspect4x3));
    EXPECT_TRUE(rig.dialog.IsChecked(kProgressive));
    rig.w().OnCancelEdit();

    testing_support::WriteFile(rig.sources.File("notes.mp4"), "text\n");
    rig.events.clear();
    int added =
        rig.w().OnDropSources({rig.sources.File("interlaced.ts"), rig.sources.File("notes.mp4"),
                               rig.sources.File("gone.mkv")});
    EXPECT_EQ(added, 1);
    jobs::JobRecord job;
    ASSERT_TRUE(jobs::ReadJobRecord(rig.temp.Store(), 0, job));
    EXPECT_EQ(job.input, rig.sources.File("interlaced.ts"));
    EXPECT_EQ(job.progressive, 0);
    EXPECT_EQ(job.topFieldFirst, 1);
    EXPECT_EQ(job.endFrame, 25);
    int boxes = 0;
    for (const std::string& e : rig.events) {
        if (e.rfind("box:", 0) == 0) {
            ++boxes;
            EXPECT_NE(e.find(rig.sources.File("notes.mp4")), std::string::npos);
            EXPECT_NE(e.find(rig.sources.File("gone.mkv")), std::string::npos);
        }
    }
    EXPECT_EQ(boxes, 1);
}

// Two sources of one name in one folder write one stream and share one ECL: the second is
// stored only after the choice, and with an ECL of its own whatever it is; a job list (nobody
// to ask) gives it another output name.
TEST(JobEditor, AJobThatWouldWriteAnotherJobsOutputWaitsForTheChoice) {
    const struct {
        int answer;       // the button pressed, -1: added by a job list
        int jobs;         // in the queue afterwards
        int replace;      // "ReplaceOutput" of the second job
        int outputNumber; // "Output Number" of the second job
        const char* line; // the log line of the choice
    } cases[] = {
        {0, 2, 1, 0, "log:0:Job second will replace @clip.mpv, the output of job first."},
        {1, 2, 0, 2,
         "log:0:Job second writes @clip.2.mpv, since @clip.mpv is the output of job first."},
        {2, 1, 0, 0,
         "log:0:Job second was not added: it would write @clip.mpv, the output of job first."},
        {-1, 2, 0, 2,
         "log:1:Warning: Job clip writes @clip.2.mpv, since @clip.mpv is the output of job first."},
    };
    for (const auto& c : cases) {
        EditorRig rig;
        auto at = [&](std::string text) {
            for (size_t k; (k = text.find('@')) != std::string::npos;) {
                text.replace(k, 1, rig.sources.File(""));
            }
            return text;
        };
        std::string first = rig.Source("clip.avi", 25, 50);
        rig.dialog.SetSelection(kTemplateList, 3);
        rig.w().OnNewJob(first);
        rig.dialog.SetText(kName, "first");
        rig.w().OnAddJob();
        std::string second = rig.Source("clip.AVI", 25, 50);
        rig.events.clear();
        if (c.answer < 0) {
            EXPECT_EQ(run::AddSourceJobs({second}, rig.w().Editor(), rig.dialog, rig.log), 1);
        } else {
            rig.w().OnNewJob(second);
            rig.events.clear(); // the inspection's note of the fitted picture
            rig.dialog.SetText(kName, "second");
            rig.boxes.answer = c.answer;
            rig.w().OnAddJob();
            ASSERT_FALSE(rig.events.empty());
            EXPECT_EQ(
                rig.events.front().rfind(
                    at("ask:Job second would write @clip.mpv, the output file of job first."), 0),
                0u)
                << rig.events.front();
        }
        EXPECT_TRUE(rig.Saw(at(c.line))) << testing::PrintToString(rig.events);
        EXPECT_EQ(jobs::JobCount(rig.temp.Store()), c.jobs);
        if (c.jobs == 1) {
            // Not added: the job stays in the editor, to be changed or added later.
            EXPECT_EQ(rig.dialog.GetText(kName), "second");
            EXPECT_TRUE(rig.dialog.IsEnabled(kAddJob));
            continue;
        }
        int replace = 0;
        int number = 0;
        int eclNumber = 0;
        jobs::GetJobNumber(rig.temp.Store(), 1, run::kReplaceOutput, replace);
        jobs::GetJobNumber(rig.temp.Store(), 1, jobs::kOutputNumber, number);
        jobs::GetJobNumber(rig.temp.Store(), 1, jobs::kEclNumber, eclNumber);
        EXPECT_EQ(replace, c.replace);
        EXPECT_EQ(number, c.outputNumber);
        EXPECT_EQ(eclNumber, 2);
        EXPECT_EQ(ecl::JobEclPath(rig.temp.Store(), 1), rig.sources.File("clip.2.ecl"));
    }
}

TEST(JobEditor, LoadingAJobShowsItAndReplaceWritesItBack) {
    EditorRig rig;
    std::string film = rig.Source("film.avi", 24000, 2000);
    std::string ntsc = rig.Source("ntsc.avi", 30000, 2000);
    jobs::JobRecord job;
    job.name = "first";
    job.input = ntsc;
    job.templateKey = "9"; // no longer in the order string
    job.method = 1;
    job.telecide = 1;
    job.aspectRatio = 2;
    job.bitrateAvg = 4200;
    job.passes = 3;
    job.startFrame = 10;
    job.endFrame = 1500;
    job.angle = 1;
    job.chapters = "0,700";
    jobs::WriteJobRecord(rig.temp.Store(), 0, job);
    job.name = "second";
    job.input = film;
    job.templateKey = "1";
    jobs::WriteJobRecord(rig.temp.Store(), 1, job);
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), nullptr);

    rig.Select(0);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetSelection(kTemplateList), -1);
    EXPECT_FALSE(rig.dialog.IsChecked(kPulldown));
    EXPECT_FALSE(rig.dialog.IsEnabled(kPulldown));
    EXPECT_TRUE(rig.dialog.IsChecked(kAspect4x3));
    EXPECT_EQ(rig.dialog.GetText(kBitrateAvg), "4200");
    EXPECT_EQ(rig.dialog.GetText(kEndFrame), "1500");
    int low = -1, high = -1;
    rig.dialog.GetSpinRange(kStartFrameSpin, low, high);
    EXPECT_EQ(high, 1499);
    EXPECT_EQ(rig.dialog.GetText(kStartFrame), "10");
    EXPECT_EQ(rig.dialog.GetText(kChapterList), "0,700");
    EXPECT_TRUE(rig.dialog.IsChecked(kAngle));
    EXPECT_EQ(rig.dialog.GetText(kAddJob), "&Replace");
    EXPECT_TRUE(rig.dialog.IsEnabled(kAddJob));

    // Replace without a template keeps the job's own template; "EndFrame" is stored as typed.
    rig.dialog.SetText(kName, "renamed");
    rig.dialog.SetText(kEndFrame, "99999");
    rig.w().OnAddJob();
    jobs::JobRecord stored;
    ASSERT_TRUE(jobs::ReadJobRecord(rig.temp.Store(), 0, stored));
    EXPECT_EQ(stored.name, "renamed");
    EXPECT_EQ(stored.templateKey, "9");
    EXPECT_EQ(stored.method, 1);
    EXPECT_EQ(stored.endFrame, 99999);
    EXPECT_EQ(stored.startFrame, 10);
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"renamed:0", "second:0"}));
    EXPECT_TRUE(rig.Saw("log:0:Replaced job renamed"));

    rig.Select(1);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetSelection(kTemplateList), 1);
    EXPECT_TRUE(rig.dialog.IsChecked(kPulldown));
    EXPECT_TRUE(rig.dialog.IsEnabled(kPulldown));
    EXPECT_EQ(rig.dialog.BadAccesses(), 0);
}

TEST(JobEditor, LoadingAJobWithAnyStoredEndFrameKeepsTheRangeArithmeticDefined) {
    // The store may hold any 32-bit value (an imported file, another program): 0x80000000 reads
    // as the lowest int, and the start spin's top (EndFrame - 1) wraps instead of overflowing.
    struct Case {
        int end, startHigh;
    };
    const Case cases[] = {{1500, 1499}, {INT_MIN, INT_MAX}, {0, -1}, {INT_MAX, INT_MAX - 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        EditorRig rig;
        jobs::JobRecord job;
        job.name = "hostile";
        job.input = rig.Source("ntsc.avi", 30000, 2000);
        job.templateKey = "1";
        job.endFrame = c.end;
        jobs::WriteJobRecord(rig.temp.Store(), 0, job);
        jobs::RefreshJobList(rig.dialog, rig.temp.Store(), nullptr);
        rig.Select(0);
        rig.w().OnJobDoubleClick();
        int low = -1, high = -1;
        rig.dialog.GetSpinRange(kStartFrameSpin, low, high);
        EXPECT_EQ(high, c.startHigh);
        EXPECT_EQ(rig.dialog.GetText(kEndFrame), std::to_string(c.end));
    }
}

TEST(JobEditor, ReplaceFollowsItsJobThroughARun) {
    EditorRig rig({"A", "B", "C", "D"});
    rig.Running(1);
    rig.Select(1);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetText(kName), "B");
    EXPECT_FALSE(rig.dialog.IsEnabled(kAddJob)); // the job being encoded: view only

    rig.Select(3);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetText(kAddJob), "&Replace");
    // While the run goes on, the list can change under the edit: the selection moves away,
    // D moves up, A is deleted.
    rig.Select(3);
    rig.w().OnMoveJobUp();
    rig.Select(0);
    rig.w().OnJobSelectionChanged();
    EXPECT_EQ(rig.dialog.GetText(kName), "D"); // a run in progress keeps the edit
    rig.w().OnDeleteJob();
    rig.dialog.SetText(kName, "D2");
    rig.w().OnAddJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"B:1", "D2:0", "C:0"}));
    EXPECT_EQ(rig.w().CurrentJob(), 0);
    EXPECT_EQ(rig.StoredName(0), "B");

    // An edited job deleted meanwhile: the edit is added rather than written over another job.
    rig.Select(2);
    rig.w().OnJobDoubleClick();
    rig.w().OnDeleteJob();
    rig.w().OnAddJob();
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"B:1", "D2:0", "C:0"}));
    EXPECT_TRUE(rig.Saw("log:0:Added job C"));
}

TEST(JobEditor, ReplaceRefusedOnceTheRunHasTheJobAndAFailedWriteListsNothing) {
    EditorRig rig({"A", "B", "C"});
    rig.Running(0);
    rig.Select(2);
    rig.w().OnJobDoubleClick();
    rig.dialog.SetText(kName, "C2");
    rig.Running(2); // the run moved on to the job in the editor
    rig.w().OnAddJob();
    EXPECT_TRUE(rig.Saw("log:2:ERROR: Job C2 is being encoded and cannot be replaced now."));
    EXPECT_EQ(rig.StoredName(2), "C");
    EXPECT_EQ(rig.dialog.GetText(kName), "C2"); // the edit is kept

    rig.Running(0);
    rig.temp.Store().Close();
    rig.w().OnAddJob();
    EXPECT_TRUE(rig.Saw("log:2:ERROR: Could not store job C2 (the store is not open)."));
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 3);
}

TEST(JobEditor, AutoBiasFollowsTheSetting) {
    EditorRig rig;
    rig.dialog.SetText(kBias, "20");
    rig.dialog.SetText(kBitrateAvg, "3000");
    rig.w().OnBitrateAvgKillFocus();
    EXPECT_EQ(rig.dialog.GetText(kBias), "20");
    rig.w().m_Settings.m_AutoBias = true;
    rig.w().OnBitrateAvgKillFocus();
    EXPECT_EQ(rig.dialog.GetText(kBias), "35");
    // The spin about to step down from 2000 reaches 1999.
    rig.dialog.SetText(kBitrateAvg, "2000");
    rig.w().OnBitrateAvgSpin(-1);
    EXPECT_EQ(rig.dialog.GetText(kBias), "24");
}

// Values longer than the old fixed capacities go through a load and a Replace whole.
TEST(JobEditor, LongValuesSurviveLoadAndReplaceWhole) {
    EditorRig rig({"A"});
    store::KeyStore& s = rig.temp.Store();
    const std::string name(1500, 'n');
    const std::string input =
        rig.sources.File(std::string(274 - rig.sources.Path().size() - 1, 'p'));
    const std::string chapters = std::string(3000, '1');
    ASSERT_EQ(input.size(), 274u);
    ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kName, name));
    ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kInput, input));
    ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kChapters, chapters));
    rig.Select(0);
    rig.w().OnJobDoubleClick();
    ASSERT_EQ(rig.dialog.GetText(kAddJob), "&Replace");
    rig.w().OnAddJob();
    jobs::JobRecord stored;
    ASSERT_TRUE(jobs::ReadJobRecord(s, 0, stored));
    EXPECT_EQ(stored.name, name);
    EXPECT_EQ(stored.input, input);
    EXPECT_EQ(stored.chapters, chapters);
    EXPECT_EQ(rig.dialog.GetRowText(kJobList, 0), name);
}

// A job another process stored meanwhile (an import, say) is not overwritten by Add: the new
// job goes after it, and the list shows both.
TEST(JobEditor, AddGoesAfterJobsTheListDoesNotShowYet) {
    EditorRig rig({"A"});
    jobs::JobRecord imported;
    imported.name = "imported";
    ASSERT_TRUE(jobs::WriteJobRecord(rig.temp.Store(), 1, imported));
    rig.w().OnNewJob(rig.Source("new.avi", 25, 50));
    rig.w().OnAddJob();
    EXPECT_EQ(rig.StoredName(1), "imported");
    EXPECT_EQ(rig.StoredName(2), "new");
    EXPECT_EQ(rig.Rows(), (std::vector<std::string>{"A:0", "imported:0", "new:0"}));
}

// Closing asks only when an edit would be lost; the keyword path never asks.
TEST(CloseWithEdit, AsksOnlyWhenAnEditWouldBeLost) {
    struct Case {
        const char* what;
        bool load;           // a stored job loaded into the editor
        const char* newName; // typed over its name; null: unchanged
        bool newJob;         // a new job from a source, no template chosen
        int answer;          // the button pressed
        bool asked;
        bool ended;
    };
    const Case cases[] = {
        {"idle editor", false, nullptr, false, 0, false, true},
        {"loaded, unchanged", true, nullptr, false, 0, false, true},
        {"loaded, renamed, Cancel", true, "B2", false, 2, true, false},
        {"loaded, renamed, Discard", true, "B2", false, 1, true, true},
        {"new job without template, Discard", false, nullptr, true, 0, true, true},
        {"new job without template, Cancel", false, nullptr, true, 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditorRig rig({"A", "B"});
        if (c.load) {
            rig.Select(1);
            rig.w().OnJobDoubleClick();
        }
        if (c.newName != nullptr) {
            rig.dialog.SetText(kName, c.newName);
        }
        if (c.newJob) {
            rig.w().OnNewJob(rig.Source("clip.avi", 25, 100));
        }
        rig.events.clear();
        rig.boxes.answer = c.answer;
        rig.w().OnUserCancel();
        bool asked = false;
        for (const std::string& e : rig.events) {
            asked = asked || e.rfind("ask:", 0) == 0;
        }
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(rig.host.ended, c.ended);
        if (c.newJob) {
            EXPECT_NE(rig.events.front().find("cannot be saved yet: Choose a template first."),
                      std::string::npos)
                << rig.events.front();
        }
        EXPECT_EQ(rig.StoredName(1), "B");
    }
}

TEST(CloseWithEdit, SaveAsJobStoresTheEditAndTheKeywordPathNeverAsks) {
    EditorRig rig({"A", "B"});
    rig.Select(0);
    rig.w().OnJobDoubleClick();
    rig.dialog.SetText(kName, "A2");
    rig.boxes.answer = 0; // Save as job
    rig.w().OnUserAccept();
    EXPECT_TRUE(rig.host.ended);
    EXPECT_EQ(rig.StoredName(0), "A2");

    EditorRig keyword({"A"});
    keyword.Select(0);
    keyword.w().OnJobDoubleClick();
    keyword.dialog.SetText(kName, "A2");
    keyword.events.clear();
    keyword.w().OnCancel();
    EXPECT_TRUE(keyword.host.ended);
    EXPECT_FALSE(keyword.Saw("ask:The job \"A2\" in the editor has changes that are not in the "
                             "Job List.\n\nClose Vantaq anyway?"));
    EXPECT_TRUE(keyword.events.size() == 1 && keyword.events[0] == "end");
}

TEST(JobList, ClearAsksWithTheCountAndLogsWhatItRemoved) {
    EditorRig rig({"A", "B", "C"});
    rig.boxes.answer = 1; // Cancel
    rig.w().OnClearJobList();
    EXPECT_TRUE(rig.Saw("ask:Remove all 3 jobs from the Job List?\nEdit > Undo brings them back."));
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 3);
    EXPECT_EQ(jobs::JobCount(rig.temp.Store()), 3);

    rig.boxes.answer = 0; // Clear
    rig.w().OnClearJobList();
    EXPECT_EQ(rig.dialog.GetCount(kJobList), 0);
    EXPECT_EQ(jobs::JobCount(rig.temp.Store()), 0);
    EXPECT_TRUE(
        rig.Saw("log:0:Cleared the Job List: removed 3 jobs (Edit > Undo brings them back)."));

    rig.events.clear();
    rig.w().OnClearJobList(); // nothing to clear: nothing asked
    EXPECT_TRUE(rig.events.empty());

    // A list the store sets aside whole cannot come back, and the question says so; the
    // earlier Clear is no longer what Undo would bring back.
    {
        store::KeyStore::Transaction unit(rig.temp.Store());
        for (int p = 0; p < store::KeyStore::kSetAsideFrom; ++p) {
            jobs::JobRecord r;
            r.name = "long " + std::to_string(p);
            ASSERT_TRUE(jobs::WriteJobRecord(rig.temp.Store(), p, r));
        }
        ASSERT_TRUE(unit.Commit());
    }
    jobs::RefreshJobList(rig.dialog, rig.temp.Store(), nullptr);
    rig.w().OnClearJobList();
    EXPECT_TRUE(rig.Saw("ask:Remove all 1024 jobs from the Job List?\nThis cannot be undone."));
    EXPECT_EQ(jobs::JobCount(rig.temp.Store()), 0);
    rig.w().OnUndo();
    EXPECT_TRUE(rig.Saw("log:0:Nothing to undo."));
    EXPECT_EQ(jobs::JobCount(rig.temp.Store()), 0);
}

TEST(JobList, DeleteAndResetAreOffForTheJobBeingEncodedAndSayWhy) {
    EditorRig rig({"A", "B", "C"});
    rig.run.m_Processing = true;
    rig.run.m_CurrentJob = 1;
    rig.Select(1);
    rig.w().OnJobSelectionChanged();
    EXPECT_FALSE(rig.dialog.IsEnabled(kDelete));
    EXPECT_FALSE(rig.dialog.IsEnabled(kReset));
    EXPECT_NE(rig.dialog.GetToolTip(kDelete).find("being encoded"), std::string::npos);
    rig.Select(2);
    rig.w().OnJobSelectionChanged();
    EXPECT_TRUE(rig.dialog.IsEnabled(kDelete));
    EXPECT_EQ(rig.dialog.GetToolTip(kDelete), "Delete the selected job from the Job List.");

    // Idle: Stop is off and says why.
    rig.run.m_Processing = false;
    jobs::UpdateJobButtons(rig.dialog, false, false, -1);
    EXPECT_FALSE(rig.dialog.IsEnabled(kStop));
    EXPECT_EQ(rig.dialog.GetToolTip(kStop), "Stop processing!!!\n(No run is in progress.)");
}

// Each run button that is off says why in its hint, and only then has a reason in it.
TEST(JobList, RunButtonsThatAreOffSayWhy) {
    EditorRig rig({"A"});
    const struct {
        bool processing, pass;
    } states[] = {{false, false}, {true, false}, {false, true}};
    for (const auto& state : states) {
        jobs::UpdateJobButtons(rig.dialog, state.processing, state.pass, -1);
        for (int id : {kStart, kClear, kStop, kStopAfterJob}) {
            std::string tip = rig.dialog.GetToolTip(id);
            bool hasReason = tip.find("\n(") != std::string::npos && tip.back() == ')';
            EXPECT_NE(hasReason, rig.dialog.IsEnabled(id))
                << id << " " << state.processing << state.pass << ": " << tip;
        }
    }
    jobs::UpdateJobButtons(rig.dialog, false, true, -1);
    EXPECT_EQ(rig.dialog.GetToolTip(kStart), "Start processing the jobs in the Job List.\n(A 2:3 "
                                             "pulldown pass is in progress; wait until it has "
                                             "ended.)");
}

// New Job says why it is off: a job in the editor, a run, a job list being read.
TEST(JobList, NewJobSaysWhyItIsOff) {
    std::string listReason;
    app::MainWindowHooks hooks;
    app::CMainWindow* window = nullptr;
    hooks.loadFileList = [&](const std::string&) { listReason = window->NewJobReason(); };
    EditorRig rig({"A"}, std::move(hooks));
    window = &rig.w();
    ASSERT_TRUE(rig.dialog.IsEnabled(kNewJob));
    EXPECT_EQ(rig.w().NewJobReason(), "");
    rig.w().OnLoadFileList("/tmp/list.txt");
    EXPECT_EQ(listReason, "A job list file is being read.");
    EXPECT_EQ(rig.w().NewJobReason(), "");

    rig.w().OnNewJob(rig.Source("clip.avi", 25, 50));
    ASSERT_FALSE(rig.dialog.IsEnabled(kNewJob));
    EXPECT_EQ(rig.w().NewJobReason(),
              "The job in the editor comes first: add it to the Job List or cancel it.");
    rig.w().OnCancelEdit();
    EXPECT_EQ(rig.w().NewJobReason(), "");

    // A run starts as the run controller starts it: the editor is reset, New Job is off.
    rig.run.m_Processing = true;
    jobs::ResetJobEditor(rig.dialog);
    EXPECT_EQ(rig.w().NewJobReason(),
              "A run is in progress: New Job is offered again when it ends.");
}

TEST(JobList, AFailedJobsRowNamesItsMissingSource) {
    EditorRig rig({"A", "B"});
    std::string present = rig.Source("here.avi", 25, 10);
    ASSERT_TRUE(jobs::SetJobString(rig.temp.Store(), 0, jobs::kInput, "/nowhere/gone.avi"));
    ASSERT_TRUE(jobs::SetJobString(rig.temp.Store(), 1, jobs::kInput, present));
    EXPECT_TRUE(jobs::NoteMissingSource(rig.temp.Store(), 0));
    EXPECT_FALSE(jobs::NoteMissingSource(rig.temp.Store(), 1));
    // The first error of a run is kept; a later one does not replace it.
    EXPECT_TRUE(jobs::SetJobLastError(rig.temp.Store(), 0, "encoder: bad header"));
    EXPECT_EQ(jobs::GetJobLastError(rig.temp.Store(), 0),
              "Source file not found: /nowhere/gone.avi");
    EXPECT_EQ(jobs::GetJobLastError(rig.temp.Store(), 1), "");

    ASSERT_TRUE(jobs::SetJobString(rig.temp.Store(), 0, jobs::kStatus, jobs::kStatusError));
    EXPECT_EQ(rig.w().JobDetails(0).rfind("Error: Source file not found: /nowhere/gone.avi  |", 0),
              0u)
        << rig.w().JobDetails(0);
    // A new run of the job forgets it.
    EXPECT_TRUE(jobs::ClearJobError(rig.temp.Store(), 0));
    EXPECT_EQ(rig.w().JobDetails(0).rfind("Error  |", 0), 0u) << rig.w().JobDetails(0);
    // A missing source with a long path still names itself, cut to what a row keeps.
    const std::string deep = "/nowhere/" + std::string(600, 'd') + "/gone.avi";
    ASSERT_TRUE(jobs::SetJobString(rig.temp.Store(), 0, jobs::kInput, deep));
    EXPECT_TRUE(jobs::NoteMissingSource(rig.temp.Store(), 0));
    EXPECT_EQ(rig.w().JobDetails(0).rfind("Error: Source file not found: /nowhere/ddd", 0), 0u)
        << rig.w().JobDetails(0);
}

// The Cluster fields: what Slurm would refuse keeps the edit in the panel with the reason; what
// it takes is stored with the job, shown again when the job is loaded, counts as an edit, and
// an emptied field clears the job's own value on Replace.
TEST(JobEditor, ClusterFieldsAreCheckedStoredAndCleared) {
    const struct {
        const char* partition;
        const char* timeLimit;
        const char* cpus;
        const char* problem; // start of the log line's reason, or null when stored
    } cases[] = {
        {"encode", "2-04:00:00", "4", nullptr},
        {" long,short ", "90", "", nullptr},
        {"", "UNLIMITED", "1024", nullptr},
        {"a b", "", "", "Partition takes"},
        {"", "1:2:3:4", "", "Time limit takes"},
        {"", "-5", "", "Time limit takes"},
        {"", "", "0", "CPUs takes"},
        {"", "", "99999999999", "CPUs takes"},
        {"", "", "four", "CPUs takes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.partition) + "|" + c.timeLimit + "|" + c.cpus);
        EditorRig rig;
        rig.dialog.SetSelection(kTemplateList, 3);
        rig.w().OnNewJob(rig.Source("clip.avi", 25, 50));
        EXPECT_TRUE(rig.dialog.IsEnabled(kJobCpus));
        rig.dialog.SetText(kJobPartition, c.partition);
        rig.dialog.SetText(kJobTimeLimit, c.timeLimit);
        rig.dialog.SetText(kJobCpus, c.cpus);
        rig.events.clear();
        rig.w().OnAddJob();
        if (c.problem != nullptr) {
            ASSERT_FALSE(rig.events.empty());
            EXPECT_EQ(rig.events.front().rfind(
                          std::string("log:2:ERROR: Job clip was not stored: ") + c.problem, 0),
                      0u)
                << rig.events.front();
            EXPECT_EQ(jobs::JobCount(rig.temp.Store()), 0);
            EXPECT_EQ(rig.dialog.GetText(kJobCpus), c.cpus); // still there to be mended
            continue;
        }
        ASSERT_EQ(jobs::JobCount(rig.temp.Store()), 1);
        EXPECT_FALSE(rig.dialog.IsEnabled(kJobCpus));
        std::string partition, timeLimit;
        int cpus = -1;
        jobs::GetJobString(rig.temp.Store(), 0, jobs::kSlurmPartition, jobs::kWholeValue,
                           partition);
        jobs::GetJobString(rig.temp.Store(), 0, jobs::kSlurmTimeLimit, jobs::kWholeValue,
                           timeLimit);
        jobs::GetJobNumber(rig.temp.Store(), 0, jobs::kSlurmCpus, cpus);
        const std::string trimmed =
            std::string(c.partition) == " long,short " ? "long,short" : c.partition;
        EXPECT_EQ(partition, trimmed);
        EXPECT_EQ(timeLimit, c.timeLimit);
        EXPECT_EQ(cpus, *c.cpus != '\0' ? std::stoi(c.cpus) : -1); // never written when empty

        rig.Select(0);
        rig.w().OnJobDoubleClick();
        EXPECT_EQ(rig.dialog.GetText(kJobPartition), trimmed);
        EXPECT_EQ(rig.dialog.GetText(kJobCpus), c.cpus);
        EXPECT_FALSE(rig.w().Editor().HasUnsavedEdit());
        rig.dialog.SetText(kJobPartition, "other");
        EXPECT_TRUE(rig.w().Editor().HasUnsavedEdit());
        rig.dialog.SetText(kJobPartition, "");
        rig.dialog.SetText(kJobTimeLimit, "");
        rig.dialog.SetText(kJobCpus, "");
        rig.w().OnAddJob();
        jobs::GetJobString(rig.temp.Store(), 0, jobs::kSlurmPartition, jobs::kWholeValue,
                           partition);
        jobs::GetJobString(rig.temp.Store(), 0, jobs::kSlurmTimeLimit, jobs::kWholeValue,
                           timeLimit);
        jobs::GetJobNumber(rig.temp.Store(), 0, jobs::kSlurmCpus, cpus);
        EXPECT_EQ(partition + timeLimit + std::to_string(cpus), "0");
    }
}

// A new job keeps the picture of a source a DVD carries and fits any other to the standard of
// its rate, whichever way it is made; older jobs, without the value, keep theirs.
TEST(JobEditor, NewJobsOfSourcesNoDvdCarriesAreFittedToTheirRatesStandard) {
    struct Case {
        uint32_t width, height, rate;
        int fit;
        bool byList; // through the job-list path rather than New Job
    };
    const Case kCases[] = {
        {320, 240, 25, 2, false},
        {320, 240, 30000, 1, true},
        {720, 480, 30000, 0, false},
        {720, 576, 25, 0, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        EditorRig rig;
        media::AviSpec spec;
        spec.width = c.width;
        spec.height = c.height;
        spec.totalFrames = 50;
        spec.streams[0].rate = c.rate;
        spec.streams[0].scale = c.rate < 1000 ? 1 : 1001;
        spec.streams[0].length = 50;
        const std::string path = rig.sources.File("clip.avi");
        testing_support::WriteFile(path, media::BuildAvi(spec));
        rig.dialog.SetSelection(kTemplateList, 3);
        if (c.byList) {
            ASSERT_EQ(run::AddSourceJobs({path}, rig.w().Editor(), rig.dialog, rig.log), 1);
        } else {
            rig.w().OnNewJob(path);
            rig.w().OnAddJob();
        }
        int fit = -1;
        EXPECT_EQ(jobs::GetJobNumber(rig.temp.Store(), 0, jobs::kPictureFit, fit), c.fit != 0);
        EXPECT_EQ(c.fit != 0 ? fit : 0, c.fit);
    }
}

// The Picture choice: New Job offers the fit the source needs, the user may keep the source's
// picture instead, and a loaded job shows its choice, counts a change as an edit and Replace
// stores it.
TEST(JobEditor, PictureChoiceIsOfferedKeptStoredAndReplaced) {
    EditorRig rig;
    rig.dialog.SetSelection(kTemplateList, 3);
    rig.w().OnNewJob(rig.Source("small.avi", 25, 50)); // 320x240: no DVD frame
    EXPECT_TRUE(rig.dialog.IsEnabled(kPicture));
    EXPECT_EQ(rig.dialog.GetSelection(kPicture), 2); // PAL, by its rate
    rig.dialog.SetSelection(kPicture, 0);
    rig.w().OnAddJob();
    int fit = -1;
    EXPECT_FALSE(jobs::GetJobNumber(rig.temp.Store(), 0, jobs::kPictureFit, fit));
    EXPECT_FALSE(rig.dialog.IsEnabled(kPicture));

    rig.Select(0);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetSelection(kPicture), 0);
    EXPECT_FALSE(rig.w().Editor().HasUnsavedEdit());
    rig.dialog.SetSelection(kPicture, 1);
    EXPECT_TRUE(rig.w().Editor().HasUnsavedEdit());
    rig.w().OnAddJob();
    ASSERT_TRUE(jobs::GetJobNumber(rig.temp.Store(), 0, jobs::kPictureFit, fit));
    EXPECT_EQ(fit, 1);
    rig.Select(0);
    rig.w().OnJobDoubleClick();
    EXPECT_EQ(rig.dialog.GetSelection(kPicture), 1);
}
