// The check of an encode's outputs.
#include "run/encode_outputs.h"

#include "log/log.h"
#include "platform/files.h"

namespace run {

namespace {

std::string Format(const char* format, const std::string& text) {
    std::string out(format);
    size_t at = out.find("%s");
    if (at != std::string::npos) {
        out.replace(at, 2, text);
    }
    return out;
}

} // namespace

bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log& log) {
    return CheckEncodeOutputs(ecl, jobStartTime, &log);
}

bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log* log) {
    // A stream may be encoded from an analysis made earlier, which is then not written again;
    // the audio file is not among the outputs, as a source without sound gives none.
    bool ok = true;
    auto check = [&](bool asked, const std::string& path, bool fresh, const char* line) {
        platform::FileFacts facts;
        if (asked && !(platform::RegularFileFacts(path, facts) && facts.size > 0 &&
                       (!fresh || facts.modified >= jobStartTime - 1))) {
            if (log != nullptr) {
                log->Write(Format(line, path), logging::kLogError);
            }
            ok = false;
        }
    };
    check(ecl.m_VideoOut, ecl.m_OutputPath, true, "  ERROR: The encoder wrote no video stream %s");
    check(ecl.m_VafOut, ecl.m_VafPath, !ecl.m_VideoOut,
          "  ERROR: The encoder wrote no analysis file %s");
    return ok;
}

} // namespace run
