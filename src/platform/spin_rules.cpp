// Spin and buddy rules: which texts move a spin, and how a requested position is cut.
#include "platform/spin_rules.h"

#include <algorithm>
#include <cstdint>

namespace platform {

bool SpinPosFromText(std::string_view text, int low, int high, int& pos) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    size_t digits = 0;
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < (int64_t{1} << 40)) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
        ++digits;
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (digits == 0 || i != text.size()) {
        return false;
    }
    if (negative) {
        value = -value;
    }
    if (value < std::min(low, high) || value > std::max(low, high)) {
        return false;
    }
    pos = static_cast<int>(value);
    return true;
}

int SpinPosFromRequest(int requested, int low, int high) {
    int v = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(requested) & 0xFFFF));
    return std::clamp(v, std::min(low, high), std::max(low, high));
}

} // namespace platform
