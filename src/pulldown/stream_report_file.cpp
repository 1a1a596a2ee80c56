// Writing a finished stream's report beside it and reading it back.
#include "pulldown/stream_report_file.h"

#include "log/log.h"
#include "platform/files.h"
#include "pulldown/report_format.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <unistd.h>

namespace pulldown {

namespace {

// The verdict comes early in a report (members are in name order and the lists come later), so
// this much of the file holds it.
constexpr uint64_t kVerdictHead = 64 * 1024;

bool ReadPrefix(const std::string& path, uint64_t limit, std::string& bytes) {
    platform::ReadOnlyFile file;
    if (!file.Open(path)) {
        return false;
    }
    uint64_t size = std::min(limit, file.Size());
    return file.ReadAt(0, size, bytes);
}

// Collects the top-level "dvd_video" object and stops the parse at its end.
class VerdictSax : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit VerdictSax(DvdVerdict& v) : m_V(v) {}
    bool done = false;

    bool null() override { return Value(); }
    bool boolean(bool b) override {
        if (Inside() && m_Key == "compliant") {
            m_V.compliant = b;
            m_Compliant = true;
        }
        return Value();
    }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t& s) override {
        if (Inside() && m_Key == "system" && m_Depth == 2) {
            m_V.system = s;
        } else if (Inside() && m_Key == "reasons" && m_Depth == 3) {
            m_V.reasons.push_back(s);
        }
        return Value();
    }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override {
        ++m_Depth;
        if (m_Depth == 2 && m_Top == "dvd_video") {
            m_In = true;
        }
        return true;
    }
    bool end_object() override {
        if (m_In && m_Depth == 2) {
            done = m_Compliant;
            return false; // the rest is not needed
        }
        --m_Depth;
        return true;
    }
    bool start_array(std::size_t) override {
        ++m_Depth;
        return true;
    }
    bool end_array() override {
        --m_Depth;
        return true;
    }
    bool key(string_t& k) override {
        if (m_Depth == 1) {
            m_Top = k;
        } else if (m_In && m_Depth == 2) {
            m_Key = k;
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    bool Inside() const { return m_In && m_Depth >= 2; }
    bool Value() const { return true; }
    DvdVerdict& m_V;
    int m_Depth = 0;
    bool m_In = false;
    bool m_Compliant = false;
    std::string m_Top;
    std::string m_Key;
};

} // namespace

std::string ReportPathFor(const std::string& stream) {
    size_t slash = stream.rfind('/');
    size_t dot = stream.rfind('.');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= nameStart) {
        return stream + ".report.json";
    }
    return stream.substr(0, dot) + ".report.json";
}

StreamReportOutcome MakeStreamReportFile(const std::string& stream) {
    StreamReportOutcome out;
    StreamReport report;
    std::string error;
    if (!ReportStreamFile(stream, report, error)) {
        out.line = "  ERROR: no stream report: " + error + ".";
        return out;
    }
    std::string path = ReportPathFor(stream);
    std::string partial = path + ".partial";
    std::string text = ReportToJson(report);
    std::FILE* f = platform::CreateRegularFile(partial);
    bool ok = f != nullptr;
    if (f != nullptr) {
        ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fclose(f) == 0 && ok;
    }
    // Written whole under another name first, so that a reader never sees half a report.
    if (!ok || std::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        out.line = "  ERROR: cannot write the stream report " + path + ".";
        return out;
    }
    out.ok = true;
    out.line = "  " + ReportSummaryLine(report);
    return out;
}

bool WriteStreamReport(const std::string& stream, logging::Log& log) {
    StreamReportOutcome out = MakeStreamReportFile(stream);
    log.Write(out.line, out.ok ? logging::kLogInfo : logging::kLogError);
    return out.ok;
}

bool LoadStreamReport(const std::string& reportPath, StreamReport& report, std::string& error,
                      bool pictures) {
    std::string text;
    if (!ReadPrefix(reportPath, UINT64_MAX, text)) {
        error = "cannot read " + reportPath;
        return false;
    }
    return ReportFromJson(text, report, error, pictures);
}

bool ReadDvdVerdict(const std::string& reportPath, DvdVerdict& verdict) {
    std::string head;
    if (!ReadPrefix(reportPath, kVerdictHead, head)) {
        return false;
    }
    DvdVerdict v;
    VerdictSax sax(v);
    nlohmann::json::sax_parse(head, &sax, nlohmann::json::input_format_t::json, false);
    if (!sax.done) {
        return false;
    }
    verdict = std::move(v);
    return true;
}

} // namespace pulldown
