// The start-up command line grammar.
#include "app/command_line.h"

#include <gtest/gtest.h>

using app::CommandLineOptions;

namespace {
CommandLineOptions Parse(const std::string& line) {
    CommandLineOptions o;
    o.Parse(line);
    return o;
}
} // namespace

TEST(CommandLine, KeysAreLowerCasedAndOrderDoesNotMatter) {
    auto o = Parse("/opt/vantaq/vantaq -START /Minimize");
    EXPECT_TRUE(o.Has("start"));
    EXPECT_TRUE(o.Has("minimize"));
    // The program path's first "/" opens a key that nothing consults.
    EXPECT_EQ(o.All().size(), 3u);
    EXPECT_TRUE(o.Has("opt/vantaq/vantaq"));
}

TEST(CommandLine, QuotedValuesKeepSpaces) {
    auto quoted = Parse("vantaq -source:\"D:\\my lists\\night.txt\" -start");
    EXPECT_EQ(quoted.Value("source"), "D:\\my lists\\night.txt");
    EXPECT_TRUE(quoted.Has("start"));
    auto bare = Parse("vantaq -source:D:\\my lists\\night.txt");
    EXPECT_EQ(bare.Value("source"), "D:\\my");
    // An unbalanced quote runs to the end of the line.
    auto open = Parse("vantaq -source:\"a b -start");
    EXPECT_EQ(open.Value("source"), "a b -start");
    EXPECT_FALSE(open.Has("start"));
}

TEST(CommandLine, FirstOccurrenceWinsAndEdgeForms) {
    auto o = Parse("vantaq -clear -clear:x -start: -exit");
    EXPECT_TRUE(o.Has("clear"));
    EXPECT_EQ(o.Value("clear"), "");
    EXPECT_TRUE(o.Has("start"));
    EXPECT_EQ(o.Value("start"), "");
    EXPECT_TRUE(o.Has("exit"));
    EXPECT_EQ(Parse("vantaq -source:a -SOURCE:b").Value("source"), "a");
    // Empty keys and a switch at the very end store nothing.
    EXPECT_TRUE(Parse("vantaq - / -").All().empty());
    EXPECT_TRUE(Parse("vantaq -:value").All().empty());
    auto dashed = Parse("C:\\a-b\\vantaq.exe -start");
    EXPECT_TRUE(dashed.Has("b\\vantaq.exe"));
    EXPECT_TRUE(dashed.Has("start"));
}

TEST(CommandLine, ArgumentsOnlyEachValueWhole) {
    CommandLineOptions o;
    o.ParseArguments({"-source:/media/my \"night\" list.txt", "-START", "/minimize:", "plain",
                      "-clear:x -start", "-SOURCE:second", "-exit -deletempv", "-:v"});
    EXPECT_EQ(o.Value("source"), "/media/my \"night\" list.txt");
    EXPECT_TRUE(o.Has("start"));
    EXPECT_TRUE(o.Has("minimize"));
    // The rest of an argument after ":" is its value, blanks included.
    EXPECT_EQ(o.Value("clear"), "x -start");
    // Blanks still part switches given in one argument.
    EXPECT_TRUE(o.Has("exit"));
    EXPECT_TRUE(o.Has("deletempv"));
    EXPECT_EQ(o.All().size(), 6u);
    // One pair of quotes around a whole value is the quoted form.
    CommandLineOptions q;
    q.ParseArguments({"-source:\"/media/my lists/night.txt\""});
    EXPECT_EQ(q.Value("source"), "/media/my lists/night.txt");
}
