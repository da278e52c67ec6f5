// Files the application leaves for the plug-in: its URL and key, its pid,
// the application bundle and the hint that says where the bundle lies.
#pragma once

#include <string>
#include <vector>

namespace HarluneSim {

constexpr const char* kBundleName = "Tarsen Harlune.app";
constexpr const char* kBundleIdentifier = "com.tarsen.harlune";
constexpr const char* kExecutableName = "tarsenharlune";

// HOME + "/Library/Application Support/Tarsen/Tarsen Harlune".
std::string dataFolder(const std::string& home);
std::string runFolder(const std::string& home);  // dataFolder + "/var/run"

// mkdir -p; false with `err` set on failure.
bool makeFolders(const std::string& path, std::string& err);

// Writes `content` to a temporary file beside `path` and renames it over
// `path`, so a reader never sees half a file.
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& err);

// "http://127.0.0.1:PORT/", a line feed, the key; no line feed after it.
std::string uriFileText(int port, const std::string& key);

class RunFiles {
public:
    explicit RunFiles(std::string home);

    bool writeUri(int port, const std::string& key, std::string& err);
    bool writePid(std::string& err);
    // Removes both files, but leaves a pid file that names another process
    // (a newer instance took over).
    void remove();

    std::string uriPath() const;
    std::string pidPath() const;

private:
    std::string runFolder_;
};

// Creates DIR/Tarsen Harlune.app with Contents/Info, Contents/MacOS/tarsenharlune
// as a symbolic link to `program` (so the process is named tarsenharlune) and
// Contents/Resources/options holding `optionLines`. Returns the bundle path,
// or "" with `err` set.
std::string makeBundle(const std::string& dir, const std::string& program,
                       const std::vector<std::string>& optionLines, std::string& err);

// Writes `bundleFolder` as the first line of
// dataFolder(home) + "/etc/tarsenharlune.path".
bool writePathHint(const std::string& home, const std::string& bundleFolder, std::string& err);

// This program's own path (/proc/self/exe resolved), or "".
std::string ownProgramPath();

}  // namespace HarluneSim
