// The search for the 00 00 01 start-code prefix that every pass over a stream is made of.
#include "pulldown/start_code_scan.h"

#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pulldown {

namespace {

// Offset of the first 00 00 01 in s[0, len), or len when there is none.
uint64_t FindPrefixScalar(const uint8_t* s, uint64_t i, uint64_t len) {
    // Looks at the third byte of each candidate: above 1 it rules out three starts at once, a
    // zero only this one.
    while (i + 3 <= len) {
        uint8_t c = s[i + 2];
        if (c > 1) {
            i += 3;
        } else if (c == 0) {
            i += 1;
        } else if (s[i] == 0 && s[i + 1] == 0) {
            return i;
        } else {
            i += 3;
        }
    }
    return len;
}

} // namespace

// Compressed data holds many single zero and 0x01 bytes but few zero pairs, so the scan looks
// for pairs of zero bytes 32 bytes at a time and only where there are some checks the byte
// after each pair for 0x01, for all of them at once, so that long runs of zero bytes
// (stuffing) go as fast as the rest.
uint64_t FindStartCodePrefix(const uint8_t* s, uint64_t len) {
    uint64_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    auto mask32 = [](const uint8_t* p, __m128i byte) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, byte))) |
               (static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, byte))) << 16);
    };
    while (i + 34 <= len) {
        uint32_t zeros = mask32(s + i, zero);
        uint32_t pairs = zeros & (zeros >> 1); // bit k: s[i + k] and s[i + k + 1] are zero
        if (pairs != 0) {
            uint32_t starts = pairs & mask32(s + i + 2, one); // and s[i + k + 2] is 1
            if (starts != 0) {
                return i + static_cast<uint64_t>(std::countr_zero(starts));
            }
        }
        i += 31; // a pair starting at byte 31 needs byte 32: look again from there
    }
#endif
    return FindPrefixScalar(s, i, len);
}

} // namespace pulldown
