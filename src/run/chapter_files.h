// The chapter files for DVD authoring that a completed job leaves beside its streams.
#pragma once

#include "ecl/ecl_writer.h"

namespace logging {
class Log;
}

namespace run {

// For a job with chapter points (its list carried chapter lines): writes NAME.chapters.txt
// beside each of its streams that exists, the encoder's ".mpv" and the pulldown pass's
// ".mpv.m2v" (NAME is the stream's file name), with the chapter times at the source's frame
// rate: a 2:3 pass repeats fields but keeps every film picture's time, so both files are
// alike. Logs each file written; a file that cannot be written gives a warning and changes
// nothing else (the streams are whole). Does nothing without chapter points or frame rate.
void WriteJobChapterFiles(const ecl::EclState& ecl, logging::Log& log);

} // namespace run
