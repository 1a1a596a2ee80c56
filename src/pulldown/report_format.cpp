// Writing and reading stream reports as JSON, and the text forms.
#include "pulldown/report_format.h"

#include "pulldown/dvd_verdict.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace pulldown {

namespace {

using nlohmann::json;

constexpr const char* kFormat = "vantaq-stream-report";
constexpr int kVersion = 1;

// Stand-ins for the lists ReportToJson writes as text, replaced as the rest is copied out; no
// other value of a report is text of this form.
constexpr const char* kGopsMark = "\x01gops\x01";
constexpr const char* kPicturesMark = "\x01pictures\x01";

char TypeLetter(int type) {
    static const char kLetters[] = "?IPBD";
    return type >= 1 && type <= 4 ? kLetters[type] : '?';
}

std::string Fixed(double v, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Typed look-ups that leave `out` alone when the member is missing; a member of the wrong type
// throws, and ReportFromJson turns that into false.
template <typename T> void Take(const json& j, const char* key, T& out) {
    auto it = j.find(key);
    if (it != j.end() && !it->is_null()) {
        out = it->get<T>();
    }
}

const json& Member(const json& j, const char* key) {
    static const json kEmpty = json::object();
    auto it = j.find(key);
    return it != j.end() && it->is_object() ? *it : kEmpty;
}

} // namespace

std::string AspectText(int code) {
    switch (code) {
    case 1:
        return "1:1";
    case 2:
        return "4:3";
    case 3:
        return "16:9";
    case 4:
        return "2.21:1";
    default:
        return "code " + std::to_string(code);
    }
}

std::string ReportToJson(const StreamReport& r, bool pictures) {
    const ReportSequence& s = r.sequence;
    json j = json::object();
    j["format"] = kFormat;
    j["version"] = kVersion;
    j["readable"] = r.readable;
    j["file_bytes"] = r.totalBytes;
    j["end_code"] = r.endCode;
    j["sequence"] = {{"mpeg2", s.mpeg2},
                     {"width", s.width},
                     {"height", s.height},
                     {"aspect_code", s.aspectCode},
                     {"aspect", AspectText(s.aspectCode)},
                     {"frame_rate_code", s.frameRateCode},
                     {"frame_rate", s.frameRate},
                     {"progressive_sequence", s.progressiveSequence},
                     {"profile_level", s.profileLevel},
                     {"bit_rate", s.bitRate},
                     {"vbv_buffer_bits", s.vbvBufferBits},
                     {"vbv_delay_coded", s.vbvDelayCoded},
                     {"vbv_delay_seconds", s.vbvDelaySeconds},
                     {"changes", s.changes}};
    j["picture_count"] = r.pictures.size();
    j["gop_count"] = r.gops.size();
    j["fields"] = r.fields;
    j["duration_seconds"] = r.durationSeconds;
    j["mean_rate"] = r.meanRate;
    j["peak_rate"] = r.peakRate;
    j["peak_at"] = r.peakAt;
    j["longest_gop"] = r.longestGop;
    j["longest_gop_index"] = r.longestGopIndex;
    json events = json::array();
    for (const VbvEvent& e : r.vbvEvents) {
        events.push_back({{"time", e.time},
                          {"picture", e.picture},
                          {"kind", e.underflow ? "underflow" : "overflow"},
                          {"bits", e.bits}});
    }
    j["vbv"] = {{"underflows", r.underflows},       {"overflows", r.overflows},
                {"min_fill_bits", r.minBufferFill}, {"fill_step_seconds", r.bufferStep},
                {"fill_bits", r.bufferFill},        {"events", std::move(events)}};
    j["pulldown"] = {{"checked", r.cadenceChecked},
                     {"repeated_pictures", r.repeatedPictures},
                     {"breaks", r.cadenceBreaks},
                     {"illegal_field_flags", r.illegalFieldFlags},
                     {"break_times", r.cadenceBreakTimes}};
    j["dvd_video"] = {
        {"compliant", r.dvd.compliant}, {"system", r.dvd.system}, {"reasons", r.dvd.reasons}};
    j["per_second_bits"] = r.perSecond;
    // The two lists that grow with the stream are written as text straight into the output: as
    // a JSON tree each entry would take some 250 bytes, many times its text (and, for a flood of
    // start codes, many times the stream).
    j["gops"] = kGopsMark;
    if (pictures) {
        j["pictures"] = kPicturesMark;
    }
    const std::string rest = j.dump();
    std::string out;
    out.reserve(rest.size() + r.gops.size() * 48 + (pictures ? r.pictures.size() * 20 : 0) + 1);
    size_t from = 0;
    // The members come in name order: "gops" before "pictures".
    auto upTo = [&rest, &out, &from](const char* mark) {
        std::string dumped = json(mark).dump();
        size_t at = rest.find(dumped, from);
        out.append(rest, from, at - from);
        from = at + dumped.size();
    };
    upTo(kGopsMark);
    out += '[';
    for (const ReportGop& g : r.gops) {
        out += out.back() == '[' ? "[" : ",[";
        out += std::to_string(g.firstPicture) + "," + std::to_string(g.pictures) + "," +
               std::to_string(g.bytes) + (g.closed ? ",1" : ",0") + (g.header ? ",1," : ",0,") +
               json(g.start).dump() + "," + json(g.seconds).dump() + "]";
    }
    out += ']';
    if (pictures) {
        upTo(kPicturesMark);
        out += '[';
        char entry[64];
        for (const ReportPicture& p : r.pictures) {
            std::snprintf(entry, sizeof entry, "%s[%u,\"%c\",%u,%u,%u,%u]",
                          out.back() == '[' ? "" : ",", static_cast<unsigned>(p.bytes),
                          TypeLetter(p.type), static_cast<unsigned>(p.flags),
                          static_cast<unsigned>(p.temporalReference),
                          static_cast<unsigned>(p.fields), static_cast<unsigned>(p.structure));
            out += entry;
        }
        out += ']';
    }
    out.append(rest, from, std::string::npos);
    out += '\n';
    return out;
}

bool ReportFromJson(const std::string& text, StreamReport& out, std::string& error, bool pictures) {
    json::parser_callback_t skipPictures = [](int depth, json::parse_event_t event, json& parsed) {
        return !(depth == 1 && event == json::parse_event_t::key && parsed == "pictures");
    };
    json j = json::parse(text, pictures ? nullptr : skipPictures, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "not JSON";
        return false;
    }
    if (j.value("format", json()) != kFormat) {
        error = "not a stream report";
        return false;
    }
    StreamReport r;
    try {
        Take(j, "readable", r.readable);
        Take(j, "file_bytes", r.totalBytes);
        Take(j, "end_code", r.endCode);
        const json& s = Member(j, "sequence");
        Take(s, "mpeg2", r.sequence.mpeg2);
        Take(s, "width", r.sequence.width);
        Take(s, "height", r.sequence.height);
        Take(s, "aspect_code", r.sequence.aspectCode);
        Take(s, "frame_rate_code", r.sequence.frameRateCode);
        Take(s, "frame_rate", r.sequence.frameRate);
        Take(s, "progressive_sequence", r.sequence.progressiveSequence);
        Take(s, "profile_level", r.sequence.profileLevel);
        Take(s, "bit_rate", r.sequence.bitRate);
        Take(s, "vbv_buffer_bits", r.sequence.vbvBufferBits);
        Take(s, "vbv_delay_coded", r.sequence.vbvDelayCoded);
        Take(s, "vbv_delay_seconds", r.sequence.vbvDelaySeconds);
        Take(s, "changes", r.sequence.changes);
        Take(j, "fields", r.fields);
        Take(j, "duration_seconds", r.durationSeconds);
        Take(j, "mean_rate", r.meanRate);
        Take(j, "peak_rate", r.peakRate);
        Take(j, "peak_at", r.peakAt);
        Take(j, "longest_gop", r.longestGop);
        Take(j, "longest_gop_index", r.longestGopIndex);
        const json& v = Member(j, "vbv");
        Take(v, "underflows", r.underflows);
        Take(v, "overflows", r.overflows);
        Take(v, "min_fill_bits", r.minBufferFill);
        Take(v, "fill_step_seconds", r.bufferStep);
        Take(v, "fill_bits", r.bufferFill);
        if (auto it = v.find("events"); it != v.end()) {
            for (const json& e : it->get_ref<const json::array_t&>()) {
                VbvEvent ev;
                Take(e, "time", ev.time);
                Take(e, "picture", ev.picture);
                ev.underflow = e.value("kind", std::string()) != "overflow";
                Take(e, "bits", ev.bits);
                r.vbvEvents.push_back(ev);
            }
        }
        const json& p = Member(j, "pulldown");
        Take(p, "checked", r.cadenceChecked);
        Take(p, "repeated_pictures", r.repeatedPictures);
        Take(p, "breaks", r.cadenceBreaks);
        Take(p, "illegal_field_flags", r.illegalFieldFlags);
        Take(p, "break_times", r.cadenceBreakTimes);
        const json& d = Member(j, "dvd_video");
        Take(d, "compliant", r.dvd.compliant);
        Take(d, "system", r.dvd.system);
        Take(d, "reasons", r.dvd.reasons);
        Take(j, "per_second_bits", r.perSecond);
        if (auto it = j.find("gops"); it != j.end()) {
            for (const json& g : it->get_ref<const json::array_t&>()) {
                ReportGop gop;
                gop.firstPicture = g.at(0).get<uint64_t>();
                gop.pictures = g.at(1).get<uint32_t>();
                gop.bytes = g.at(2).get<uint64_t>();
                gop.closed = g.at(3).get<int>() != 0;
                gop.header = g.at(4).get<int>() != 0;
                gop.start = g.at(5).get<double>();
                gop.seconds = g.at(6).get<double>();
                r.gops.push_back(gop);
            }
        }
        if (auto it = j.find("pictures"); it != j.end()) {
            const json::array_t& list = it->get_ref<const json::array_t&>();
            r.pictures.reserve(list.size());
            for (const json& e : list) {
                ReportPicture pic;
                pic.bytes = e.at(0).get<uint32_t>();
                std::string type = e.at(1).get<std::string>();
                static const std::string kLetters = "IPBD";
                size_t at = type.empty() ? std::string::npos : kLetters.find(type[0]);
                pic.type = static_cast<uint8_t>(at == std::string::npos ? 0 : at + 1);
                pic.flags = e.at(2).get<uint8_t>();
                pic.temporalReference = e.at(3).get<uint16_t>();
                pic.fields = e.at(4).get<uint8_t>();
                pic.structure = e.at(5).get<uint8_t>();
                r.pictures.push_back(pic);
            }
        }
    } catch (const json::exception& e) {
        error = std::string("malformed report: ") + e.what();
        return false;
    }
    out = std::move(r);
    return true;
}

std::string ReportSummaryLine(const StreamReport& r) {
    return "Stream: " + FormatClock(r.durationSeconds) + ", mean " + FormatMbits(r.meanRate) +
           ", peak " + FormatMbits(r.peakRate) + ", longest GOP " + std::to_string(r.longestGop) +
           ", DVD-Video: " + (r.dvd.compliant ? "yes" : "no");
}

std::string ReportToText(const StreamReport& r) {
    const ReportSequence& s = r.sequence;
    std::string t;
    auto line = [&t](const std::string& label, const std::string& value) {
        t += label;
        t.append(label.size() < 20 ? 20 - label.size() : 1, ' ');
        t += value + "\n";
    };
    if (!r.readable) {
        line("Stream:",
             "no MPEG video sequence header in " + std::to_string(r.totalBytes) + " bytes");
    } else {
        line("Video:", std::string(s.mpeg2 ? "MPEG-2" : "MPEG-1") + ", " + std::to_string(s.width) +
                           "x" + std::to_string(s.height) + ", " + AspectText(s.aspectCode) + ", " +
                           Fixed(s.frameRate, 3) + " fps" +
                           (s.progressiveSequence ? ", progressive sequence" : ""));
        line("Declared:", FormatMbits(static_cast<double>(s.bitRate)) + ", buffer " +
                              std::to_string(s.vbvBufferBits / 8192) + " KiB" +
                              (s.vbvDelayCoded ? ", constant rate" : ", variable rate"));
        if (s.changes > 0) {
            line("Sequence changes:", std::to_string(s.changes));
        }
    }
    line("Size:", std::to_string(r.totalBytes) + " bytes" + (r.endCode ? "" : ", no end code"));
    line("Duration:", FormatClock(r.durationSeconds) + " (" + Fixed(r.durationSeconds, 3) + " s, " +
                          std::to_string(r.fields) + " fields)");
    uint64_t counts[5] = {};
    for (const ReportPicture& p : r.pictures) {
        ++counts[p.type <= 4 ? p.type : 0];
    }
    line("Pictures:", std::to_string(r.pictures.size()) + " (I " + std::to_string(counts[1]) +
                          ", P " + std::to_string(counts[2]) + ", B " + std::to_string(counts[3]) +
                          ")");
    line("GOPs:",
         std::to_string(r.gops.size()) + ", longest " + std::to_string(r.longestGop) + " pictures");
    line("Mean rate:", FormatMbits(r.meanRate));
    line("Peak rate:", FormatMbits(r.peakRate) + " over 1 s from " + FormatClock(r.peakAt) + " (" +
                           Fixed(r.peakAt, 3) + " s)");
    line("Buffer:", std::to_string(r.underflows) + " underflows, " + std::to_string(r.overflows) +
                        " overflows, lowest fill " +
                        std::to_string(static_cast<long long>(r.minBufferFill / 8)) + " bytes");
    for (const VbvEvent& e : r.vbvEvents) {
        line("", std::string(e.underflow ? "underflow" : "overflow") + " at " + Fixed(e.time, 3) +
                     " s (picture " + std::to_string(e.picture) + "), " + std::to_string(e.bits) +
                     " bits");
    }
    if (r.cadenceChecked) {
        line("Field order:", std::to_string(r.repeatedPictures) + " pictures repeat a field, " +
                                 std::to_string(r.cadenceBreaks) + " breaks");
        for (double at : r.cadenceBreakTimes) {
            line("", "break at " + Fixed(at, 3) + " s");
        }
    }
    line("DVD-Video:", r.dvd.compliant ? "yes (" + r.dvd.system + ")" : "no");
    for (const std::string& reason : r.dvd.reasons) {
        line("", "- " + reason);
    }
    return t;
}

} // namespace pulldown
