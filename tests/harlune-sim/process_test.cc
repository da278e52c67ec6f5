// The program as the plug-in meets it: started as a process, found through
// its files, stopped by a signal or by its exit request.
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RunFiles.h"
#include "sim_test_util.h"

using namespace SimTest;

namespace {

struct Child {
    pid_t pid = -1;
    int port = 0;
    std::string output;  // stdout, when captured
};

// Starts `program` with `args` (argv[0] included) and HOME set. When
// `awaitReady`, the program is given --ready-fd 3 through an options file
// and this waits for its port; otherwise stdout is captured until it ends.
Child start(const std::string& program, std::vector<std::string> args, const TempHome& home,
            bool awaitReady) {
    Child child;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], awaitReady ? 3 : 1);

    std::vector<std::string> env = {"HOME=" + home.path()};
    if (awaitReady) {
        const std::string optionsFile = home.path() + "/ready.options";
        std::ofstream(optionsFile) << "--ready-fd 3\n";
        env.push_back("HARLUNE_SIM_OPTIONS=" + optionsFile);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) child.output.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    if (awaitReady) child.port = std::atoi(child.output.c_str());
    return child;
}

int waitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

const std::string kProgram = HARLUNE_SIM_PROGRAM;

}  // namespace

TEST(Process, RunFilesHaveTheirExactFormAndGoAtASignal) {
    for (int sig : {SIGTERM, SIGINT}) {
        TempHome home;
        Child sim = start(kProgram, {kProgram, "--key", "k-1 2"}, home, true);
        ASSERT_GT(sim.port, 0);
        const std::string uri = home.runFolder() + "/http.uri";
        const std::string pid = home.runFolder() + "/process.pid";
        EXPECT_EQ(readFile(uri), "http://127.0.0.1:" + std::to_string(sim.port) + "/\nk-1 2");
        EXPECT_EQ(readFile(pid), std::to_string(sim.pid));
        kill(sim.pid, sig);
        EXPECT_EQ(waitExit(sim.pid), 0);
        EXPECT_FALSE(fileExists(uri));
        EXPECT_FALSE(fileExists(pid));
        // The default journal outlives the run.
        EXPECT_TRUE(fileExists(home.runFolder() + "/journal.jsonl"));
    }
}

TEST(Process, ExitRequestStopsItUnlessRefused) {
    TempHome home;
    Child refusing = start(kProgram, {kProgram, "--exit-refuse", "404"}, home, true);
    ASSERT_GT(refusing.port, 0);
    Exchange no = roundTrip(refusing.port, request("POST", "/v5/harlune/info/exit", "{}"));
    EXPECT_EQ(no.received.compare(0, 22, "HTTP/1.1 404 Not Found"), 0);
    Exchange yes = roundTrip(refusing.port, request("POST", "/_sim/mode", "{\"exit_status\":200}"));
    EXPECT_EQ(yes.received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    Exchange bye = roundTrip(refusing.port, request("POST", "/v5/harlune/info/exit", "{}"));
    EXPECT_EQ(bye.received.compare(0, 15, "HTTP/1.1 200 OK"), 0);
    EXPECT_EQ(waitExit(refusing.pid), 0);
    EXPECT_FALSE(fileExists(home.runFolder() + "/http.uri"));
}

TEST(Process, HelpAndBadOptions) {
    TempHome home;
    Child help = start(kProgram, {kProgram, "--help"}, home, false);
    EXPECT_EQ(waitExit(help.pid), 0);
    EXPECT_EQ(help.output.compare(0, 19, "Usage: harlune-sim "), 0);
    Child bad = start(kProgram, {kProgram, "--no-such-option"}, home, false);
    EXPECT_EQ(waitExit(bad.pid), 2);
    EXPECT_EQ(bad.output, "");
}

TEST(Process, BundleStartsAsTarsenharluneWithItsOwnOptions) {
    TempHome home;
    const std::string apps = home.path() + "/My Apps";
    Child make = start(kProgram, {kProgram, "--make-bundle", apps, "--write-path-hint", "--key",
                                  "bundle-key", "--version-text", "6.0 beta"},
                       home, false);
    ASSERT_EQ(waitExit(make.pid), 0);
    const std::string bundle = apps + "/Tarsen Harlune.app";
    EXPECT_EQ(make.output, bundle + "\n");
    EXPECT_EQ(readFile(bundle + "/Contents/Info"), "identifier=com.tarsen.harlune\nexecutable=tarsenharlune\n");
    EXPECT_EQ(readFile(bundle + "/Contents/Resources/options"), "--key bundle-key\n--version-text 6.0 beta\n");
    EXPECT_EQ(readFile(HarluneSim::dataFolder(home.path()) + "/etc/tarsenharlune.path"), apps + "\n");
    char target[PATH_MAX] = {};
    const std::string program = bundle + "/Contents/MacOS/tarsenharlune";
    ASSERT_GT(readlink(program.c_str(), target, sizeof target - 1), 0);
    char real[PATH_MAX];
    ASSERT_NE(realpath(kProgram.c_str(), real), nullptr);
    EXPECT_STREQ(target, real);

    // Started the way `open` starts it: the program path alone, no arguments.
    Child sim = start(program, {program}, home, true);
    ASSERT_GT(sim.port, 0);
    EXPECT_EQ(readFile("/proc/" + std::to_string(sim.pid) + "/comm"), "tarsenharlune\n");
    EXPECT_EQ(readFile(home.runFolder() + "/http.uri"),
              "http://127.0.0.1:" + std::to_string(sim.port) + "/\nbundle-key");
    Exchange version = roundTrip(sim.port, request("GET", "/v4/harlune/version", "", "bundle-key"));
    EXPECT_EQ(bodyOf(version.received), "6.0 beta");
    kill(sim.pid, SIGTERM);
    EXPECT_EQ(waitExit(sim.pid), 0);
}
