// vantaq-probe: reports on an MPEG video elementary stream and judges it for DVD-Video.
#include "pulldown/report_format.h"
#include "pulldown/stream_report.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kCompliant = 0;
constexpr int kNotCompliant = 1;
constexpr int kUnreadable = 2;
constexpr int kUsageError = 64;

const char kHelp[] =
    "Usage: vantaq-probe [--json] FILE\n"
    "\n"
    "Reads the MPEG-2 (or MPEG-1) video elementary stream FILE without decoding it and\n"
    "prints its report: sequence, duration counting repeated fields, mean rate, peak rate\n"
    "over any one second, the buffer (VBV) model at the declared rate with every underflow\n"
    "and overflow, GOP lengths, the 2:3 field cadence, and whether it is fit for DVD-Video\n"
    "with the reason for every rule it breaks.\n"
    "\n"
    "  --json      print the report as JSON, with every picture's size, type and flags\n"
    "  -h, --help  show this text\n"
    "\n"
    "Exit status: 0 DVD-Video compliant, 1 not compliant, 2 FILE cannot be read, is no\n"
    "regular file or is no MPEG-1/2 video elementary stream, 64 bad command line.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "vantaq-probe: %s\nTry 'vantaq-probe --help'.\n", message.c_str());
    return kUsageError;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    bool json = false;
    std::vector<std::string> paths;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            paths.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (paths.size() != 1) {
        return Usage(paths.empty() ? "missing FILE" : "too many file names");
    }
    pulldown::StreamReport report;
    std::string error;
    if (!pulldown::ReportStreamFile(paths[0], report, error)) {
        std::fprintf(stderr, "vantaq-probe: %s\n", error.c_str());
        return kUnreadable;
    }
    std::string out = json ? pulldown::ReportToJson(report) : pulldown::ReportToText(report);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    if (!report.readable) {
        std::fprintf(stderr, "vantaq-probe: %s is not an MPEG-1/2 video elementary stream\n",
                     paths[0].c_str());
        return kUnreadable;
    }
    return report.dvd.compliant ? kCompliant : kNotCompliant;
}
