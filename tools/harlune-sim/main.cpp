// harlune-sim: a stand-in for the desktop transfer application.
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "Endpoints.h"
#include "Journal.h"
#include "Options.h"
#include "RunFiles.h"
#include "Server.h"
#include "SimState.h"

using namespace HarluneSim;

namespace {

Server* gServer = nullptr;

void onSignal(int) {
    if (gServer) gServer->stop();
}

std::string randomKey() {
    std::random_device rd;
    static const char hex[] = "0123456789abcdef";
    std::string key;
    for (int i = 0; i < 32; ++i) key += hex[rd() % 16];
    return key;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// A bundle started by `open` gets no arguments; its options lie beside the
// program: Contents/MacOS/tarsenharlune -> Contents/Resources/options.
std::vector<std::string> collectArguments(int argc, char** argv) {
    std::vector<std::string> args;
    const std::string self = argv[0];
    if (baseName(self) == kExecutableName && self.find('/') != std::string::npos) {
        args = readOptionsFile(self.substr(0, self.rfind('/')) + "/../Resources/options");
    }
    if (const char* file = std::getenv("HARLUNE_SIM_OPTIONS")) {
        std::vector<std::string> more = readOptionsFile(file);
        args.insert(args.end(), more.begin(), more.end());
    }
    args.insert(args.end(), argv + 1, argv + argc);
    return args;
}

int fail(const std::string& text, int code) {
    std::fprintf(stderr, "harlune-sim: %s\n", text.c_str());
    return code;
}

int makeBundleCommand(const Options& options, const std::string& home) {
    std::string err;
    char resolved[PATH_MAX];
    if (!makeFolders(options.makeBundle, err)) return fail(err, 1);
    if (!realpath(options.makeBundle.c_str(), resolved)) return fail("cannot resolve " + options.makeBundle, 1);
    const std::string program = ownProgramPath();
    if (program.empty()) return fail("cannot find this program's path", 1);
    const std::string bundle = makeBundle(resolved, program, options.runtimeLines, err);
    if (bundle.empty()) return fail(err, 1);
    if (options.writePathHint && !writePathHint(home, resolved, err)) return fail(err, 1);
    std::printf("%s\n", bundle.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string err;
    if (!parseOptions(collectArguments(argc, argv), options, err))
        return fail(err + " (see --help)", 2);
    if (options.help) {
        std::fputs(helpText(), stdout);
        return 0;
    }
    std::string home = options.home;
    if (home.empty() && std::getenv("HOME")) home = std::getenv("HOME");
    if (home.empty()) return fail("no home folder: set HOME or --home", 2);
    if (!options.makeBundle.empty()) return makeBundleCommand(options, home);
    if (options.writePathHint) return fail("--write-path-hint needs --make-bundle", 2);
    if (options.key.empty()) options.key = randomKey();

    Journal journal;
    if (!options.journalOff) {
        std::string path = options.journalPath;
        if (path.empty()) {
            if (!makeFolders(runFolder(home), err)) return fail(err, 1);
            path = runFolder(home) + "/journal.jsonl";
        }
        if (!journal.open(path, err)) return fail(err, 1);
    }

    SimState state(options);
    Endpoints endpoints(state, options.key);
    if (!options.answerFile.empty()) {
        try {
            endpoints.loadAnswers(options.answerFile);
        } catch (const std::runtime_error& e) {
            return fail(e.what(), 2);
        }
    }
    RunFiles runFiles(home);
    Server server(state, endpoints, journal, &runFiles, options.key);

    gServer = &server;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!server.listen(options.port, err)) return fail(err, 1);
    if (options.readyFd >= 0) {
        const std::string ready = std::to_string(server.port()) + "\n";
        ssize_t ignored = write(options.readyFd, ready.data(), ready.size());
        (void)ignored;
        close(options.readyFd);
    }
    server.run();
    gServer = nullptr;
    return 0;
}
