// Thinning a stream report's lists into chart points.
#include "pulldown/report_series.h"

#include <algorithm>

namespace pulldown {

namespace {

// Groups of `k` consecutive points become one at the group's first x, with the highest (or the
// lowest) y.
std::vector<SeriesPoint> Thin(const std::vector<SeriesPoint>& in, size_t maxPoints, bool high) {
    if (maxPoints == 0 || in.size() <= maxPoints) {
        return in;
    }
    size_t k = (in.size() + maxPoints - 1) / maxPoints;
    std::vector<SeriesPoint> out;
    out.reserve(in.size() / k + 1);
    for (size_t i = 0; i < in.size(); i += k) {
        SeriesPoint p = in[i];
        for (size_t j = i + 1; j < std::min(in.size(), i + k); ++j) {
            p.y = high ? std::max(p.y, in[j].y) : std::min(p.y, in[j].y);
        }
        out.push_back(p);
    }
    return out;
}

} // namespace

ReportSeries MakeReportSeries(const StreamReport& r, size_t maxPoints) {
    ReportSeries s;
    s.meanRate = r.meanRate / 1e6;
    s.declaredRate = static_cast<double>(r.sequence.bitRate) / 1e6;
    s.bufferSize = static_cast<double>(r.sequence.vbvBufferBits) / 8192;
    s.duration = r.durationSeconds;
    std::vector<SeriesPoint> points;
    for (size_t i = 0; i < r.perSecond.size(); ++i) {
        // The last second may be a part of one: its rate is over the part, unless the part is
        // too short to say anything.
        double span = std::min(1.0, r.durationSeconds - static_cast<double>(i));
        if (span >= 0.25) {
            points.push_back({static_cast<double>(i), r.perSecond[i] / 1e6 / span});
        }
    }
    s.perSecond = Thin(points, maxPoints, true);
    points.clear();
    for (const ReportGop& g : r.gops) {
        if (g.seconds > 0) {
            points.push_back({g.start, 8.0 * static_cast<double>(g.bytes) / g.seconds / 1e6});
        }
    }
    s.perGop = Thin(points, maxPoints, true);
    points.clear();
    for (size_t i = 0; i < r.bufferFill.size(); ++i) {
        points.push_back({static_cast<double>(i) * r.bufferStep, r.bufferFill[i] / 8192});
    }
    s.bufferFill = Thin(points, maxPoints, false);
    for (const VbvEvent& e : r.vbvEvents) {
        if (e.underflow && s.underflows.size() < maxPoints) {
            s.underflows.push_back({e.time, 0});
        }
    }
    return s;
}

} // namespace pulldown
