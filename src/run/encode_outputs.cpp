// The check of an encode's outputs.
#include "run/encode_outputs.h"

#include "log/log.h"
#include "platform/files.h"
#include "pulldown/picture_count.h"

#include <algorithm>

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

bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log& log,
                        std::string* problem) {
    return CheckEncodeOutputs(ecl, jobStartTime, &log, problem);
}

bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log* log,
                        std::string* problem) {
    // A stream may be encoded from an analysis made earlier, which is then not written again;
    // the audio file is not among the outputs, as a source without sound gives none.
    bool ok = true;
    auto fail = [&](const std::string& text) {
        if (log != nullptr) {
            log->Write("  ERROR: " + text, logging::kLogError);
        }
        if (ok && problem) {
            *problem = text;
        }
        ok = false;
    };
    auto check = [&](bool asked, const std::string& path, bool fresh, const char* line) {
        platform::FileFacts facts;
        if (asked && !(platform::RegularFileFacts(path, facts) && facts.size > 0 &&
                       (!fresh || facts.modified >= jobStartTime - 1))) {
            fail(Format(line, path));
            return false;
        }
        return asked;
    };
    if (check(ecl.m_VideoOut, ecl.m_OutputPath, true, "The encoder wrote no video stream %s")) {
        const int64_t want = static_cast<int64_t>(ecl.m_EncodeLast) - ecl.m_EncodeFirst;
        const int64_t have = pulldown::CountPictures(ecl.m_OutputPath);
        if (want > 0 && have < want) {
            fail("The stream " + ecl.m_OutputPath + " holds " +
                 std::to_string(std::max<int64_t>(have, 0)) + " of the " + std::to_string(want) +
                 " frames asked for (" + std::to_string(ecl.m_EncodeFirst) + " to " +
                 std::to_string(ecl.m_EncodeLast - 1) + ")");
        }
    }
    check(ecl.m_VafOut, ecl.m_VafPath, !ecl.m_VideoOut, "The encoder wrote no analysis file %s");
    return ok;
}

} // namespace run
