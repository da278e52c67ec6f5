// Cost of one log line against a bare write(2) of a line of the same size.
#include <taplatform/talog.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

namespace {

std::string g_dir;
std::map<std::string, double> g_ns_per_line;

// A line as the log writes it: 50-byte header, then 100 bytes of tag and text.
constexpr int kTextBytes = 96;

void CountLines(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 150);
}

void BM_LogMsg(benchmark::State& state) {
  std::string path = g_dir + "/bench.log:4095";  // large files: no switch in the run
  ta_log_set_level(3);
  if (ta_log_init(TA_LOG_TYPE_FILE, path.c_str()) != 0) {
    state.SkipWithError("cannot start the log");
    return;
  }
  const std::string filler(kTextBytes - 10, 'x');
  unsigned counter = 0;
  for (auto _ : state) {
    // The counter keeps lines apart so that none is folded.
    ta_log_msg(3, __FILE__, __LINE__, "%09u %s", counter++, filler.c_str());
  }
  ta_log_cleanup();
  CountLines(state);
}

void BM_RawWrite(benchmark::State& state) {
  std::string path = g_dir + "/raw.log";
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    state.SkipWithError("cannot open the file");
    return;
  }
  std::string line =
      "2024-01-01 12:00:00.000 [1a2b-0x7f0123456789] LOG 000000000 " + std::string(kTextBytes - 10, 'x') +
      "\n";
  for (auto _ : state) {
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      state.SkipWithError("short write");
      break;
    }
  }
  close(fd);
  CountLines(state);
}

BENCHMARK(BM_LogMsg)->MinTime(1.0);
BENCHMARK(BM_RawWrite)->MinTime(1.0);

// Collects the time per line of each run to print the ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.iterations > 0) {
        // CPU time: the machine is shared, and waiting is not the cost of a line.
        std::string name = run.benchmark_name();
        g_ns_per_line[name.substr(0, name.find('/'))] = run.GetAdjustedCPUTime();
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/log_bench.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  g_dir = tmpl;
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(g_dir);
  auto log = g_ns_per_line.find("BM_LogMsg");
  auto raw = g_ns_per_line.find("BM_RawWrite");
  if (log == g_ns_per_line.end() || raw == g_ns_per_line.end() || raw->second <= 0) return 1;
  std::printf("ta_log_msg per line: %.0f ns CPU\n", log->second);
  std::printf("write(2) per line: %.0f ns CPU\n", raw->second);
  std::printf("ratio ta_log_msg/write: %.2f\n", log->second / raw->second);
  return 0;
}
