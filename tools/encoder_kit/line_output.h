// Writes whole lines to the standard streams of the runner and the encoder. A stream whose
// reader has gone (the window that started the encode has closed) fails with EPIPE; from then
// on its lines are dropped and the work goes on.
#pragma once

#include <string>

namespace enc {

// Writes `line` and a line feed to `fd` (1 or 2), retrying partial and interrupted writes.
// Returns false, now and for every later line to `fd`, once the stream is broken.
bool WriteLine(int fd, const std::string& line);

// Shorthands for WriteLine on stdout and stderr.
bool Say(const std::string& line);
bool SayError(const std::string& line);

} // namespace enc
