// The in-place edit that turns a two-part job's control list from its first part to its second.
#pragma once

#include <string>

namespace ecl {

// Rewrites the file at `eclPath` for the second part: the line "vid_out=0" becomes "vid_out=1",
// and "vmode=0" becomes "vmode=2" for encoder release code 1, "video_type=2" "video_type=4"
// for the others. Only whole lines change, so the same text inside a title or a path stays as
// it is. False when the file is no regular file (never waited on), cannot be read or cannot be
// written back.
bool RewriteEclForPart2(const std::string& eclPath, bool code1);

} // namespace ecl
