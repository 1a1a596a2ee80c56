// The number of pictures in an MPEG video stream, counted before a pass so that its progress
// has a known end.
#pragma once

#include <cstdint>
#include <string>

namespace pulldown {

// Counts the picture start codes (00 00 01 00) of the regular file at `path`. Returns -1 when
// the file cannot be read (missing, not a regular file, read error).
int64_t CountPictures(const std::string& path);

} // namespace pulldown
