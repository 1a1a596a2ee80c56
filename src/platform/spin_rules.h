// The rules that tie a spin to its buddy field, shared by every Dialog implementation.
#pragma once

#include <string_view>

namespace platform {

// Reads `text` as the spin's new position: optional blanks, an optional sign, decimal digits,
// optional blanks, and nothing else, with a value inside the range [min(low, high), max(low,
// high)]. False otherwise (the spin then keeps its position).
bool SpinPosFromText(std::string_view text, int low, int high, int& pos);

// The position a spin takes when set to `requested`: its low 16 bits as a signed number,
// clamped into the range.
int SpinPosFromRequest(int requested, int low, int high);

} // namespace platform
