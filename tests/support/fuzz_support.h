// Helpers of the fuzz targets: a scratch folder for parsers that read files, and a log that
// keeps nothing.
#pragma once

#include "log/log.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz_support {

// A folder of its own below /tmp for the whole run, removed when the fuzzer exits.
inline const std::string& ScratchDir() {
    struct Scratch {
        std::string dir;
        Scratch() {
            char pattern[] = "/tmp/vantaq-fuzz-XXXXXX";
            const char* made = mkdtemp(pattern);
            if (made == nullptr) {
                std::abort();
            }
            dir = made;
        }
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    };
    static const Scratch scratch;
    return scratch.dir;
}

// Writes the input to `name` in the scratch folder and returns its path; aborts when it cannot
// (a fuzzer that cannot write its input tests nothing).
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = ScratchDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size)) {
        std::abort();
    }
    std::fclose(f);
    return path;
}

// Aborts with `what` when `ok` is false: a broken promise of the parser is a finding.
inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// A log list that keeps only the number of its rows.
class NullLogView : public logging::LogView {
public:
    void AppendRow(int, const std::string&) override { ++m_Rows; }
    int RowCount() const override { return m_Rows; }
    void SetTopRow(int) override {}

private:
    int m_Rows = 0;
};

} // namespace fuzz_support
