// readAsArrayBuffer of an approved 50 MiB file, from the script call to the
// string variant the page receives, against `base64 -w0 FILE > /dev/null`.
// The plug-in is loaded the way the browser loads it (tarsenbrowser's module
// and instance), the file approved through its open dialog. Prints the median
// time of each, their ratio, and the peak resident memory the read added,
// as a multiple of the file size. Exit 1 when a target is missed:
// ratio <= 1.0, added peak <= 3.0 x the file size.
//
//   read_bench [PLUGIN.so] [ROUNDS]
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <desktop/Panel.h>
#include <desktop/Window.h>

#include "BrowserFuncs.h"
#include "HeadlessHost.h"
#include "PluginInstance.h"
#include "PluginModule.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kFileSize = 50u << 20;

[[noreturn]] void die(const std::string& why) {
  std::fprintf(stderr, "read_bench: %s\n", why.c_str());
  std::exit(2);
}

// A kB figure of /proc/self/status ("VmRSS", "VmHWM").
long statusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  }
  die(std::string("no ") + field + " in /proc/self/status");
}

// Makes the peak resident size start again from the current one.
void resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  if (!clear) die("cannot reset the peak resident size (/proc/self/clear_refs)");
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

std::string makeTempDir() {
  char dir[] = "/tmp/read_bench.XXXXXX";
  if (!mkdtemp(dir)) die("mkdtemp failed");
  return dir;
}

void writeFile(const std::string& path, size_t size) {
  std::string bytes(size, '\0');
  uint64_t x = 0x9E3779B97F4A7C15ull;  // xorshift: every byte value, no pattern
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x >> 24);
  }
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) die("cannot write " + path);
}

// Runs base64 -w0 on the file, standard output to `sink`; the seconds taken.
double runBase64(const std::string& path, const char* sink) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, sink, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string a0 = "base64", a1 = "-w0", a2 = path;
  char* argv[] = {&a0[0], &a1[0], &a2[0], nullptr};
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "base64", &actions, nullptr, argv, environ) != 0) die("cannot run base64");
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die("base64 failed");
  return seconds;
}

struct Plugin {
  const NPNetscapeFuncs& npn = Browser::browserFuncs();
  std::unique_ptr<Browser::PluginModule> module;
  std::unique_ptr<Browser::PluginInstance> instance;
  NPObject* object = nullptr;

  bool invoke(const char* method, const NPVariant* args, uint32_t count, NPVariant* result) {
    VOID_TO_NPVARIANT(*result);
    return npn.invoke(instance->npp(), object, npn.getstringidentifier(method), args, count,
                      result);
  }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pluginPath = argc > 1 && *argv[1] ? argv[1] : READ_BENCH_PLUGIN;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  // A home of its own: the plug-in logs there and finds no application.
  const std::string home = makeTempDir();
  setenv("HOME", home.c_str(), 1);
  for (const char* sub : {"/Library", "/Library/Logs", "/Library/Logs/Tarsen"})
    mkdir((home + sub).c_str(), 0755);
  const std::string file = home + "/read-bench.bin";
  writeFile(file, kFileSize);

  HeadlessHost host("Mozilla/5.0 (Macintosh) Chrome/120.0");
  Browser::setHost(&host);
  Plugin plugin;
  std::string error;
  plugin.module = Browser::PluginModule::load(pluginPath, error);
  if (!plugin.module) die(error);
  Browser::ObjectElement element;
  element.id = "p";
  element.type = "application/x-tarsen-web";
  element.width = 200;
  element.height = 100;
  element.params = {{"harlune-launch-wait-timeout-ms", "0"}};
  plugin.instance = std::make_unique<Browser::PluginInstance>(*plugin.module, element, 0, 0);
  if (plugin.instance->create() != NPERR_NO_ERROR) die("NPP_New failed");
  plugin.object = plugin.instance->scriptableObject();
  if (!plugin.object) die("no scriptable object");

  // The user picks the file in the open dialog.
  Desktop::Application::shared().setPanelResponder(
      [&](Desktop::SavePanel&, const Desktop::PanelSettings&) {
        return Desktop::PanelAnswer::choose({file});
      });
  NPVariant flags[2], chosen;
  BOOLEAN_TO_NPVARIANT(false, flags[0]);
  BOOLEAN_TO_NPVARIANT(false, flags[1]);
  if (!plugin.invoke("runOpenFileDialog", flags, 2, &chosen)) die("runOpenFileDialog failed");
  plugin.npn.releasevariantvalue(&chosen);

  const std::string expected = home + "/expected.b64";
  runBase64(file, expected.c_str());
  std::ifstream reference(expected, std::ios::binary);
  const std::string referenceText((std::istreambuf_iterator<char>(reference)),
                                  std::istreambuf_iterator<char>());
  const std::string prefix = "data:application/octet-stream;base64,";

  NPVariant pathArg;
  Browser::stringToVariant(file, pathArg);
  std::vector<double> pluginTimes, base64Times;
  long addedPeakKb = 0;
  for (int r = 0; r <= rounds; ++r) {  // round 0 warms the page cache and the heap
    resetPeak();
    const long baseKb = statusKb("VmRSS");
    NPVariant result;
    const auto start = Clock::now();
    const bool ok = plugin.invoke("readAsArrayBuffer", &pathArg, 1, &result);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long peakKb = statusKb("VmHWM") - baseKb;
    if (!ok || !NPVARIANT_IS_STRING(result)) die("readAsArrayBuffer failed");
    const NPString& text = NPVARIANT_TO_STRING(result);
    const std::string got(text.UTF8Characters, std::min<size_t>(text.UTF8Length, 200));
    if (text.UTF8Length != prefix.size() + referenceText.size() ||
        std::memcmp(text.UTF8Characters, prefix.data(), prefix.size()) != 0 ||
        std::memcmp(text.UTF8Characters + prefix.size(), referenceText.data(),
                    referenceText.size()) != 0)
      die("the data URL differs from base64's text; it begins: " + got);
    plugin.npn.releasevariantvalue(&result);
    const double reference = runBase64(file, "/dev/null");
    if (r == 0) continue;
    pluginTimes.push_back(seconds);
    base64Times.push_back(reference);
    addedPeakKb = std::max(addedPeakKb, peakKb);
  }
  plugin.npn.releasevariantvalue(&pathArg);

  plugin.instance.reset();
  plugin.module.reset();
  Browser::setHost(nullptr);
  nftw(home.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);

  const double p = median(pluginTimes), b = median(base64Times);
  const double ratio = p / b;
  const double memory = addedPeakKb * 1024.0 / kFileSize;
  std::printf("readAsArrayBuffer of 50 MiB: %.1f ms   base64 -w0: %.1f ms   "
              "ratio: %.2f (target <= 1.0)\n",
              p * 1e3, b * 1e3, ratio);
  std::printf("peak resident memory added by the read: %.1f MiB = %.2f x the file "
              "(target <= 3.0)\n",
              addedPeakKb / 1024.0, memory);
  return ratio <= 1.0 && memory <= 3.0 ? 0 : 1;
}
