// Time-left estimates of a run, on a clock the test moves.
#include "run/run_progress.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr std::nullopt_t kNone = std::nullopt;

// One step of a run: the clock moves by `after` seconds, then the event happens.
struct Step {
    enum Kind { Job, Percent, Finish, BegunEarlier } kind;
    int64_t after;
    int64_t a = 0; // Job: frames; Percent: the share; BegunEarlier: seconds before
    int64_t queued = 0;
    bool queuedKnown = true;
};

TEST(RunProgress, EstimatesOnlyFromWhatWasMeasured) {
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::optional<int64_t> job, queue;
    } cases[] = {
        {"nothing reported yet", {{Step::Job, 0, 1000, 500}}, kNone, kNone},
        {"0% says nothing", {{Step::Job, 0, 1000}, {Step::Percent, 30, 0}}, kNone, kNone},
        {"a quarter in a minute", {{Step::Job, 0, 1000}, {Step::Percent, 60, 25}}, 180, 180},
        {"queued frames at the job's rate",
         {{Step::Job, 0, 1000, 2000}, {Step::Percent, 60, 25}},
         180,
         180 + 480},
        {"a queued job of unknown length",
         {{Step::Job, 0, 1000, 2000, false}, {Step::Percent, 60, 25}},
         180,
         kNone},
        {"job of unknown length, nothing queued",
         {{Step::Job, 0, 0, 0}, {Step::Percent, 60, 25}},
         180,
         180},
        {"job of unknown length gives no rate",
         {{Step::Job, 0, 0, 900}, {Step::Percent, 60, 25}},
         180,
         kNone},
        {"done", {{Step::Job, 0, 1000}, {Step::Percent, 100, 100}}, 0, 0},
        {"next job before its first line: the rate of the one before",
         {{Step::Job, 0, 1000, 500},
          {Step::Percent, 50, 50},
          {Step::Finish, 50},
          {Step::Job, 5, 500, 2000}},
         50,
         250},
        {"the job's own pace, not the run's", // 1000 frames took 100 s, then 20% in 25 s
         {{Step::Job, 0, 1000, 1000},
          {Step::Finish, 100},
          {Step::Job, 25, 1000},
          {Step::Percent, 25, 20}},
         100,
         100},
        // Followed after a restart: 60% when followed, 10 minutes after the job began.
        {"a followed encode at its own pace",
         {{Step::Job, 0, 0, 0}, {Step::BegunEarlier, 0, 600}, {Step::Percent, 0, 60}},
         400,
         400},
        {"a followed encode's time left shrinks as it goes on",
         {{Step::Job, 0, 0, 0},
          {Step::BegunEarlier, 0, 600},
          {Step::Percent, 0, 60},
          {Step::Percent, 60, 66}},
         340,
         340},
        {"after the job ended",
         {{Step::Job, 0, 1000}, {Step::Percent, 10, 50}, {Step::Finish, 10}},
         kNone,
         kNone},
    };
    for (const auto& c : cases) {
        int64_t now = 0;
        run::RunProgress progress([&now] { return now; });
        progress.StartRun();
        for (const Step& s : c.steps) {
            now += s.after * 1000;
            if (s.kind == Step::Job) {
                progress.StartJob(s.a, s.queued, s.queuedKnown);
            } else if (s.kind == Step::Percent) {
                progress.SetPercent(static_cast<int>(s.a));
            } else if (s.kind == Step::BegunEarlier) {
                progress.JobBegunEarlier(s.a * 1000);
            } else {
                progress.FinishJob();
            }
        }
        EXPECT_EQ(progress.JobSecondsLeft(), c.job) << c.what;
        EXPECT_EQ(progress.QueueSecondsLeft(), c.queue) << c.what;
    }
}

TEST(RunProgress, ANewRunForgetsTheRateAndDurationsReadAsHours) {
    int64_t now = 0;
    run::RunProgress progress([&now] { return now; });
    progress.StartRun();
    progress.StartJob(1000, 0, true);
    now = 100000;
    progress.FinishJob();
    progress.StartRun();
    progress.StartJob(1000, 0, true);
    EXPECT_EQ(progress.JobSecondsLeft(), kNone);
    progress.SetPercent(101);
    EXPECT_EQ(progress.Percent(), -1);

    EXPECT_EQ(run::FormatDuration(0), "0:00:00");
    EXPECT_EQ(run::FormatDuration(750), "0:12:30");
    EXPECT_EQ(run::FormatDuration(36 * 3600 + 61), "36:01:01");
}

} // namespace
