// libFuzzer target: the registry editor file import. Any bytes are refused or imported whole,
// alike when read a few bytes at a time (pieces cut through units, pairs and lines); what was
// imported exports to a file that imports to the same export again.
#include "store/reg_file.h"
#include "support/fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

std::string ExportAll(store::KeyStore& store) {
    std::string out, error;
    // An empty store has no keys to export: its export is empty text.
    if (!store::ExportRegFile(store, "", out, error)) {
        return std::string();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    store::KeyStore first;
    fuzz_support::Check(first.Open(":memory:"), "a store in memory opens");
    std::string error;
    if (!store::ImportRegFile(first, bytes, error)) {
        fuzz_support::Check(!error.empty(), "a refused file has a reason");
        return 0;
    }
    std::string exported = ExportAll(first);

    // The same bytes in pieces of 1 to 7 bytes, the size taken from the input.
    size_t piece = size > 0 ? data[0] % 7 + 1 : 1;
    size_t at = 0;
    store::RegSource read = [&](char* to, size_t most) {
        size_t n = std::min({most, piece, bytes.size() - at});
        std::memcpy(to, bytes.data() + at, n);
        at += n;
        return static_cast<long>(n);
    };
    store::KeyStore pieces;
    fuzz_support::Check(pieces.Open(":memory:"), "a store in memory opens");
    fuzz_support::Check(store::ImportRegFile(pieces, read, error), "pieces import as the whole");
    fuzz_support::Check(ExportAll(pieces) == exported, "pieces give the whole's store");
    if (exported.empty()) {
        return 0;
    }
    store::KeyStore second;
    fuzz_support::Check(second.Open(":memory:"), "a store in memory opens");
    fuzz_support::Check(store::ImportRegFile(second, exported, error), "an export imports");
    fuzz_support::Check(ExportAll(second) == exported, "an export survives import and export");
    return 0;
}
