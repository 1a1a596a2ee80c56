// The test copies of the encoder: each carries the FileVersion of one release code (or none),
// reads back as that code, and reports it itself.
#include "encoder_fixture.h"
#include "env/cce_version.h"
#include "env/file_version_info.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kTestBin = VANTAQ_TEST_BIN_DIR;

TEST(EncoderVariants, EachCopyReadsBackAsItsReleaseCode) {
    struct Variant {
        const char* file;
        const char* fileVersion;
        int code;
    };
    const Variant variants[] = {
        {"cce-code1", "2, 50, 1, 0", env::kCce2_50_1_0},
        {"cce-code2", "2, 66, 1, 7", env::kCce2_66_1_7},
        {"cce-code3", "2, 67, 0, 8", env::kCce2_67_0_8},
        {"cce-code4", "2, 67, 0, 9", env::kCce2_67_0_9},
        {"cce-code5", "2, 67, 0, 23", env::kCce2_67_0_23},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.file);
        const std::string path = kTestBin + "/" + v.file;
        env::CFileVersionInfo info;
        ASSERT_TRUE(info.OpenFile(path));
        EXPECT_EQ(info.QueryString("FileVersion"), v.fileVersion);
        EXPECT_EQ(env::CceVersionFromFileVersion(info.QueryString("FileVersion")), v.code);
        // The copy is a working encoder that reads its own resource.
        encoder_test::RunResult r = encoder_test::RunProgram({path, "--version"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, std::string("cce ") + v.fileVersion + "\n");
    }
}

TEST(EncoderVariants, UnversionedCopyHasNoResourceAndIsUnsupported) {
    const std::string path = kTestBin + "/cce-unversioned";
    env::CFileVersionInfo info;
    EXPECT_FALSE(info.OpenFile(path));
    EXPECT_EQ(info.QueryString("FileVersion"), "");
    EXPECT_EQ(env::CceVersionFromFileVersion(info.QueryString("FileVersion")),
              env::kCceUnsupported);
    encoder_test::RunResult r = encoder_test::RunProgram({path, "--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "cce (no version resource)\n");
}

} // namespace
