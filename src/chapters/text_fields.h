// Small text helpers of the chapter files and the CCEData job lists: whole-file reads, field
// splitting, trimming, and the `atoi` number reading.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace chapters {

// Reads a number the way the C `atoi` does: leading white space skipped, an optional sign,
// then decimal digits up to the first other character; text without digits reads as 0.
// Unlike `atoi` it never overflows: values beyond the int range saturate at INT_MIN/INT_MAX.
int ReadLeadingInt(std::string_view text);

// The non-empty pieces of `text` between the separators `sep`, in order, as `strtok` gives
// them: runs of separators count as one, leading and trailing ones give no piece.
std::vector<std::string> SplitNonEmpty(std::string_view text, char sep);

// `text` without the characters of `chars` at both ends.
std::string TrimChars(std::string_view text, std::string_view chars);

// Every occurrence of `from` (not empty) replaced by `to`, in one left-to-right pass; the
// replacement text is not scanned again.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// `text` without any CR or LF.
std::string WithoutLineBreaks(std::string_view text);

// Reads the whole regular file at `path` into `bytes`. False when it is not a regular file,
// cannot be read, or holds more than `limit` bytes.
bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes);

} // namespace chapters
