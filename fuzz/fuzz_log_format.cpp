// The log formatter with hostile texts passed as arguments, the way the
// plug-in logs what pages and the desktop application send: conversions,
// newlines, NULs through %c, precisions and texts far past the line limit.
// Every call is read back from the log file: the line must be whole, carry
// the argument verbatim (cut at the line limit, never interpreted), and
// repeats must fold into one "Last message repeated" line. Now and then the
// log is stopped and lines are held until it starts again.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "taplatform/talog.h"

namespace {

constexpr int kLevelLimit = 4;
constexpr size_t kTextMax = 4089;  // a line's text after its four-byte tag
constexpr size_t kHeldMax = 4095;  // a held line, before the flush cuts it again

std::string g_link;  // the unnumbered name, always linked to the file in use
int g_reader = -1;
ino_t g_inode = 0;

// What the log has written so far and what it will fold next.
std::string g_lastBody;
unsigned g_repeats = 0;

const char* tagFor(int level) { return level <= 1 ? "ERR " : level <= 3 ? "LOG " : "DBG "; }

void openReader() {
  if (g_reader >= 0) close(g_reader);
  g_reader = open(g_link.c_str(), O_RDONLY | O_CLOEXEC);
  FUZZ_CHECK(g_reader >= 0, "the log's link is missing");
  struct stat st;
  FUZZ_CHECK(fstat(g_reader, &st) == 0, "cannot stat the log");
  g_inode = st.st_ino;
}

void readAll(int fd, std::string* out) {
  char buf[65536];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    FUZZ_CHECK(n >= 0, "cannot read the log");
    if (n == 0) return;
    out->append(buf, static_cast<size_t>(n));
  }
}

// Everything written since the last look. A file switch happens only after a
// line was written whole to the old file, so the old one is read to its end
// before the new one.
std::string newText() {
  std::string text;
  readAll(g_reader, &text);
  struct stat st;
  FUZZ_CHECK(stat(g_link.c_str(), &st) == 0, "the log's link is missing");
  if (st.st_ino != g_inode) {
    openReader();
    readAll(g_reader, &text);
  }
  return text;
}

bool isDigits(const std::string& s, size_t from, size_t count) {
  if (from + count > s.size()) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// "YYYY-MM-DD HH:MM:SS.mmm [pid-thread] "; returns its length or 0.
size_t headerLength(const std::string& s, size_t at) {
  static const char kShape[] = "0000-00-00 00:00:00.000 [";
  for (size_t i = 0; i + 1 < sizeof kShape; ++i) {
    if (at + i >= s.size()) return 0;
    if (kShape[i] == '0' ? !isDigits(s, at + i, 1) : s[at + i] != kShape[i]) return 0;
  }
  const size_t close = s.find("] ", at + sizeof kShape - 1);
  if (close == std::string::npos) return 0;
  const std::string tag = s.substr(at + sizeof kShape - 1, close - (at + sizeof kShape - 1));
  const size_t dash = tag.find('-');
  if (dash == std::string::npos || dash == 0 || tag.find_first_not_of("0123456789abcdef") != dash ||
      tag.compare(dash + 1, 2, "0x") != 0) {
    return 0;
  }
  return close + 2 - at;
}

// The lines a list of bodies must produce, folded as the log folds them.
// Texts may hold NULs (through %c), so each expected line is kept as the
// text that follows its header.
void expectLines(const std::vector<std::string>& bodies) {
  std::vector<std::string> lines;  // each follows a header, except a repeat note
  std::vector<bool> headed;
  for (const std::string& body : bodies) {
    if (body == g_lastBody) {
      ++g_repeats;
      continue;
    }
    if (g_repeats != 0) {
      lines.push_back("Last message repeated " + std::to_string(g_repeats) + " times\n");
      headed.push_back(false);
    }
    lines.push_back(body + '\n');
    headed.push_back(true);
    g_lastBody = body;
    g_repeats = 0;
  }
  const std::string got = newText();
  size_t at = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (headed[i]) {
      const size_t header = headerLength(got, at);
      FUZZ_CHECK(header != 0, "a line lacks its time and thread header");
      at += header;
    }
    FUZZ_CHECK(got.compare(at, lines[i].size(), lines[i]) == 0,
               "the log's text differs from the message");
    at += lines[i].size();
  }
  FUZZ_CHECK(at == got.size(), "the log holds more than was written");
}

std::string body(int level, const std::string& text) {
  return tagFor(level) + text.substr(0, kTextMax);
}

