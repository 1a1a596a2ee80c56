// Chapter files beside a completed job's streams.
#include "run/chapter_files.h"

#include "chapters/authoring_chapters.h"
#include "log/log.h"
#include "platform/files.h"

namespace run {

namespace {

// The frame rate of an MPEG frame_rate_code (1 to 8) as num/den; false for other codes.
bool RateOfIndex(int index, int& num, int& den) {
    static const int kRates[9][2] = {{0, 1},  {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                     {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};
    if (index < 1 || index > 8) {
        return false;
    }
    num = kRates[index][0];
    den = kRates[index][1];
    return true;
}

} // namespace

void WriteJobChapterFiles(const ecl::EclState& ecl, logging::Log& log) {
    int num = 0;
    int den = 1;
    if (ecl.m_ChapterEntries.empty() || !RateOfIndex(ecl.m_FrameRateIndex, num, den)) {
        return;
    }
    const std::string times = chapters::AuthoringChapterTimes(
        ecl.m_ChapterEntries, ecl.m_EncodeFirst, ecl.m_EncodeLast, num, den);
    if (times.empty()) {
        return;
    }
    for (const std::string& stream : {ecl.m_OutputPath, ecl.m_OutputPath + ".m2v"}) {
        platform::FileFacts facts;
        if (ecl.m_OutputPath.empty() || !platform::RegularFileFacts(stream, facts)) {
            continue;
        }
        std::string error;
        if (chapters::WriteAuthoringChapters(stream, times, error)) {
            log.Write("  Chapters for authoring: " + chapters::AuthoringChaptersPath(stream),
                      logging::kLogInfo);
        } else {
            log.Write("  WARNING: No chapter file for " + stream + ": " + error,
                      logging::kLogWarning);
        }
    }
}

} // namespace run
