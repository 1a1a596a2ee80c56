// The time left of a run: the job's, from its own percentage and the time it has taken, and the
// queue's, from the frames still to encode at the rate measured so far in the run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace run {

class RunProgress {
public:
    // Milliseconds of a clock that never goes back.
    using Clock = std::function<int64_t()>;

    explicit RunProgress(Clock clock);

    // A run begins: nothing measured yet.
    void StartRun();
    // A job of `frames` frames begins (0 or less: its length is not known). `queuedFrames` are
    // the frames of the jobs still pending after it; `queuedKnown` is false when the length of
    // one of them is not known.
    void StartJob(int64_t frames, int64_t queuedFrames, bool queuedKnown);
    // The job started `milliseconds` before StartJob (an encode that an earlier start of the
    // program left running and this one follows): its pace counts from its own start, so the
    // share it had done before it was followed is not taken as done in no time.
    void JobBegunEarlier(int64_t milliseconds);
    // The share of the job done, 0 to 100 (other values are ignored).
    void SetPercent(int percent);
    // The job has ended: its frames and time count towards the rate.
    void FinishJob();

    // The jobs this run has started so far, the one being worked included; a job started again
    // before it finished counts once.
    int JobsStarted() const { return m_JobsStarted; }
    // A job has started and its status is not written yet.
    bool InJob() const { return m_InJob; }
    // The job's share done, -1 before it reported any.
    int Percent() const { return m_Percent; }
    // Empty whenever there is nothing to base the figure on.
    std::optional<int64_t> JobSecondsLeft() const;
    std::optional<int64_t> QueueSecondsLeft() const;

private:
    // Frames per millisecond over the run so far; empty before anything was measured.
    std::optional<double> Rate() const;

    Clock m_Clock;
    bool m_InJob = false;
    int64_t m_JobStart = 0;
    int64_t m_JobFrames = 0;
    int m_Percent = -1;
    int m_JobsStarted = 0;
    int64_t m_QueuedFrames = 0;
    bool m_QueuedKnown = false;
    // Jobs of known length that have ended: their frames and their time.
    int64_t m_DoneFrames = 0;
    int64_t m_DoneMilliseconds = 0;
};

// "H:MM:SS" of a non-negative number of seconds.
std::string FormatDuration(int64_t seconds);

} // namespace run
