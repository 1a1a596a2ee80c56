// What follows from a stream's pictures: times, rates, the buffer model, GOPs and the cadence.
#include "pulldown/dvd_verdict.h"
#include "pulldown/stream_report.h"

#include <algorithm>
#include <cmath>

namespace pulldown {

namespace {

// Keeps the report's event list readable on a stream that underflows all the way through; the
// counts stay exact.
constexpr size_t kMaxEvents = 1000;
constexpr size_t kMaxBreakTimes = 100;

void AddEvent(StreamReport& r, double time, uint64_t picture, bool underflow, double bits) {
    (underflow ? r.underflows : r.overflows) += 1;
    if (r.vbvEvents.size() < kMaxEvents) {
        r.vbvEvents.push_back({time, picture, underflow, static_cast<int64_t>(std::llround(bits))});
    }
}

// The decoder's buffer, filled at the declared rate and emptied by one whole picture at each
// picture's decoding time. With a coded vbv_delay (constant rate) the stream arrives from time 0
// and the first picture is taken vbv_delay later: the buffer can run over. Without one (0xFFFF,
// variable rate) data enters only while the buffer is not full and decoding starts on a full
// buffer, so only underflows are possible. A picture not all there when due is an underflow; the
// decoder then waits for it, so later pictures are taken that much later.
void SimulateBuffer(StreamReport& r, const std::vector<double>& times) {
    const double rate = static_cast<double>(r.sequence.bitRate);
    const double size = static_cast<double>(r.sequence.vbvBufferBits);
    const size_t n = r.pictures.size();
    if (rate <= 0 || size <= 0 || n == 0) {
        return;
    }
    const double step = r.bufferStep;
    r.bufferFill.assign(static_cast<size_t>(r.durationSeconds / step) + 1, size);
    double total = 0;
    for (const ReportPicture& p : r.pictures) {
        total += 8.0 * p.bytes;
    }
    double minFill = size;
    double fill = std::min(size, total); // variable rate: what the buffer holds
    double removed = 0;                  // constant rate: bits taken out so far
    double stall = 0;                    // constant rate: how late the decoder runs
    for (size_t i = 0; i < n; ++i) {
        double bits = 8.0 * r.pictures[i].bytes;
        bool allIn = false; // the whole stream has entered the buffer
        if (r.sequence.vbvDelayCoded) {
            double t = r.sequence.vbvDelaySeconds + times[i] + stall;
            allIn = rate * t >= total;
            fill = std::min(total, rate * t) - removed;
            if (fill > size) {
                AddEvent(r, times[i], i, false, fill - size);
            }
        }
        if (fill < bits) {
            AddEvent(r, times[i], i, true, bits - fill);
            stall += (bits - fill) / rate;
        }
        double low = fill - bits;
        removed += bits;
        // Once the whole stream has arrived the buffer drains to nothing, which is no fault.
        if (allIn) {
            continue;
        }
        minFill = std::min(minFill, low);
        size_t slot = std::min(r.bufferFill.size() - 1, static_cast<size_t>(times[i] / step));
        r.bufferFill[slot] = std::min(r.bufferFill[slot], std::max(low, 0.0));
        if (!r.sequence.vbvDelayCoded) {
            double dt = (i + 1 < n ? times[i + 1] : r.durationSeconds) - times[i];
            fill = std::min(size, std::max(low, 0.0) + rate * dt);
        }
    }
    r.minBufferFill = minFill;
}

// The field that a picture shows first and last (true for the top field).
bool FirstTop(const ReportPicture& p) {
    return (p.flags & kPictureTopFieldFirst) != 0;
}
bool LastTop(const ReportPicture& p) {
    return p.fields % 2 == 1 ? FirstTop(p) : !FirstTop(p);
}

// Interlaced frame pictures must alternate their fields across picture boundaries in display
// order: a picture that starts with the parity the previous one ended with breaks the cadence
// (a player shows two fields of one parity in a row, or drops one).
void CheckCadence(StreamReport& r, double fieldRate) {
    const ReportSequence& s = r.sequence;
    for (const ReportPicture& p : r.pictures) {
        r.repeatedPictures += (p.flags & kPictureRepeatFirstField) != 0;
    }
    if (std::any_of(r.pictures.begin(), r.pictures.end(),
                    [](const ReportPicture& p) { return p.structure != 3; })) {
        return; // field pictures: the cadence is not checked
    }
    if (!s.mpeg2 || s.progressiveSequence || r.pictures.empty() || fieldRate <= 0) {
        return;
    }
    r.cadenceChecked = true;
    std::vector<uint64_t> order;
    order.reserve(r.pictures.size());
    for (size_t g = 0; g < r.gops.size(); ++g) {
        uint64_t first = r.gops[g].firstPicture;
        uint64_t end = g + 1 < r.gops.size() ? r.gops[g + 1].firstPicture : r.pictures.size();
        size_t from = order.size();
        for (uint64_t i = first; i < end; ++i) {
            order.push_back(i);
        }
        std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(from), order.end(),
                         [&](uint64_t a, uint64_t b) {
                             return r.pictures[a].temporalReference <
                                    r.pictures[b].temporalReference;
                         });
    }
    uint64_t shown = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        const ReportPicture& p = r.pictures[order[k]];
        if (k > 0 && FirstTop(p) == LastTop(r.pictures[order[k - 1]])) {
            ++r.cadenceBreaks;
            if (r.cadenceBreakTimes.size() < kMaxBreakTimes) {
                r.cadenceBreakTimes.push_back(static_cast<double>(shown) / fieldRate);
            }
        }
        shown += p.fields;
    }
}

} // namespace

