// The encoder control list (ECL) of one job: the job, its template, the settings, the source's
// facts and the encoder release merged into one fixed sequence of key=value lines.
#pragma once

#include "env/settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace store {
class KeyStore;
}

namespace ecl {

// What the writer needs to know of the source video.
struct SourceFacts {
    bool opened = false;
    int width = 0;
    int height = 0;
    uint32_t rate = 0;
    uint32_t scale = 0;
    int frames = 0;
    // The display aspect, 0:0 where the file gives none (square pixels).
    int darNum = 0;
    int darDen = 0;
};

// Opens the source at a path and reports its facts.
using SourceInspector = std::function<SourceFacts(const std::string& path)>;

// What the run keeps for its later steps.
struct EclState {
    std::string m_SourcePath;
    std::string m_OutputPath; // the ".mpv" stream
    int m_SourceFrames = 0;
    // The outputs the job's last encode asks for: the stream (always for the two-part method,
    // whose second part writes it), and the analysis file when "Vaf out" is set.
    bool m_VideoOut = true;
    bool m_VafOut = false;
    std::string m_VafPath;
    // The range the list asks for (encode_first, encode_last: one past the last frame), the
    // source's MPEG frame rate code (0 when it has none) and the chapter entries written as
    // chapter lines (every entry after the first), for the checks and files after the encode.
    int m_EncodeFirst = 0;
    int m_EncodeLast = 0;
    int m_FrameRateIndex = 0;
    std::vector<std::string> m_ChapterEntries;
    // No list was written because the source could not be read.
    bool m_SourceUnreadable = false;
};

// The ECL path of a source: the path up to the last "." of its file name, plus ".ecl"
// (appended when the file name has no "."); with `number` n >= 2 (jobs::kEclNumber), plus
// ".<n>.ecl".
std::string EclPathFor(const std::string& input, int number = 0);

// `path` with the extension of its file name replaced by `extension` (appended when none).
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// The MPEG-2 frame rate code of a rate in thousandths, 0 when it has none.
int FrameRateIndex(int thousandths);
// The frame rate of an MPEG-2 frame rate code (1 to 8) as num/den; false for other codes.
bool FrameRateOfIndex(int index, int& num, int& den);

// The facts of a source as the source inspection reads them (AVI files, scripts through the
// frame server in `programDir`/system, other video files through libavformat); `opened` is
// false when it cannot be read.
SourceFacts ReadSourceFacts(const std::string& path, const std::string& programDir);

// The outputs' common path for the source `input` (a full path), whose extension each output
// replaces: in the source's folder, or in the settings' output folder when one is set as a
// full path. The stream is this with ".mpv". With `number` n >= 2 (jobs::kOutputNumber) the
// outputs are named "<stem>.<n>".
std::string OutputBase(const env::Settings& settings, const std::string& input, int number = 0);

// The job's ECL path and its outputs' base as above, with the job's own numbers; empty when
// its source is no full path.
std::string JobEclPath(store::KeyStore& store, int job);
std::string JobOutputBase(store::KeyStore& store, const env::Settings& settings, int job);

// Writes the ECL file of job `job` and returns its path, or empty text when none was written
// (encoder code 0 or 99, no job store, a source that is no full path or that `inspect` cannot
// open (then `state.m_SourceUnreadable`), or a file that cannot be created or is no regular
// file). Text values are read whole and written as stored except that
// line breaks become blanks, so no value can add a line. An output folder that is no full path
// counts as none (outputs go beside the source).
std::string WriteEcl(store::KeyStore& store, int job, int cceVersion, const env::Settings& settings,
                     const SourceInspector& inspect, EclState& state);

} // namespace ecl
