#include "RunFiles.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace HarluneSim {

std::string dataFolder(const std::string& home) {
    return home + "/Library/Application Support/Tarsen/Tarsen Harlune";
}

std::string runFolder(const std::string& home) {
    return dataFolder(home) + "/var/run";
}

static std::string sysError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool makeFolders(const std::string& path, std::string& err) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            err = sysError("cannot create", part);
            return false;
        }
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& err) {
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    FILE* f = std::fopen(temp.c_str(), "we");
    if (!f) {
        err = sysError("cannot write", temp);
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        err = sysError("cannot write", path);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string uriFileText(int port, const std::string& key) {
    return "http://127.0.0.1:" + std::to_string(port) + "/\n" + key;
}

RunFiles::RunFiles(std::string home) : runFolder_(runFolder(home)) {}

std::string RunFiles::uriPath() const { return runFolder_ + "/http.uri"; }
std::string RunFiles::pidPath() const { return runFolder_ + "/process.pid"; }

bool RunFiles::writeUri(int port, const std::string& key, std::string& err) {
    return makeFolders(runFolder_, err) && writeFileAtomically(uriPath(), uriFileText(port, key), err);
}

bool RunFiles::writePid(std::string& err) {
    return makeFolders(runFolder_, err) &&
           writeFileAtomically(pidPath(), std::to_string(getpid()), err);
}

void RunFiles::remove() {
    std::ifstream in(pidPath());
    std::string pid;
    if (in && std::getline(in, pid) && pid != std::to_string(getpid())) return;
    std::remove(uriPath().c_str());
    std::remove(pidPath().c_str());
}

std::string makeBundle(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& optionLines, std::string& err) {
    const std::string bundle = dir + "/" + kBundleName;
    const std::string contents = bundle + "/Contents";
    if (!makeFolders(contents + "/MacOS", err) || !makeFolders(contents + "/Resources", err))
        return "";
    const std::string info = std::string("identifier=") + kBundleIdentifier +
                             "\nexecutable=" + kExecutableName + "\n";
    std::string options;
    for (const std::string& line : optionLines) options += line + "\n";
    if (!writeFileAtomically(contents + "/Info", info, err) ||
        !writeFileAtomically(contents + "/Resources/options", options, err))
        return "";
    const std::string link = contents + "/MacOS/" + kExecutableName;
    if (unlink(link.c_str()) != 0 && errno != ENOENT) {
        err = sysError("cannot replace", link);
        return "";
    }
    if (symlink(program.c_str(), link.c_str()) != 0) {
        err = sysError("cannot link", link);
        return "";
    }
    return bundle;
}

bool writePathHint(const std::string& home, const std::string& bundleFolder, std::string& err) {
    const std::string etc = dataFolder(home) + "/etc";
    return makeFolders(etc, err) &&
           writeFileAtomically(etc + "/tarsenharlune.path", bundleFolder + "\n", err);
}

std::string ownProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace HarluneSim
