#include "Options.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace HarluneSim;

TEST(Options, ValuesAndFlagsAreParsedAndRuntimeLinesKept) {
    Options o;
    std::string err;
    ASSERT_TRUE(parseOptions({"--port", "8080", "--key", "abc", "--exit-refuse", "404",
                              "--misbehave", "hang", "--version-empty", "--make-bundle", "/x"},
                             o, err))
        << err;
    EXPECT_EQ(o.port, 8080);
    EXPECT_EQ(o.key, "abc");
    EXPECT_EQ(o.exitStatus, 404);
    EXPECT_EQ(o.misbehaviour, Misbehaviour::Hang);
    EXPECT_TRUE(o.versionEmpty);
    EXPECT_EQ(o.makeBundle, "/x");
    // Bundle making itself is not a run-time option.
    EXPECT_EQ(o.runtimeLines, (std::vector<std::string>{"--port 8080", "--key abc",
                                                        "--exit-refuse 404", "--misbehave hang",
                                                        "--version-empty"}));
}

TEST(Options, BadInputIsRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},         {"--port"},          {"--port", "70000"}, {"--port", "12x"},
        {"--exit-refuse", "500"}, {"--misbehave", "explode"}, {"--progress-step", "101"},
        {"--transfer-size", "0"}};
    for (const auto& args : bad) {
        Options o;
        std::string err;
        EXPECT_FALSE(parseOptions(args, o, err)) << args[0];
        EXPECT_FALSE(err.empty());
    }
}

TEST(Options, FileGivesOneOptionPerLineWithValuesKeepingSpaces) {
    char path[] = "/tmp/sim-options-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << "# comment\n\n--journal /tmp/a b/j.jsonl  \n  --version-empty\r\n--port 0\n";
    EXPECT_EQ(readOptionsFile(path), (std::vector<std::string>{"--journal", "/tmp/a b/j.jsonl",
                                                               "--version-empty", "--port", "0"}));
    std::remove(path);
    EXPECT_TRUE(readOptionsFile(path).empty());
}

TEST(Options, HelpNamesEveryOption) {
    const std::string help = helpText();
    for (const char* name : {"--port", "--key", "--home", "--journal", "--no-journal",
                             "--answer-file", "--ready-fd", "--version-text", "--version-empty",
                             "--exit-refuse", "--progress-step", "--transfer-size", "--slow",
                             "--misbehave", "--misbehave-path", "--misbehave-count",
                             "--no-content-length", "--restart-after", "--make-bundle",
                             "--write-path-hint", "--help", "/_sim/mode", "/_sim/restart"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }
}
