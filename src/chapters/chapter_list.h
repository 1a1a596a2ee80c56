// Chapter lists: finding a chapter information file beside a source, reading it into a list
// with the NTSC-to-film conversion, and the job editor's chapter steps (source import, Browse).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace logging {
class Log;
}
namespace platform {
class Dialog;
}

namespace chapters {

// The ending of a chapter information file's name, after the source's adjusted base name.
inline constexpr const char* kChapterInfoSuffix = " - Chapter Information - CCE.txt";

// The longest chapter list a job can keep: the job store and the control-list writer read
// "Chapters" into 1024 bytes, terminator included.
inline constexpr size_t kMaxChapterListLength = 1023;

// Chapter information files larger than this are refused (a real one holds a few hundred
// lines of "label=frame").
inline constexpr size_t kMaxChapterFileSize = 1 << 20;

// The film frame (23.976 fps) of NTSC video frame `frame` (29.97 fps): frame x 0.8, truncated
// toward zero. 2544 -> 2035, 1 -> 0.
int NtscToFilmFrame(int frame);

// The chapter information file that belongs to `sourcePath`, or empty text when none exists.
// Double quotes in the path are ignored. The file is looked for in the source's folder under
// the name made from the source's file name: "__" becomes "_", the part before the first "."
// is kept (the whole name when it has none or starts with one), "_P" becomes "_PGC_", every
// capital "A" becomes "_ANGLE_", and kChapterInfoSuffix is appended. Only a regular file
// counts.
std::string FindChapterInfoFile(const std::string& sourcePath);

// The chapter list of the file at `path`: the value after "=" of each line (lines split at
// LF; runs of LF give no empty line), trimmed of ";", ":", CR and LF at both ends, joined with
// "," in file order. Lines whose value reads negative are left out; a line without a value
// gives an empty entry. With `convertToFilm` every kept value is replaced by its film frame.
// Returns empty text (no log line) when the file does not exist. Logs "Chapter file lines: %i"
// (debug). A file that cannot be read or is larger than kMaxChapterFileSize gives an empty
// list and an error line. CR or LF never remains inside an entry, and a list longer than
// kMaxChapterListLength is cut after its last whole entry that fits, with a warning line.
std::string ReadChapterList(const std::string& path, bool convertToFilm, logging::Log& log);

// Cuts `list` after the last whole entry that keeps it within kMaxChapterListLength
// characters. True when it had to cut.
bool FitChapterList(std::string& list);

// The file name of `path`: the text after its last "/".
std::string FileNameOf(const std::string& path);

// The job editor's steps.

// The open-file dialog's filter for chapter files (also valid as a Qt name filter).
inline constexpr const char* kChapterFileFilter = "CCE Chapter List (*.txt)";
// The most characters of control 1040 offered as the dialog's initial file name.
inline constexpr size_t kBrowseInitialNameMax = 260;

// Runs an open-file dialog with `filter` and `initialName` (read-only box hidden). Returns true
// with `chosen` set when the user pressed OK, false on Cancel.
using OpenFileChooser = std::function<bool(const std::string& filter,
                                           const std::string& initialName, std::string& chosen)>;

// "Chapter list imported from file <name> (Converted NTSC->Film|No conversion)!!", level 0,
// with the file name of `chapterPath`.
void LogChapterImport(logging::Log& log, const std::string& chapterPath, bool converted);

// The chapter steps of loading a source into the job editor (FillNewJob and the CCEData
// import call it after the File Info fields are filled):
// "Convert Chapters to Film" (1057) is enabled and ticked when the Frame Rate field (1036)
// reads exactly "23.976", else disabled and cleared; the chapter information file beside
// `sourcePath` is looked for; when found, control 1040 gets its path, control 1078 its chapter
// list (converted when 1057 is ticked) and the import is logged; otherwise "No chapter file
// found!" is logged and 1040/1078 keep their text. The Browse button (1041) is enabled.
void ImportChaptersForSource(platform::Dialog& dialog, const std::string& sourcePath,
                             logging::Log& log);

// Handler of the Browse button (1041): offers the open-file dialog through `chooseFile`
// starting at the text of 1040 (cut to kBrowseInitialNameMax characters). On OK, control 1078
// := the chosen file's chapter list (converted when 1057 is ticked) and the import is logged,
// even when the file turned out to be missing; control 1040 keeps its text. Cancel changes
// nothing.
void OnBrowseChapters(platform::Dialog& dialog, logging::Log& log,
                      const OpenFileChooser& chooseFile);

} // namespace chapters
