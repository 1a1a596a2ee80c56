// The points of a stream report's plots, thinned to a number a chart draws at once.
#pragma once

#include "pulldown/stream_report.h"

#include <cstddef>
#include <vector>

namespace pulldown {

struct SeriesPoint {
    double x = 0; // seconds
    double y = 0;
};

struct ReportSeries {
    std::vector<SeriesPoint> perSecond;  // Mbit/s in each second
    std::vector<SeriesPoint> perGop;     // Mbit/s over each GOP, at its start
    std::vector<SeriesPoint> bufferFill; // KiB, the lowest fill in each step
    std::vector<SeriesPoint> underflows; // at 0 KiB, one per listed underflow
    double meanRate = 0;                 // Mbit/s
    double declaredRate = 0;             // Mbit/s
    double bufferSize = 0;               // KiB
    double duration = 0;                 // seconds
};

// The plots of `report` with at most `maxPoints` points in each list: when there are more, each
// run of consecutive points becomes one (the highest rate, the lowest fill), so that peaks and
// dips stay visible.
ReportSeries MakeReportSeries(const StreamReport& report, size_t maxPoints = 2000);

} // namespace pulldown
