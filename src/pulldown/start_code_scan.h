// The search for the 00 00 01 start-code prefix that every pass over a stream is made of.
#pragma once

#include <cstdint>

namespace pulldown {

// Offset of the first 00 00 01 in s[0, len), or len when there is none. Reads only s[0, len).
uint64_t FindStartCodePrefix(const uint8_t* s, uint64_t len);

} // namespace pulldown
