// The stream report kept beside a finished job's stream: written at the end of the job, read by
// the job list and the report window.
#pragma once

#include "pulldown/stream_report.h"

#include <string>

namespace logging {
class Log;
}

namespace pulldown {

// Where the report of `stream` goes: the stream's path with its last extension replaced by
// ".report.json" (movie.mpv.m2v gives movie.mpv.report.json).
std::string ReportPathFor(const std::string& stream);

// What writing a report came to: the log line to show and whether it is an error.
struct StreamReportOutcome {
    bool ok = false;
    std::string line; // "  Stream: 0:30:03, mean ..., DVD-Video: yes" or "  ERROR: ..."
};

// Reports on the finished `stream` and writes the report as JSON to ReportPathFor(stream),
// replacing any older one whole; the stream is never changed. Reads the whole stream (seconds
// for hours of video), touches nothing shared, so it may run on a worker thread.
StreamReportOutcome MakeStreamReportFile(const std::string& stream);

// MakeStreamReportFile, then its line in `log` (information, or error when it failed). Returns
// whether the report was written. On the log's (the window's) thread.
bool WriteStreamReport(const std::string& stream, logging::Log& log);

// Reads a report file written by WriteStreamReport. False (and why) when it is missing or not
// a report. With `pictures` false the per-picture list is left out.
bool LoadStreamReport(const std::string& reportPath, StreamReport& report, std::string& error,
                      bool pictures = true);

// Only the verdict of a report file, read from its first bytes without parsing the lists (the
// job list reads it for every finished job). False when there is no readable verdict.
bool ReadDvdVerdict(const std::string& reportPath, DvdVerdict& verdict);

} // namespace pulldown
