// Command-line and options-file settings of harlune-sim.
#pragma once

#include <string>
#include <vector>

namespace HarluneSim {

enum class Misbehaviour { None, Garbage, Hang, Close };

const char* misbehaviourName(Misbehaviour m);
// False when the name is unknown.
bool misbehaviourFromName(const std::string& name, Misbehaviour& out);

struct Options {
    int port = 0;
    std::string key;            // empty: a random key is made at start
    std::string home;           // empty: $HOME
    std::string journalPath;    // empty: journal.jsonl in the run folder
    bool journalOff = false;
    std::string answerFile;
    int readyFd = -1;

    std::string versionText = "5.2.1";
    bool versionEmpty = false;
    int exitStatus = 200;       // 403 or 404 refuse the exit request
    int progressStep = 10;      // percent per activity poll
    long long transferSize = 1000000;
    int slowMs = 0;
    Misbehaviour misbehaviour = Misbehaviour::None;
    std::string misbehavePath;  // only paths with this prefix misbehave
    int misbehaveCount = 0;     // 0: every matching request
    bool noContentLength = false;
    int restartAfter = 0;       // restart on a new port after N answers

    std::string makeBundle;     // folder to create the bundle in
    bool writePathHint = false;
    bool help = false;

    // The run-time options as given, one "--name value" line each, so a
    // bundle can be made that starts with the same settings.
    std::vector<std::string> runtimeLines;
};

// Parses the arguments (without the program name) into `out`, on top of
// what it already holds. False with `err` set on an unknown option or a
// bad value.
bool parseOptions(const std::vector<std::string>& args, Options& out, std::string& err);

// Splits an options file into arguments: one option per line, its value the
// rest of the line (so paths may hold spaces); blank lines and lines starting
// with '#' are skipped. A missing file gives no arguments.
std::vector<std::string> readOptionsFile(const std::string& path);

const char* helpText();

}  // namespace HarluneSim
