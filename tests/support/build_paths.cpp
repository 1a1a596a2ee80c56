// The folders of this build and checkout, and whether the tests run under CI.
#include "support/test_support.h"

#include <cstdlib>
#include <cstring>

namespace testing_support {

// The BUILD_* macros come from this file's compile line alone (tests/CMakeLists.txt).
const char* ProgramDir() {
    return VANTAQ_BUILD_PROGRAM_DIR;
}
const char* TestBinDir() {
    return VANTAQ_BUILD_TEST_BIN_DIR;
}
const char* SourceDir() {
    return VANTAQ_BUILD_SOURCE_DIR;
}

bool UnderCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

} // namespace testing_support
