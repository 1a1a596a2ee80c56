// The DVD-Video verdict on a stream report.
#include "pulldown/dvd_verdict.h"

#include <cmath>
#include <cstdio>

namespace pulldown {

namespace {

std::string SizeText(int w, int h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

} // namespace

std::string FormatMbits(double bits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f Mbit/s", bits / 1e6);
    return buf;
}

std::string FormatClock(double seconds) {
    long long s = seconds > 0 ? static_cast<long long>(seconds) : 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

DvdVerdict JudgeDvdVideo(const StreamReport& r) {
    DvdVerdict v;
    auto no = [&v](std::string reason) { v.reasons.push_back(std::move(reason)); };
    if (!r.readable) {
        no("no MPEG video sequence header");
        return v;
    }
    const ReportSequence& s = r.sequence;
    int lines = 0;
    if (s.frameRateCode == 4) {
        v.system = "NTSC";
        lines = 480;
    } else if (s.frameRateCode == 3) {
        v.system = "PAL";
        lines = 576;
    } else if (s.frameRateCode == 1) {
        no("23.976 frames a second is allowed only as 29.97 with 2:3 pulldown flags");
    } else {
        char buf[96];
        std::snprintf(buf, sizeof buf, "frame rate %.3f is neither 29.97 (NTSC) nor 25 (PAL)",
                      s.frameRate);
        no(buf);
    }
    if (s.frameRateCode == 1) {
        lines = 480; // judged as the NTSC stream it should become
    }
    if (lines > 0) {
        int half = lines / 2;
        bool full = s.height == lines && (s.width == 720 || s.width == 704 || s.width == 352);
        bool small = s.height == half && s.width == 352;
        if (!s.mpeg2 && !small) {
            no("MPEG-1 video is allowed only at 352x" + std::to_string(half));
        } else if (!full && !small) {
            no("size " + SizeText(s.width, s.height) + " is not 720, 704 or 352x" +
               std::to_string(lines) + ", or 352x" + std::to_string(half));
        }
    }
    if (s.aspectCode != 2 && s.aspectCode != 3) {
        no("aspect code " + std::to_string(s.aspectCode) + " is neither 4:3 nor 16:9");
    } else if (s.aspectCode == 3 && s.width == 352) {
        no("16:9 is not allowed at 352 wide");
    }
    if (s.changes > 0) {
        no("the sequence changes size, rate or aspect " + std::to_string(s.changes) + " times");
    }
    if (r.peakRate > kDvdMaxRate) {
        no("peak rate " + FormatMbits(r.peakRate) + " (one second from " + FormatClock(r.peakAt) +
           ") is above 9.80 Mbit/s");
    }
    if (s.vbvBufferBits > kDvdMaxVbvBits) {
        no("buffer size " + std::to_string(s.vbvBufferBits / 8192) + " KiB is above 224 KiB");
    }
    uint32_t maxGop = v.system == "PAL" ? kDvdMaxGopPal : kDvdMaxGopNtsc;
    if (r.longestGop > maxGop) {
        double at = r.longestGopIndex < r.gops.size() ? r.gops[r.longestGopIndex].start : 0;
        no("GOP of " + std::to_string(r.longestGop) + " pictures at " + FormatClock(at) +
           " is longer than " + std::to_string(maxGop));
    }
    if (r.underflows > 0) {
        double first = 0;
        for (const VbvEvent& e : r.vbvEvents) {
            if (e.underflow) {
                first = e.time;
                break;
            }
        }
        no("the buffer runs empty " + std::to_string(r.underflows) + " times, first at " +
           FormatClock(first));
    }
    if (r.overflows > 0) {
        no("the buffer runs over " + std::to_string(r.overflows) + " times");
    }
    if (r.illegalFieldFlags > 0) {
        no(std::to_string(r.illegalFieldFlags) +
           " pictures are marked progressive or repeat a field, which their field coding does "
           "not allow");
    }
    if (!r.endCode) {
        no("no sequence end code at the end of the stream");
    }
    v.compliant = v.reasons.empty();
    return v;
}

} // namespace pulldown