// A text for an argument: a piece of the input, now and then repeated far
// past the line limit.
std::string argument(FuzzedDataProvider& in) {
  std::string piece = in.ConsumeRandomLengthString(512);
  const unsigned repeat = in.ConsumeBool() ? in.ConsumeIntegralInRange<unsigned>(1, 64) : 1;
  std::string text;
  for (unsigned i = 0; i < repeat; ++i) text += piece;
  return text;
}

struct Message {
  int level = 0;
  std::string text;  // as formatted; what the log must show after the tag
  int form = 0;
  std::string a, b;
  int n = 0;
  char c = 0;
};

template <typename... Args>
std::string formatted(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  FUZZ_CHECK(n >= 0, "the reference format failed");
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&out[0], out.size(), format, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

// Texts always travel as arguments; each form is one the plug-in uses or a
// conversion that a careless copy could get wrong (widths, precisions, %c).
#define FORMS(X)                                           \
  X(0, "%s", m.a.c_str())                                  \
  X(1, "Relay request from %s: %s", m.a.c_str(), m.b.c_str()) \
  X(2, "%.*s", m.n, m.a.c_str())                           \
  X(3, "%s (%d)", m.a.c_str(), m.n)                        \
  X(4, "%-40s|%40s", m.a.c_str(), m.b.c_str())             \
  X(5, "%c%s%c", m.c, m.a.c_str(), m.c)                    \
  X(6, "%%s %%n %s %%%d", m.a.c_str(), m.n)                \
  X(7, "%*s", m.n, m.a.c_str())

void send(const Message& m) {
  switch (m.form) {
#define SEND(k, format, ...) \
  case k:                    \
    ta_log_msg(m.level, __FILE__, __LINE__, format, __VA_ARGS__); \
    break;
    FORMS(SEND)
#undef SEND
  }
}

std::string reference(const Message& m) {
  switch (m.form) {
#define REF(k, format, ...) \
  case k:                   \
    return formatted(format, __VA_ARGS__);
    FORMS(REF)
#undef REF
  }
  return std::string();
}

Message message(FuzzedDataProvider& in) {
  Message m;
  m.level = in.ConsumeIntegralInRange(-2, kLevelLimit + 2);
  m.form = in.ConsumeIntegralInRange(0, 7);
  m.a = argument(in);
  if (m.form == 1 || m.form == 4) m.b = argument(in);
  // Widths and precisions up to twice the line limit, negative ones included.
  m.n = in.ConsumeIntegralInRange(-2 * static_cast<int>(kTextMax), 2 * static_cast<int>(kTextMax));
  m.c = static_cast<char>(in.ConsumeIntegral<uint8_t>());
  m.text = reference(m);
  return m;
}

bool passes(int level) { return level <= kLevelLimit; }

// Lines logged while the log is stopped are held, then written when it
// starts again, cut once to the held size and once to the line size.
void heldCycle(FuzzedDataProvider& in) {
  ta_log_cleanup();
  FUZZ_CHECK(ta_log_enable_pending_log_lines() == 0, "cannot hold lines");
  std::vector<std::string> bodies;
  const int count = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
    const Message m = message(in);
    send(m);
    if (!passes(m.level)) continue;
    // A held line is kept as a C string: it ends at its first NUL.
    const std::string held = m.text.substr(0, kHeldMax);
    bodies.push_back(body(m.level, held.substr(0, held.find('\0'))));
  }
  FUZZ_CHECK(ta_log_init(TA_LOG_TYPE_FILE, g_link.c_str()) == 0, "the log did not start again");
  expectLines(bodies);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/fuzz-log-XXXXXX";
  FUZZ_CHECK(mkdtemp(dir) != nullptr, "cannot make the log folder");
  g_link = std::string(dir) + "/fuzz.log";
  ta_log_set_level(kLevelLimit);
  ta_log_set_logfile_size(1);
  ta_log_set_logfile_count(3);
  FUZZ_CHECK(ta_log_init(TA_LOG_TYPE_FILE, g_link.c_str()) == 0, "the log did not start");
  openReader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  bool held = false;
  Message last;
  while (in.remaining_bytes() > 0) {
    const int op = in.ConsumeIntegralInRange(0, 9);
    if (op == 9 && !held) {
      held = true;
      heldCycle(in);
      continue;
    }
    // A repeat of the last message, to exercise the folding.
    const Message m = op == 8 ? last : message(in);
    send(m);
    expectLines(passes(m.level) ? std::vector<std::string>{body(m.level, m.text)}
                                : std::vector<std::string>{});
    last = m;
  }
  return 0;
}
