// Time-left estimates of a run.
#include "run/run_progress.h"

#include <cstdio>

namespace run {

RunProgress::RunProgress(Clock clock) : m_Clock(std::move(clock)) {}

void RunProgress::StartRun() {
    m_InJob = false;
    m_Percent = -1;
    m_DoneFrames = 0;
    m_DoneMilliseconds = 0;
    m_JobsStarted = 0;
}

void RunProgress::StartJob(int64_t frames, int64_t queuedFrames, bool queuedKnown) {
    // A job started again before its status was written (a restart) is still the same job.
    if (!m_InJob) {
        ++m_JobsStarted;
    }
    m_InJob = true;
    m_JobStart = m_Clock();
    m_JobFrames = frames > 0 ? frames : 0;
    m_Percent = -1;
    m_QueuedFrames = queuedFrames > 0 ? queuedFrames : 0;
    m_QueuedKnown = queuedKnown;
}

void RunProgress::JobBegunEarlier(int64_t milliseconds) {
    if (m_InJob && milliseconds > 0) {
        m_JobStart -= milliseconds;
    }
}

void RunProgress::SetPercent(int percent) {
    if (m_InJob && percent >= 0 && percent <= 100) {
        m_Percent = percent;
    }
}

void RunProgress::FinishJob() {
    if (!m_InJob) {
        return;
    }
    if (m_JobFrames > 0) {
        m_DoneFrames += m_JobFrames;
        m_DoneMilliseconds += m_Clock() - m_JobStart;
    }
    m_InJob = false;
    m_Percent = -1;
}

std::optional<double> RunProgress::Rate() const {
    int64_t frames = m_DoneFrames;
    int64_t elapsed = m_DoneMilliseconds;
    // The job under way counts with the part it has done.
    if (m_InJob && m_JobFrames > 0 && m_Percent > 0) {
        frames += m_JobFrames * m_Percent / 100;
        elapsed += m_Clock() - m_JobStart;
    }
    if (frames <= 0 || elapsed <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(frames) / static_cast<double>(elapsed);
}

std::optional<int64_t> RunProgress::JobSecondsLeft() const {
    if (!m_InJob) {
        return std::nullopt;
    }
    int64_t elapsed = m_Clock() - m_JobStart;
    if (m_Percent > 0 && elapsed > 0) {
        return elapsed * (100 - m_Percent) / m_Percent / 1000;
    }
    // No share reported yet: the job's length at the rate of the jobs before it.
    std::optional<double> rate = Rate();
    if (m_JobFrames > 0 && rate) {
        int done = m_Percent > 0 ? m_Percent : 0;
        return static_cast<int64_t>(m_JobFrames * (100 - done) / 100 / *rate / 1000.0);
    }
    return std::nullopt;
}

std::optional<int64_t> RunProgress::QueueSecondsLeft() const {
    std::optional<int64_t> job = JobSecondsLeft();
    if (!job || !m_QueuedKnown) {
        return std::nullopt;
    }
    if (m_QueuedFrames == 0) {
        return job;
    }
    std::optional<double> rate = Rate();
    if (!rate) {
        return std::nullopt;
    }
    return *job + static_cast<int64_t>(static_cast<double>(m_QueuedFrames) / *rate / 1000.0);
}

std::string FormatDuration(int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

} // namespace run
