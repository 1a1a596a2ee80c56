// Turns a parsed control list into the checked settings of one encode (what to write, from
// which frames, with which rate control and stream structure).
#include "encode_plan.h"

#include "effort.h"

#include "ecl/ecl_writer.h"

#include <algorithm>
#include <cstdlib>

namespace enc {

namespace {

// The highest rate the 18-bit bit_rate_value of a sequence header can state (400 bit/s units).
constexpr int64_t kMaxStreamKbps = (int64_t{1} << 18) * 400 / 1000 - 1;

// Reads a numeric key into `out` and checks its range; builds the error sentence otherwise.
bool Ranged(const EclList& list, const char* key, int64_t lo, int64_t hi, int64_t& out,
            std::string& error) {
    if (!list.Number(key, out)) {
        error = std::string("the key ") + key + " is missing or not a number";
        return false;
    }
    if (out < lo || out > hi) {
        error = std::string(key) + "=" + std::to_string(out) + " is out of range (" +
                std::to_string(lo) + " to " + std::to_string(hi) + ")";
        return false;
    }
    return true;
}

bool Flag(const EclList& list, const char* key, bool& out, std::string& error) {
    int64_t v = 0;
    if (!Ranged(list, key, 0, 1, v, error)) {
        return false;
    }
    out = v == 1;
    return true;
}

bool ReadRateMode(const EclList& list, EncodePlan& plan, std::string& error) {
    int64_t v = 0;
    if (list.variant == EclVariant::Classic) {
        if (!Ranged(list, "vmode", 0, 2, v, error)) {
            return false;
        }
        plan.mode = v == 0 ? RateMode::OnePassVbr : v == 1 ? RateMode::Cbr : RateMode::MultipassVbr;
        return true;
    }
    if (!list.Number("video_type", v) || (v != 1 && v != 2 && v != 4)) {
        error = "video_type=" + list.Text("video_type") +
                " is not a rate control this encoder knows (1 CBR, 2 one-pass VBR, "
                "4 multipass VBR)";
        return false;
    }
    plan.mode = v == 1 ? RateMode::Cbr : v == 2 ? RateMode::OnePassVbr : RateMode::MultipassVbr;
    return true;
}

// The job editor stores each rate on its own, so a minimum above the mean or a mean above the
// peak can reach the list; the rate is lowered to the bound, with a note.
int64_t Capped(int64_t value, int64_t bound, const char* key, const char* what, EncodePlan& plan) {
    if (value <= bound) {
        return value;
    }
    plan.notes.push_back(std::string(key) + "=" + std::to_string(value) + " is above " + what +
                         " (" + std::to_string(bound) + " kbit/s): " + std::to_string(bound) +
                         " kbit/s is used");
    return bound;
}

bool ReadBitrates(const EclList& list, EncodePlan& plan, std::string& error) {
    int64_t a = 0;
    int64_t lo = 0;
    int64_t hi = 0;
    switch (plan.mode) {
    case RateMode::Cbr:
        if (!Ranged(list, "cbr_brate", 1, kMaxStreamKbps, a, error)) {
            return false;
        }
        plan.avgKbps = plan.minKbps = plan.maxKbps = a;
        break;
    case RateMode::OnePassVbr: {
        int64_t q = 0;
        const char* qKey = list.Has("opv_q_factor") ? "opv_q_factor" : "vbr_q_factor";
        if (!Ranged(list, qKey, 1, 100, q, error) ||
            !Ranged(list, "opv_brate_max", 1, kMaxStreamKbps, hi, error) ||
            !Ranged(list, "opv_brate_min", 0, kMaxStreamKbps, lo, error)) {
            return false;
        }
        lo = Capped(lo, hi, "opv_brate_min", "the peak", plan);
        // The quality factor says how much of the peak rate the encoder may spend on average.
        plan.maxKbps = hi;
        plan.minKbps = lo;
        plan.avgKbps = std::max<int64_t>({lo, hi * q / 100, 1});
        break;
    }
    case RateMode::MultipassVbr: {
        int64_t passes = 0;
        if (!Ranged(list, "vbr_brate_max", 1, kMaxStreamKbps, hi, error) ||
            !Ranged(list, "vbr_brate_avg", 1, kMaxStreamKbps, a, error) ||
            !Ranged(list, "vbr_brate_min", 0, kMaxStreamKbps, lo, error) ||
            !Ranged(list, "vbr_pass", 1, 9, passes, error)) {
            return false;
        }
        a = Capped(a, hi, "vbr_brate_avg", "the peak", plan);
        lo = Capped(lo, a, "vbr_brate_min", "the mean", plan);
        plan.avgKbps = a;
        plan.minKbps = lo;
        plan.maxKbps = hi;
        plan.passes = static_cast<int>(passes);
        break;
    }
    }
    if (plan.dvd && plan.maxKbps > kDvdMaxKbps) {
        plan.notes.push_back("DVD limits: peak bitrate lowered from " +
                             std::to_string(plan.maxKbps) + " to " + std::to_string(kDvdMaxKbps) +
                             " kbit/s");
        plan.maxKbps = kDvdMaxKbps;
        plan.avgKbps = std::min(plan.avgKbps, kDvdMaxKbps);
        plan.minKbps = std::min(plan.minKbps, kDvdMaxKbps);
    }
    return true;
}

std::string AnalysisSettings(const EclList& list, const EncodePlan& plan) {
    std::string s = "picture=" + std::to_string(plan.width) + "x" + std::to_string(plan.height) +
                    " rate=" + std::to_string(plan.rateIndex) +
                    " gop=" + std::to_string(plan.gopM) + "/" + std::to_string(plan.gopN) +
                    " mpeg1=" + std::to_string(plan.mpeg1) +
                    " progressive=" + std::to_string(plan.progressive);
    for (const char* key :
         {"cbr_brate", "opv_q_factor", "vbr_q_factor", "opv_brate_min", "opv_brate_max",
          "vbr_brate_avg", "vbr_brate_min", "vbr_brate_max", "dvd"}) {
        int64_t v = 0;
        if (list.Number(key, v)) {
            s += " " + std::string(key) + "=" + std::to_string(v);
        }
    }
    return s;
}

bool ReadChapters(const EclList& list, EncodePlan& plan, std::string& error) {
    for (const std::string& entry : list.chapters) {
        std::string t = entry;
        while (!t.empty() && (t.back() == ':' || t.back() == ' ')) {
            t.pop_back();
        }
        size_t start = t.find_first_not_of(' ');
        t = start == std::string::npos ? std::string() : t.substr(start);
        char* end = nullptr;
        long long frame = t.empty() ? -1 : std::strtoll(t.c_str(), &end, 10);
        if (t.empty() || *end != '\0' || frame < 0) {
            error = "chapter=" + entry + " does not name a frame number";
            return false;
        }
        if (frame < plan.encodeFirst || frame >= plan.encodeEnd) {
            plan.notes.push_back("chapter at frame " + t + " lies outside the encoded range");
            continue;
        }
        plan.chapterFrames.push_back(frame);
    }
    std::sort(plan.chapterFrames.begin(), plan.chapterFrames.end());
    plan.chapterFrames.erase(std::unique(plan.chapterFrames.begin(), plan.chapterFrames.end()),
                             plan.chapterFrames.end());
    return true;
}

void NoteIgnored(const EclList& list, EncodePlan& plan) {
    // Keys whose non-default values this encoder cannot honour with its MPEG-2 engine.
    struct Quiet {
        const char* key;
        int64_t neutral;
    };
    static const Quiet kQuiet[] = {
        {"timecode", 0},  {"use_filter", 0}, {"letter_box", 0},    {"panscan", 0},
        {"dither", 0},    {"h_filter", 0},   {"uscc", 0},          {"pulldown_detect", 0},
        {"mpeg1_cps", 0}, {"tc_ref_frm", 0}, {"fix_vbv_delay", 0}, {"qmat_idx", 0},
        {"seq_hdr", 1},
    };
    for (const Quiet& q : kQuiet) {
        int64_t v = 0;
        if (list.Number(q.key, v) && v != q.neutral) {
            plan.notes.push_back(std::string(q.key) + "=" + std::to_string(v) +
                                 " is not supported and has no effect");
        }
    }
}

} // namespace

int LayerTwoKbps(int index) {
    static const int kRates[15] = {0,   32,  48,  56,  64,  80,  96, 112,
                                   128, 160, 192, 224, 256, 320, 384};
    return index >= 1 && index <= 14 ? kRates[index] : 0;
}

bool BuildPlan(const EclList& list, EncodePlan& plan, std::string& error) {
    plan = EncodePlan();
    plan.title = list.Text("title");
    plan.sourcePath = list.Text("name");
    plan.videoPath = list.Text("vid_file0");
    plan.vafPath = list.Text("vaf_file");
    plan.audioPath = list.Text("aud_file");
    if (!Flag(list, "vid_out", plan.videoOut, error) ||
        !Flag(list, "vaf_out", plan.vafOut, error) ||
        !Flag(list, "aud_out", plan.audioOut, error) || !Flag(list, "dvd", plan.dvd, error) ||
        !Flag(list, "mpeg1", plan.mpeg1, error) ||
        !Flag(list, "seq_endcode", plan.seqEndcode, error) ||
        !Flag(list, "progressive", plan.progressive, error) ||
        !Flag(list, "top_first", plan.topFirst, error) ||
        !Flag(list, "alternate_scan", plan.alternateScan, error) ||
        !Flag(list, "non_linear", plan.nonLinear, error) ||
        !Flag(list, "all_closed_gop", plan.closedGops, error)) {
        return false;
    }
    if (plan.sourcePath.empty()) {
        error = "the control list names no source (name=)";
        return false;
    }
    if ((plan.videoOut && plan.videoPath.empty()) || (plan.vafOut && plan.vafPath.empty()) ||
        (plan.audioOut && plan.audioPath.empty())) {
        error = "an output is switched on but its file name (vid_file0, vaf_file or aud_file) "
                "is empty";
        return false;
    }

    int64_t w = 0;
    int64_t h = 0;
    int64_t halfW = 0;
    int64_t halfH = 0;
    if (!Ranged(list, "width", 16, 4096, w, error) || !Ranged(list, "height", 16, 4096, h, error) ||
        !Ranged(list, "half_width", 0, 1, halfW, error) ||
        !Ranged(list, "half_height", 0, 1, halfH, error)) {
        return false;
    }
    plan.width = static_cast<int>(halfW ? (w / 2) & ~int64_t{1} : w);
    plan.height = static_cast<int>(halfH ? (h / 2) & ~int64_t{1} : h);
    if (plan.width % 2 != 0 || plan.height % 2 != 0) {
        // 4:2:0 chroma needs even sizes; ffmpeg would quietly code one pixel less, so the
        // plan says so and scales to that size itself.
        const int evenW = plan.width & ~1;
        const int evenH = plan.height & ~1;
        plan.notes.push_back("the picture " + std::to_string(plan.width) + "x" +
                             std::to_string(plan.height) + " is coded as " + std::to_string(evenW) +
                             "x" + std::to_string(evenH) + " (4:2:0 needs even sizes)");
        plan.width = evenW;
        plan.height = evenH;
    }

    int64_t idx = 0;
    if (!list.Has("frame_rate_idx")) {
        error = "the control list has no frame_rate_idx: the source's frame rate is not one that "
                "MPEG can carry";
        return false;
    }
    if (!Ranged(list, "frame_rate_idx", 1, 8, idx, error)) {
        return false;
    }
    plan.rateIndex = static_cast<int>(idx);
    ecl::FrameRateOfIndex(plan.rateIndex, plan.rateNum, plan.rateDen);
    int64_t drop = 0;
    if (list.Number("drop_frame", drop) && drop == 1 && plan.rateIndex == 4) {
        plan.dropFrame = true;
    }

    if (!ReadRateMode(list, plan, error) || !ReadBitrates(list, plan, error)) {
        return false;
    }

    int64_t m = 0;
    int64_t nm = 0;
    int64_t dc = 0;
    int64_t aspect = 0;
    if (!Ranged(list, "gop_m", 1, 8, m, error) || !Ranged(list, "gop_nm", 1, 200, nm, error) ||
        !Ranged(list, "intra_dc_prec", 0, 3, dc, error) ||
        !Ranged(list, "aspect_ratio", 1, 4, aspect, error)) {
        return false;
    }
    plan.gopM = static_cast<int>(m);
    plan.gopN = static_cast<int>(m * nm);
    int64_t hdr = 0;
    if (list.Number("gop_hdr", hdr) && hdr != m * nm) {
        plan.notes.push_back("gop_hdr=" + std::to_string(hdr) + " differs from gop_m x gop_nm; " +
                             std::to_string(m * nm) + " pictures per GOP are used");
    }
    plan.intraDcBits = static_cast<int>(8 + dc);
    plan.aspectCode = static_cast<int>(aspect);
    int64_t fit = 0;
    if (list.Has("fit_picture") && !Ranged(list, "fit_picture", 0, 1, fit, error)) {
        return false;
    }
    plan.fitPicture = fit == 1;
    if (plan.mpeg1) {
        if (dc != 0 || plan.alternateScan || plan.nonLinear || !plan.progressive) {
            plan.notes.push_back("MPEG-1: intra DC precision, alternate scan, non-linear "
                                 "quantiser and interlace are MPEG-2 tools and are not used");
        }
        plan.intraDcBits = 8;
        plan.alternateScan = plan.nonLinear = false;
        plan.progressive = true;
    }

    int64_t first = 0;
    int64_t last = 0;
    int64_t listed = 0;
    if (!Ranged(list, "frame_last", 0, INT32_MAX, listed, error) ||
        !Ranged(list, "encode_first", 0, INT32_MAX, first, error) ||
        !Ranged(list, "encode_last", 0, INT32_MAX, last, error)) {
        return false;
    }
    if (last <= first) {
        error = "the frame range encode_first=" + std::to_string(first) +
                " to encode_last=" + std::to_string(last) +
                " is empty (encode_last is one past the last frame)";
        return false;
    }
    plan.encodeFirst = first;
    plan.encodeEnd = last;
    plan.listedFrames = listed;
    if (!ReadChapters(list, plan, error)) {
        return false;
    }
    if (!plan.chapterFrames.empty() && !plan.closedGops) {
        plan.closedGops = true;
        plan.notes.push_back("chapter points need closed GOPs: every GOP is closed");
    }

    int64_t brate = 0;
    int64_t rate = 0;
    if (!Ranged(list, "brate_idx", 1, 14, brate, error) ||
        !Ranged(list, "samples_per_sec", 32000, 48000, rate, error)) {
        return false;
    }
    if (rate != 32000 && rate != 44100 && rate != 48000) {
        error = "samples_per_sec=" + std::to_string(rate) + " is not 32000, 44100 or 48000";
        return false;
    }
    int64_t createNew = 0;
    plan.createNewVaf = list.Number("create_new_vaf", createNew) && createNew == 1;
    plan.analysisSettings = AnalysisSettings(list, plan);
    plan.audioKbps = LayerTwoKbps(static_cast<int>(brate));
    plan.sampleRate = static_cast<int>(rate);
    NoteIgnored(list, plan);
    ReadEffort(list, plan);
    return true;
}

} // namespace enc
