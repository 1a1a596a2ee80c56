// libFuzzer target: the stream report and its JSON reader on arbitrary input. The first byte
// says where the stream is cut into two pieces; the report must come out the same as from one
// piece, survive its own JSON, and the raw input read as a report must fail cleanly or parse.
#include "pulldown/report_format.h"
#include "pulldown/stream_report.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "stream report fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    size_t cut = std::min<size_t>(size - 1, data[0] * 97u);
    ++data;
    --size;
    pulldown::StreamReportBuilder whole;
    whole.Feed(data, size);
    pulldown::StreamReport a = whole.Finish();
    pulldown::StreamReportBuilder pieces;
    pieces.Feed(data, cut);
    pieces.Feed(data + cut, size - cut);
    pulldown::StreamReport b = pieces.Finish();
    Check(a.pictures.size() == b.pictures.size() && a.gops.size() == b.gops.size() &&
              a.endCode == b.endCode && a.totalBytes == size,
          "pieces differ");
    uint64_t bytes = 0;
    for (const pulldown::ReportPicture& p : a.pictures) {
        bytes += p.bytes;
    }
    Check(bytes <= a.totalBytes, "pictures hold more than the stream");

    std::string json = pulldown::ReportToJson(a);
    pulldown::StreamReport back;
    std::string error;
    Check(pulldown::ReportFromJson(json, back, error), "own JSON not read back");
    Check(back.pictures.size() == a.pictures.size() && back.dvd.reasons == a.dvd.reasons,
          "JSON round trip differs");
    std::string text(reinterpret_cast<const char*>(data), size);
    pulldown::ReportFromJson(text, back, error);
    pulldown::ReportFromJson(text, back, error, false);
    return 0;
}
