// Chapter points for DVD authoring: the times of a stream's chapter frames in the form that
// `dvdauthor -c` takes, and the file beside the stream that carries them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace chapters {

// The ending of the chapter file's name, after the stream's own file name.
inline constexpr const char* kAuthoringChaptersSuffix = ".chapters.txt";

// "0:00:00.000,H:MM:SS.mmm,..." for a stream of the source frames `first` to `end` - 1 at
// `rateNum`/`rateDen` frames a second: the stream's start, then the time of each chapter entry
// (a source frame number; blanks and trailing colons allowed, as in a chapter line) that lies
// inside the range, ascending, without repeats. A time is that of the frame's start rounded up
// to the millisecond, so that it never falls before the picture (and its GOP) begins; a
// millisecond is shorter than any frame. Entries that are no number or lie outside the range
// are left out. Empty text when the rate or the range is empty.
std::string AuthoringChapterTimes(const std::vector<std::string>& entries, int64_t first,
                                  int64_t end, int rateNum, int rateDen);

// The chapter file of the stream at `streamPath`: the path with kAuthoringChaptersSuffix.
std::string AuthoringChaptersPath(const std::string& streamPath);

// Writes `times` and a line feed into the chapter file of `streamPath`, replacing it (written
// under a temporary name and renamed, so that a reader never sees half a line). False with a
// readable reason when it cannot be written.
bool WriteAuthoringChapters(const std::string& streamPath, const std::string& times,
                            std::string& error);

} // namespace chapters
