// The disc's pure parts: job lists, the size check and its suggested rate, the dvdauthor XML.
#include "author/disc_capacity.h"
#include "author/disc_plan.h"
#include "author/dvdauthor_xml.h"

#include <gtest/gtest.h>

namespace {

TEST(DiscJobList, PositionsAndRangesFromOneOrRefused) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<int> positions;
    };
    const Case cases[] = {
        {"1", true, {0}},           {"3,1", true, {2, 0}}, {"2-4", true, {1, 2, 3}},
        {"1,3-4", true, {0, 2, 3}}, {"0", false, {}},      {"6", false, {}},
        {"4-2", false, {}},         {"1,", false, {}},     {"a", false, {}},
        {"-3", false, {}},          {"", false, {}},       {"2-", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<int> positions;
        std::string error;
        EXPECT_EQ(author::ParseJobList(c.text, 5, positions, error), c.ok) << c.text;
        EXPECT_EQ(positions, c.positions) << c.text;
        EXPECT_EQ(error.empty(), c.ok) << c.text;
    }
}

TEST(DiscCapacity, OverTheDiscGivesTheSizeAndARateThatFits) {
    // Two hours of stereo AC-3 beside 4 GB of video fit one layer, beside 7 GB only two.
    const double seconds = 7200;
    const uint64_t audio = author::AudioBytes(seconds, 192);
    EXPECT_EQ(audio, 172800000u);
    EXPECT_EQ(author::CapacityProblem(4000000000ULL, audio, seconds, false), "");
    const std::string full = author::CapacityProblem(7000000000ULL, audio, seconds, false);
    EXPECT_NE(full.find("do not fit a single-layer disc ( 4.38 GB)"), std::string::npos) << full;
    EXPECT_EQ(author::CapacityProblem(7000000000ULL, audio, seconds, true), "");

    // The suggested rate fills the disc: at it the streams fit, one kbit/s more they do not.
    const int kbps = author::FittingAverageKbps(author::kSingleLayerBytes, audio, seconds);
    EXPECT_NE(full.find("an average video rate of " + std::to_string(kbps) + " kbit/s"),
              std::string::npos)
        << full;
    auto videoBytes = [&](int rate) {
        return static_cast<uint64_t>(rate * 0.97893173828125 * seconds * 125.0);
    };
    EXPECT_EQ(author::CapacityProblem(videoBytes(kbps), audio, seconds, false), "");
    EXPECT_NE(author::CapacityProblem(videoBytes(kbps + 1), audio, seconds, false), "");
    // Audio alone over the disc: no rate fits.
    EXPECT_EQ(author::FittingAverageKbps(author::kSingleLayerBytes, 5000000000ULL, seconds), 0);
}

TEST(DvdAuthorXml, TitlesInOrderWithChaptersAndEscapedPaths) {
    const std::string xml = author::DvdAuthorXml(
        "/d/A&B", "pal", {{"/w/t1 <x>.mpg", ""}, {"/w/t2.mpg", "0:00:00.000,0:00:01.000"}});
    EXPECT_NE(xml.find("dest=\"/d/A&amp;B\""), std::string::npos) << xml;
    const size_t one = xml.find("<vob file=\"/w/t1 &lt;x&gt;.mpg\"/>");
    const size_t two = xml.find("<vob file=\"/w/t2.mpg\" chapters=\"0:00:00.000,0:00:01.000\"/>");
    ASSERT_NE(one, std::string::npos) << xml;
    ASSERT_NE(two, std::string::npos) << xml;
    EXPECT_LT(one, two);
    EXPECT_NE(xml.find("if (g0 eq 2) jump title 2;"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("ntsc"), std::string::npos) << xml;
    EXPECT_EQ(author::XmlEscape("'\""), "&apos;&quot;");
}

TEST(DvdAuthorXml, TheMenuStartsTheDiscAndItsButtonsMoveInACircle) {
    const std::vector<author::MenuButton> buttons = author::MenuButtons(12, 720, 576);
    ASSERT_EQ(buttons.size(), 12u);
    for (size_t i = 0; i < buttons.size(); ++i) {
        const author::MenuButton& b = buttons[i];
        EXPECT_TRUE(b.x0 % 2 == 0 && b.y0 % 2 == 0 && b.x1 % 2 == 0 && b.y1 % 2 == 0) << i;
        EXPECT_LT(b.y0, b.y1) << i;
        EXPECT_LE(b.y1, 576) << i;
        if (i > 0) {
            EXPECT_GE(b.y0, buttons[i - 1].y1) << i;
        }
    }
    const std::string spu = author::SpumuxXml("/w/hl.png", author::MenuButtons(3, 720, 480));
    EXPECT_NE(spu.find("name=\"b1\" x0=\"72\""), std::string::npos) << spu;
    EXPECT_NE(spu.find("up=\"b3\" down=\"b2\""), std::string::npos) << spu;
    EXPECT_NE(spu.find("up=\"b2\" down=\"b1\""), std::string::npos) << spu;

    const std::string xml = author::DvdAuthorMenuXml("/d", "ntsc", "/w/menu.mpg",
                                                     {{"/w/t1.mpg", ""}, {"/w/t2.mpg", ""}});
    EXPECT_NE(xml.find("<fpc>jump menu 1;</fpc>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<vob file=\"/w/menu.mpg\" pause=\"inf\"/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<button name=\"b2\">jump title 2;</button>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("<button name=\"b3\""), std::string::npos) << xml;
}

} // namespace
