// A stream report as JSON (written and read back), as text, and as one log line.
#pragma once

#include "pulldown/stream_report.h"

#include <string>

namespace pulldown {

// The report as one JSON object (the layout is in the man page of vantaq-probe). With
// `pictures` false the per-picture list is left out.
std::string ReportToJson(const StreamReport& report, bool pictures = true);

// Reads what ReportToJson wrote. Returns false (and says why in `error`) for anything that is
// not such a report; never throws. Lists missing from the text stay empty; with `pictures`
// false the per-picture list is skipped without being built (much quicker on a long stream).
bool ReportFromJson(const std::string& text, StreamReport& report, std::string& error,
                    bool pictures = true);

// The report for people: sequence, timing, rates, buffer, GOPs, cadence and the verdict.
std::string ReportToText(const StreamReport& report);

// "Stream: 0:30:03, mean 5.02 Mbit/s, peak 7.91 Mbit/s, longest GOP 12, DVD-Video: yes".
std::string ReportSummaryLine(const StreamReport& report);

// The aspect_ratio_information code as a ratio ("4:3"), or "code N" for the others.
std::string AspectText(int code);

} // namespace pulldown
