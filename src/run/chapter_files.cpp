// Chapter files beside a completed job's streams.
#include "run/chapter_files.h"

#include "chapters/authoring_chapters.h"
#include "ecl/ecl_writer.h"
#include "log/log.h"
#include "platform/files.h"

namespace run {

void WriteJobChapterFiles(const ecl::EclState& ecl, logging::Log& log) {
    int num = 0;
    int den = 1;
    if (ecl.m_ChapterEntries.empty() || !ecl::FrameRateOfIndex(ecl.m_FrameRateIndex, num, den)) {
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
