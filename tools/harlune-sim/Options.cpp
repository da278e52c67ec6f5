#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace HarluneSim {

const char* misbehaviourName(Misbehaviour m) {
    switch (m) {
    case Misbehaviour::Garbage: return "garbage";
    case Misbehaviour::Hang: return "hang";
    case Misbehaviour::Close: return "close";
    case Misbehaviour::None: break;
    }
    return "none";
}

bool misbehaviourFromName(const std::string& name, Misbehaviour& out) {
    for (Misbehaviour m : {Misbehaviour::None, Misbehaviour::Garbage, Misbehaviour::Hang,
                           Misbehaviour::Close}) {
        if (name == misbehaviourName(m)) {
            out = m;
            return true;
        }
    }
    return false;
}

namespace {

bool toInt(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

using Apply = std::function<bool(Options&, const std::string&)>;

Apply intField(int Options::*field, long long lo, long long hi) {
    return [=](Options& o, const std::string& v) {
        long long n;
        if (!toInt(v, lo, hi, n)) return false;
        o.*field = static_cast<int>(n);
        return true;
    };
}

Apply textField(std::string Options::*field) {
    return [=](Options& o, const std::string& v) {
        o.*field = v;
        return true;
    };
}

Apply flag(bool Options::*field) {
    return [=](Options& o, const std::string&) {
        o.*field = true;
        return true;
    };
}

struct OptionSpec {
    const char* name;
    bool takesValue;
    bool runtime;  // carried into a bundle's options file
    Apply apply;
};

const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table = {
        {"--port", true, true, intField(&Options::port, 0, 65535)},
        {"--key", true, true, textField(&Options::key)},
        {"--home", true, true, textField(&Options::home)},
        {"--journal", true, true, textField(&Options::journalPath)},
        {"--no-journal", false, true, flag(&Options::journalOff)},
        {"--answer-file", true, true, textField(&Options::answerFile)},
        {"--ready-fd", true, false, intField(&Options::readyFd, 0, 1 << 20)},
        {"--version-text", true, true, textField(&Options::versionText)},
        {"--version-empty", false, true, flag(&Options::versionEmpty)},
        {"--exit-refuse", true, true,
         [](Options& o, const std::string& v) {
             if (v != "403" && v != "404") return false;
             o.exitStatus = std::atoi(v.c_str());
             return true;
         }},
        {"--progress-step", true, true, intField(&Options::progressStep, 0, 100)},
        {"--transfer-size", true, true,
         [](Options& o, const std::string& v) {
             return toInt(v, 1, 1LL << 50, o.transferSize);
         }},
        {"--slow", true, true, intField(&Options::slowMs, 0, 3600000)},
        {"--misbehave", true, true,
         [](Options& o, const std::string& v) { return misbehaviourFromName(v, o.misbehaviour); }},
        {"--misbehave-path", true, true, textField(&Options::misbehavePath)},
        {"--misbehave-count", true, true, intField(&Options::misbehaveCount, 0, 1 << 30)},
        {"--no-content-length", false, true, flag(&Options::noContentLength)},
        {"--restart-after", true, true, intField(&Options::restartAfter, 0, 1 << 30)},
        {"--make-bundle", true, false, textField(&Options::makeBundle)},
        {"--write-path-hint", false, false, flag(&Options::writePathHint)},
        {"--help", false, false, flag(&Options::help)},
        {"-h", false, false, flag(&Options::help)},
    };
    return table;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& args, Options& out, std::string& err) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : optionTable()) {
            if (name == s.name) spec = &s;
        }
        if (!spec) {
            err = "unknown option: " + name;
            return false;
        }
        std::string value;
        if (spec->takesValue) {
            if (i + 1 >= args.size()) {
                err = "option needs a value: " + name;
                return false;
            }
            value = args[++i];
        }
        if (!spec->apply(out, value)) {
            err = "bad value for " + name + ": " + value;
            return false;
        }
        if (spec->runtime) out.runtimeLines.push_back(spec->takesValue ? name + " " + value : name);
    }
    return true;
}

std::vector<std::string> readOptionsFile(const std::string& path) {
    std::vector<std::string> args;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t nameEnd = line.find_first_of(" \t", start);
        args.push_back(line.substr(start, nameEnd - start));
        if (nameEnd == std::string::npos) continue;
        size_t valueStart = line.find_first_not_of(" \t", nameEnd);
        if (valueStart != std::string::npos) args.push_back(line.substr(valueStart));
    }
    return args;
}

