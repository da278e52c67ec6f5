#include "ZenityPanels.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

extern char** environ;

namespace Desktop {

struct ZenityPanels::Run {
  SavePanel* panel = nullptr;
  pid_t pid = -1;
  int output = -1;
  std::thread thread;
};

struct ZenityPanels::Runs {
  std::mutex mutex;
  bool closed = false;
  std::map<Run*, std::unique_ptr<Run>> open;  // owned until joined
};

namespace {

std::string joinPatterns(const std::vector<std::string>& types) {
  std::string text;
  for (const auto& type : types) text += (text.empty() ? "*." : " *.") + type;
  return text;
}

}  // namespace

ZenityPanels::ZenityPanels(Application& app, std::string program)
    : app_(app), program_(std::move(program)), runs_(std::make_shared<Runs>()) {}

ZenityPanels::~ZenityPanels() {
  std::map<Run*, std::unique_ptr<Run>> open;
  {
    std::lock_guard<std::mutex> lock(runs_->mutex);
    runs_->closed = true;
    open.swap(runs_->open);
    // Not reaped yet, so the process is still this object's child.
    for (auto& entry : open)
      if (entry.second->pid > 0) kill(entry.second->pid, SIGTERM);
  }
  for (auto& entry : open)
    if (entry.second->thread.joinable()) entry.second->thread.join();
}

void ZenityPanels::closeEnded() {
  std::lock_guard<std::mutex> lock(runs_->mutex);
  for (auto& entry : runs_->open) {
    Run& run = *entry.second;
    // A panel that left the window list may be freed: ask the list first.
    if (run.pid > 0 && (!app_.contains(run.panel) || !run.panel->isRunning()))
      kill(run.pid, SIGTERM);  // not reaped yet: still this object's child
  }
}

std::vector<std::string> ZenityPanels::arguments(const PanelSettings& settings,
                                                 const std::string& startFolder) {
  std::vector<std::string> args = {"--file-selection"};
  if (!settings.title.empty()) args.push_back("--title=" + settings.title);
  const bool save = settings.kind == WindowKind::SavePanel;
  if (save) {
    args.push_back("--save");
  } else {
    if (settings.allowsMultipleSelection) args.push_back("--multiple");
    // GTK chooses either files or folders; a panel for both gets files.
    if (settings.canChooseDirectories && !settings.canChooseFiles) args.push_back("--directory");
  }
  args.push_back("--separator=\n");
  const std::string& folder = settings.directory.empty() ? startFolder : settings.directory;
  std::string start = folder.empty() ? std::string() : folder + "/";
  if (save && !settings.nameFieldStringValue.empty()) start += settings.nameFieldStringValue;
  if (!start.empty()) args.push_back("--filename=" + start);
  for (const auto& filter : settings.filters) {
    const std::string patterns = joinPatterns(filter.types);
    args.push_back("--file-filter=" + (filter.name.empty() ? patterns : filter.name) + " | " +
                   patterns);
  }
  if (settings.filters.empty() && !settings.allowedFileTypes.empty())
    args.push_back("--file-filter=" + joinPatterns(settings.allowedFileTypes) + " | " +
                   joinPatterns(settings.allowedFileTypes));
  if (settings.allowsOtherFileTypes &&
      (!settings.filters.empty() || !settings.allowedFileTypes.empty()))
    args.push_back("--file-filter=All files | *");
  return args;
}

std::vector<std::string> ZenityPanels::paths(const std::string& output) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < output.size()) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    if (end > at) out.push_back(output.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

PanelAnswer ZenityPanels::answer(SavePanel& panel, const PanelSettings& settings) {
  const char* home = std::getenv("HOME");
  std::vector<std::string> args =
      arguments(settings, !lastFolder_->empty() ? *lastFolder_ : home ? home : "");
  args.insert(args.begin(), program_);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return PanelAnswer::fail("ZenityPanelFailure", "no pipe for the file chooser");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  // GTK's warnings are not the page's business.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    return PanelAnswer::fail("ZenityPanelFailure", "cannot run " + program_);
  }

  auto run = std::make_unique<Run>();
  Run* raw = run.get();
  raw->panel = &panel;
  raw->pid = pid;
  raw->output = pipeFds[0];
  std::lock_guard<std::mutex> lock(runs_->mutex);
  runs_->open[raw] = std::move(run);
  raw->thread = std::thread([app = &app_, runs = runs_, raw, last = lastFolder_] {
    std::string output;
    char buffer[4096];
    for (;;) {
      ssize_t n = read(raw->output, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output.append(buffer, static_cast<std::size_t>(n));
    }
    close(raw->output);
    int status = 0;
    {
      std::lock_guard<std::mutex> lock(runs->mutex);
      while (waitpid(raw->pid, &status, 0) < 0 && errno == EINTR) continue;
      raw->pid = -1;
    }
    finish_(*app, runs, raw, status, std::move(output), last);
  });
  return PanelAnswer::leaveOpen();
}

void ZenityPanels::finish_(Application& app, std::shared_ptr<Runs> runs, Run* run, int status,
                           std::string output, std::shared_ptr<std::string> lastFolder) {
  const bool chosen = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::vector<std::string> chosenPaths = chosen ? paths(output) : std::vector<std::string>();
  app.runLoop().performOnMainThread([&app, runs, run, chosenPaths, lastFolder] {
    // The next chooser opens where the person last was.
    if (!chosenPaths.empty()) {
      const std::string& first = chosenPaths.front();
      const std::size_t slash = first.find_last_of('/');
      if (slash != std::string::npos && slash > 0) *lastFolder = first.substr(0, slash);
    }
    std::unique_ptr<Run> owned;
    {
      std::lock_guard<std::mutex> lock(runs->mutex);
      auto found = runs->open.find(run);
      if (runs->closed || found == runs->open.end()) return;  // the destructor joins it
      owned = std::move(found->second);
      runs->open.erase(found);
    }
    owned->thread.join();  // it has posted this and ends at once
    // The panel may have ended meanwhile (a time-out, an abort): then the
    // choice comes too late and changes nothing.
    SavePanel* panel = owned->panel;
    if (!app.contains(panel) || !panel->isRunning()) return;
    if (!chosenPaths.empty() && panel->choose(chosenPaths) == Status::Ok) return;
    panel->cancel();
  });
}

}  // namespace Desktop