void CompleteReport(StreamReport& r) {
    const size_t n = r.pictures.size();
    const double fieldRate = 2 * r.sequence.frameRate;
    std::vector<double> times(n);
    uint64_t fields = 0;
    for (size_t i = 0; i < n; ++i) {
        times[i] = fieldRate > 0 ? static_cast<double>(fields) / fieldRate : 0;
        fields += r.pictures[i].fields;
    }
    r.fields = fields;
    r.durationSeconds = fieldRate > 0 ? static_cast<double>(fields) / fieldRate : 0;
    double bits = 0;
    for (const ReportPicture& p : r.pictures) {
        bits += 8.0 * p.bytes;
    }
    r.meanRate = r.durationSeconds > 0 ? bits / r.durationSeconds : 0;

    // Bits in each whole second, and the most in any window of one second starting at a picture.
    r.perSecond.assign(n > 0 ? static_cast<size_t>(r.durationSeconds) + 1 : 0, 0.0);
    double window = 0;
    size_t j = 0;
    constexpr double kEps = 1e-9;
    for (size_t i = 0; i < n; ++i) {
        r.perSecond[std::min(r.perSecond.size() - 1, static_cast<size_t>(times[i]))] +=
            8.0 * r.pictures[i].bytes;
        while (j < n && times[j] < times[i] + 1.0 - kEps) {
            window += 8.0 * r.pictures[j].bytes;
            ++j;
        }
        if (window > r.peakRate) {
            r.peakRate = window;
            r.peakAt = times[i];
        }
        window -= 8.0 * r.pictures[i].bytes;
    }
    // A stream shorter than a second: its rate over that second is its size.
    if (!r.perSecond.empty() && r.durationSeconds < 1.0) {
        r.perSecond.resize(1);
    }

    for (size_t g = 0; g < r.gops.size(); ++g) {
        ReportGop& gop = r.gops[g];
        uint64_t end = g + 1 < r.gops.size() ? r.gops[g + 1].firstPicture : n;
        gop.pictures = static_cast<uint32_t>(end - gop.firstPicture);
        gop.bytes = 0;
        uint64_t shown = 0;
        for (uint64_t i = gop.firstPicture; i < end; ++i) {
            gop.bytes += r.pictures[i].bytes;
            shown += r.pictures[i].fields;
        }
        gop.start = gop.firstPicture < n ? times[gop.firstPicture] : r.durationSeconds;
        gop.seconds = fieldRate > 0 ? static_cast<double>(shown) / fieldRate : 0;
        if (gop.pictures > r.longestGop) {
            r.longestGop = gop.pictures;
            r.longestGopIndex = g;
        }
    }

    SimulateBuffer(r, times);
    CheckCadence(r, fieldRate);
    r.dvd = JudgeDvdVideo(r);
}

} // namespace pulldown