const char* helpText() {
    return R"(Usage: harlune-sim [OPTION]...
A stand-in for the desktop transfer application: an HTTP/1.1 server on
127.0.0.1 that writes its URL and access key to
  $HOME/Library/Application Support/Tarsen/Tarsen Harlune/var/run/http.uri
and its pid to process.pid beside it, and removes both on a clean exit
(SIGTERM, SIGINT or the exit request).

Options are read, in this order, from Contents/Resources/options of the
bundle the program was started from, from the file named by the environment
variable HARLUNE_SIM_OPTIONS, and from the command line (later wins). An
options file holds one option per line: the name, a space, the value.

Server:
  --port N              listen on port N (default 0: an ephemeral port)
  --key KEY             the access key (default: a random one)
  --home DIR            use DIR instead of $HOME for the data folder
  --journal FILE        write one JSON line per request received
                        (default: journal.jsonl in the run folder)
  --no-journal          write no journal
  --answer-file FILE    JSON object mapping "METHOD PATH" to
                        {"status": N, "body": TEXT-OR-JSON, "content_type": T};
                        a match replaces the normal answer (after the key and
                        content-type checks; its method becomes one the path
                        takes)
  --ready-fd FD         write the port and a line feed to FD once listening,
                        then close it

Answers:
  --version-text TEXT   body of GET /v4/harlune/version (default 5.2.1)
  --version-empty       answer the version request with an empty body
  --exit-refuse 403|404 refuse POST /v5/harlune/info/exit with that status
  --progress-step PCT   percent of each transfer done per activity poll
                        (default 10; 0 keeps transfers still)
  --transfer-size BYTES size given to every transfer (default 1000000)
  --no-content-length   answer without Content-Length; the closed
                        connection ends the body

Endpoints (KEY: the Authorization-key header must hold the key, else 401;
another method gets 405 with Allow, another content type 415; XML is
application/vnd.tarsen.xferreq+xml, JSON application/json or
application/vnd.tarsen.xferreq+json, parameters and letter case aside):
  GET  /v5/harlune/info/ping            no key, any type: {"status":"running"}
  GET  /v4/harlune/version              KEY, JSON: the version text
  POST /transfers/                      KEY, XML: one xferreq document and
        nothing else (no DOCTYPE, no processing instruction, no trailing
        content; only src and dest children holding text, one dest at most),
        else 400; a file URL (host empty or localhost) is kept as the path it
        names up to any '?' or '#', percent escapes decoded, blanks at its
        ends and tabs or line breaks in it dropped; one that names no such
        path, or holds a backslash, a "." or ".." segment, an encoded NUL or
        a bad escape gets 400; the journal keeps the bytes as received
  GET  /windows/NAME/ARG                KEY, XML: NAME about, transfer-manager
                                        or preferences, else 404
  POST /v5/harlune/transfers/activity   KEY, JSON object: the transfers
                                        changed since its iteration_token
  POST /v5/harlune/info/exit            KEY, JSON or no type: exits
  DELETE, GET, PATCH, POST, PUT on any other path: KEY, JSON: echoes the
                        method, target, content type and body
A request with two Authorization-key or Content-Type headers gets 400.

Misbehaviour (also switchable at run time, see below):
  --slow MS             wait MS milliseconds before every answer
  --misbehave MODE      none, garbage (answer bytes that are not HTTP),
                        hang (read the request, never answer until the mode
                        changes or the server stops), close (close the
                        connection without answering)
  --misbehave-path P    misbehave only for paths starting with P
  --misbehave-count N   misbehave for the next N matching requests only
  --restart-after N     after N answers, move to a new ephemeral port and
                        rewrite http.uri

Application bundle:
  --make-bundle DIR     create DIR/Tarsen Harlune.app whose program
                        Contents/MacOS/tarsenharlune is a symbolic link to this
                        program; the other run-time options given go to its
                        Contents/Resources/options, then exit
  --write-path-hint     with --make-bundle: write DIR as the first line of
                        $HOME/Library/Application Support/Tarsen/Tarsen Harlune/
                        etc/tarsenharlune.path
  -h, --help            show this text and exit

Control endpoints (no key needed; never misbehave):
  POST /_sim/mode       JSON with any of "exit_status", "misbehave",
                        "misbehave_path", "misbehave_count", "slow_ms",
                        "progress_step", "version_text", "version_empty",
                        "no_content_length", "restart_after"; answers the mode
  POST /_sim/restart    move to a new ephemeral port now; answers {"port": N}
  GET /_sim/state       transfers, windows, request count and mode as JSON
)";
}

}  // namespace HarluneSim
