/* The process-wide log. It sits below every other module, so it talks to POSIX
 * directly: a failure here must never recurse into logging. */
#include <taplatform/talog.h>

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <taplatform/tapath.h>

#define LOG_NAME_SIZE 2048
#define LOG_OPEN_NAME_MAX 2043
#define LOG_EXT_MAX 7
#define LOG_HEADER_SIZE 256
#define LOG_BODY_SIZE 4096
#define LOG_TAG_LEN 4 /* "ERR " */
#define LOG_TEXT_MAX 4089
#define LOG_LAST_LINE_SIZE 4352
#define LOG_HELD_TEXT_SIZE 4096
#define LOG_CHECK_EVERY 65536u
#define LOG_MIB (1024ull * 1024ull)
#define LOG_COUNT_LIMIT 250
#define LOG_SUFFIX_MIB_MAX 536870911ull
#define LOG_SETTER_MIB_MAX 4095
#define LOG_BACKTRACE_FRAMES 66
#define LOG_BACKTRACE_LINE 1024

/* Flags read on every call from any thread are atomics; everything the file
 * sink changes while writing is guarded by log_filelock. */
static atomic_int logtype = 0;
static atomic_int g_log_level = 3;
static atomic_int echo_to_stderr = -1;
static atomic_int log_to_stderr = 0;
static uint64_t max_logfile_size = 10 * LOG_MIB;
static int max_logfile_count = 9;

static char g_log_file_basename[LOG_NAME_SIZE];
static int flog = -1;
static int last_flog = -1;
static pthread_mutex_t log_filelock;
static int log_filelock_ready = 0;

static char last_line[LOG_LAST_LINE_SIZE];
static size_t last_line_len = 0;
static uint32_t repeat_count = 0;
static uint64_t _logfile_growth = 0;
static int mypid = 0;

typedef struct held_line {
  struct held_line* next;
  int level;
  char text[];
} held_line;

static atomic_int enable_pending_log_lines = 0;
static pthread_mutex_t pending_log_mutex;
static int pending_log_mutex_ready = 0;
static held_line* held_head = NULL;
static held_line** held_tail = &held_head;

static atomic_int fault_handler_installed = 0;

static const char* level_tag(int level) {
  if (level <= 1) return "ERR ";
  if (level <= 3) return "LOG ";
  return "DBG ";
}

static int passes_level(int level) {
  int limit = atomic_load_explicit(&g_log_level, memory_order_relaxed);
  return limit != -1 && (limit < 0 || level <= limit);
}

/* The lock is error-checking: when the fault handler interrupts a thread that
 * holds it, the relock reports EDEADLK instead of hanging the dying process;
 * the handler then writes without it. Returns whether to unlock afterwards. */
static int filelock_take(void) {
  return pthread_mutex_lock(&log_filelock) == 0;
}

static void write_all(int fd, const char* data, size_t length, size_t* written) {
  *written = 0;
  while (*written < length) {
    ssize_t n = write(fd, data + *written, length - *written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    *written += (size_t)n;
  }
}

/* ---- Choosing the numbered file ------------------------------------------ */

typedef struct log_name {
  char dir[LOG_NAME_SIZE];
  char stem[LOG_NAME_SIZE];
  char ext[LOG_EXT_MAX + 1];
  size_t name_len; /* the unnumbered file name, for the length test of entries */
} log_name;

static void split_log_name(const char* base, log_name* out) {
  const char* slash = strrchr(base, '/');
  const char* name = slash ? slash + 1 : base;
  if (!slash) {
    strcpy(out->dir, ".");
  } else if (slash == base) {
    strcpy(out->dir, "/");
  } else {
    memcpy(out->dir, base, (size_t)(slash - base));
    out->dir[slash - base] = '\0';
  }
  out->name_len = strlen(name);
  const char* dot = strrchr(name, '.');
  size_t stem_len = dot ? (size_t)(dot - name) : out->name_len;
  memcpy(out->stem, name, stem_len);
  out->stem[stem_len] = '\0';
  /* A longer extension is cut, like any copy into its 8-byte field. */
  out->ext[0] = '\0';
  if (dot) snprintf(out->ext, sizeof out->ext, "%s", dot);
}

/* The ring number of a directory entry, or -1 when it is not one of ours. */
static int entry_number(const char* entry, const log_name* ln, int max_count) {
  size_t stem_len = strlen(ln->stem);
  if (strlen(entry) < ln->name_len + 2) return -1;
  if (strncmp(entry, ln->stem, stem_len) != 0 || entry[stem_len] != '.') return -1;
  const char* p = entry + stem_len + 1;
  if (*p < '0' || *p > '9') return -1;
  long n = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    if (n <= max_count) n = n * 10 + (*p - '0');
  }
  if (strcmp(p, ln->ext) != 0 || n > max_count) return -1;
  return (int)n;
}

/* The number to continue with: the highest, unless the ring has wrapped and
 * the file before the first gap is the newer one. */
static int choose_number(const unsigned char* present, int highest, int max_count) {
  if (highest < max_count) return highest;
  int missing = -1;
  for (int i = 0; i <= highest; i++) {
    if (!present[i]) {
      missing = i;
      break;
    }
  }
  if (missing <= 0) return highest;
  return missing - 1;
}

static void numbered_path(char* out, size_t size, const log_name* ln, int n) {
  snprintf(out, size, "%s/%s.%d%s", ln->dir, ln->stem, n, ln->ext);
}

static int open_numbered(const char* path) {
  /* The log names the user's files and the application's address: the user's alone. */
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) fprintf(stderr, "Cannot open log file (%d): %s\n", errno, path);
  else fchmod(fd, 0600); /* a file left by an older run */
  return fd;
}

static int file_is_full(int fd) {
  struct stat st;
  return fstat(fd, &st) != 0 || (uint64_t)st.st_size >= max_logfile_size;
}

/* Caller holds log_filelock (ta_log_rotate does). */
int ta_log_openfile(void) {
  static log_name ln; /* large; only used under the lock */
  char path[LOG_NAME_SIZE + 32];
  unsigned char present[LOG_COUNT_LIMIT + 1];

  if (strlen(g_log_file_basename) > LOG_OPEN_NAME_MAX) {
    flog = -1;
    return EINVAL;
  }
  split_log_name(g_log_file_basename, &ln);

  DIR* dir = opendir(ln.dir);
  if (dir == NULL) {
    int err = errno;
    fprintf(stderr, "Error opening log directory %s\n", ln.dir);
    flog = -1;
    return err;
  }
  memset(present, 0, sizeof present);
  int highest = -1;
  struct dirent* entry;
  while ((entry = readdir(dir)) != NULL) {
    int n = entry_number(entry->d_name, &ln, max_logfile_count);
    if (n < 0) continue;
    present[n] = 1;
    if (n > highest) highest = n;
  }
  closedir(dir);

  int is_new = highest < 0;
  int n = is_new ? 0 : choose_number(present, highest, max_logfile_count);
  numbered_path(path, sizeof path, &ln, n);
  int fd = open_numbered(path);
  if (fd < 0) {
    flog = -1;
    return EINVAL;
  }
  /* Each switch deletes the file after the new one so the ring keeps a gap
   * that marks where it continues. */
  while (file_is_full(fd)) {
    close(fd);
    n = n >= max_logfile_count ? 0 : n + 1;
    int after = n >= max_logfile_count ? 0 : n + 1;
    numbered_path(path, sizeof path, &ln, after);
    unlink(path);
    numbered_path(path, sizeof path, &ln, n);
    fd = open_numbered(path);
    if (fd < 0) {
      flog = -1;
      return EINVAL;
    }
    is_new = 1;
  }
  if (is_new) {
    unlink(g_log_file_basename);
    if (link(path, g_log_file_basename) != 0) {
      /* Without the link the numbered files still hold the log. */
    }
  }
  flog = fd;
  return 0;
}

/* ---- Size check ----------------------------------------------------------- */

static int rotate_locked(void) {
  if (flog >= 0) {
    struct stat st;
    if (fstat(flog, &st) != 0) return errno;
    if ((uint64_t)st.st_size < max_logfile_size) return 0;
    if (last_flog >= 0) {
      fsync(last_flog);
      close(last_flog);
    }
    /* Threads may still hold lines for the old file; it stays open a turn. */
    last_flog = flog;
    flog = -1;
  }
  return ta_log_openfile();
}

int ta_log_rotate(void) {
  if (!log_filelock_ready) return EINVAL;
  int unlock = filelock_take();
  int rc = rotate_locked();
  if (unlock) pthread_mutex_unlock(&log_filelock);
  return rc;
}

/* ---- Writing -------------------------------------------------------------- */

/* Formatting the whole header for each line costs about as much as writing
 * it, so its slow parts are kept: the local time to the second (guarded by
 * log_filelock) and each thread's "[pid-thread] " tag. */
static time_t stamp_second = (time_t)-1;
static char stamp_text[80]; /* room for any int fields, to satisfy the compiler */
static _Thread_local char thread_tag[48];
static _Thread_local int thread_tag_pid = 0;

static const char* local_stamp(time_t second) {
  if (second != stamp_second) {
    struct tm tm;
    if (localtime_r(&second, &tm) == NULL) return NULL;
    snprintf(stamp_text, sizeof stamp_text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
             tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    stamp_second = second;
  }
  return stamp_text;
}

static const char* own_thread_tag(void) {
  if (thread_tag[0] == '\0' || thread_tag_pid != mypid) {
    snprintf(thread_tag, sizeof thread_tag, "[%x-%p] ", (unsigned)mypid,
             (void*)(uintptr_t)pthread_self());
    thread_tag_pid = mypid;
  }
  return thread_tag;
}

static void file_sink_write(int level, const char* format, va_list ap) {
  /* The header is placed right before the body so one write sends the line. */
  char line[LOG_HEADER_SIZE + LOG_BODY_SIZE];
  char* body = line + LOG_HEADER_SIZE;
  char header[LOG_HEADER_SIZE];

  memcpy(body, level_tag(level), LOG_TAG_LEN);
  int n = vsnprintf(body + LOG_TAG_LEN, LOG_TEXT_MAX + 1, format, ap);
  if (n < 0) return;
  size_t body_len = LOG_TAG_LEN + (n > LOG_TEXT_MAX ? LOG_TEXT_MAX : (size_t)n);
  int to_stderr = atomic_load_explicit(&log_to_stderr, memory_order_relaxed);

  /* Held from the comparison to the growth count so that the repeat state and
   * the counter stay consistent across threads; the size check below is the
   * rotation's lock-held body. */
  int unlock = filelock_take();
  if (flog < 0 && !to_stderr) goto out;
  if (body_len == last_line_len && memcmp(body, last_line, body_len) == 0) {
    repeat_count++;
    goto out;
  }
  memcpy(last_line, body, body_len);
  last_line_len = body_len;
  body[body_len++] = '\n';

  if (to_stderr ||
      atomic_load_explicit(&echo_to_stderr, memory_order_relaxed) >= level) {
    size_t written;
    write_all(STDERR_FILENO, body, body_len, &written);
    if (written != body_len || to_stderr) goto out;
  }

  struct timeval tv;
  const char* stamp;
  if (gettimeofday(&tv, NULL) != 0 || (stamp = local_stamp(tv.tv_sec)) == NULL) goto out;
  const char* tag = own_thread_tag();
  int header_len;
  if (repeat_count == 0) {
    /* "stamp.mmm tag", put together by hand: formatting it cost more than the write. */
    size_t stamp_len = strlen(stamp), tag_len = strlen(tag);
    int millis = (int)(tv.tv_usec / 1000);
    header_len = (int)(stamp_len + 5 + tag_len);
    char* at = body - header_len;
    memcpy(at, stamp, stamp_len);
    at += stamp_len;
    *at++ = '.';
    *at++ = (char)('0' + millis / 100);
    *at++ = (char)('0' + millis / 10 % 10);
    *at++ = (char)('0' + millis % 10);
    *at++ = ' ';
    memcpy(at, tag, tag_len);
  } else {
    header_len = snprintf(header, sizeof header, "Last message repeated %d times\n%s.%03d %s",
                          (int)repeat_count, stamp, (int)(tv.tv_usec / 1000), tag);
    if (header_len < 0 || header_len >= LOG_HEADER_SIZE) goto out;
    memcpy(body - header_len, header, (size_t)header_len);
  }

  size_t written = 0;
  if (flog >= 0) {
    write_all(flog, body - header_len, (size_t)header_len + body_len, &written);
  }
  repeat_count = 0;
  _logfile_growth += written;
  if (_logfile_growth >= LOG_CHECK_EVERY) {
    _logfile_growth = 0;
    rotate_locked();
  }
out:
  if (unlock) pthread_mutex_unlock(&log_filelock);
}

static void file_sink_printf(int level, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
static void file_sink_printf(int level, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  file_sink_write(level, format, ap);
  va_end(ap);
}

static void log_hold(int level, const char* format, va_list ap) {
  if (!atomic_load(&enable_pending_log_lines)) {
    /* Holding ends only after the start is marked, so a late look can still
     * reach the sink. */
    if (atomic_load(&logtype) != 0 && passes_level(level)) file_sink_write(level, format, ap);
    return;
  }
  pthread_mutex_lock(&pending_log_mutex);
  if (atomic_load(&logtype) != 0) {
    pthread_mutex_unlock(&pending_log_mutex);
    /* Started meanwhile: the filter in force applies as for a flushed line. */
    if (passes_level(level)) file_sink_write(level, format, ap);
    return;
  }
  char text[LOG_HELD_TEXT_SIZE];
  int n = vsnprintf(text, sizeof text, format, ap);
  if (n >= 0) {
    size_t len = n >= (int)sizeof text ? sizeof text - 1 : (size_t)n;
    held_line* held = malloc(sizeof *held + len + 1);
    if (held != NULL) { /* out of memory: the line is lost */
      held->next = NULL;
      held->level = level;
      memcpy(held->text, text, len + 1);
      *held_tail = held;
      held_tail = &held->next;
    }
  }
  pthread_mutex_unlock(&pending_log_mutex);
}

void ta_log_msg(int level, const char* source_file, int source_line,
                const char* format, ...) {
  (void)source_file;
  (void)source_line;
  int limit = atomic_load_explicit(&g_log_level, memory_order_relaxed);
  if (limit == -1) return;
  if (limit >= 0 && level > limit &&
      !atomic_load_explicit(&enable_pending_log_lines, memory_order_relaxed)) {
    return;
  }
  int saved_errno = errno;
  va_list ap;
  va_start(ap, format);
  if (atomic_load_explicit(&logtype, memory_order_acquire) == 0) {
    log_hold(level, format, ap);
  } else {
    file_sink_write(level, format, ap);
  }
  va_end(ap);
  errno = saved_errno;
}

/* ---- Fault handler -------------------------------------------------------- */

static const char* fault_signal_name(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGBUS: return "SIGBUS";
    case SIGQUIT: return "SIGQUIT";
    default: return "unknown";
  }
}

static void append_text(char* buf, size_t size, size_t* len, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
static void append_text(char* buf, size_t size, size_t* len, const char* format, ...) {
  if (*len >= size - 1) return;
  va_list ap;
  va_start(ap, format);
  int n = vsnprintf(buf + *len, size - *len, format, ap);
  va_end(ap);
  if (n > 0) *len = *len + (size_t)n >= size ? size - 1 : *len + (size_t)n;
}

static void fault_handler(int sig, siginfo_t* info, void* context) {
  (void)info;
  (void)context;
  TA_LOG(1, "Process received signal %s(%d)", fault_signal_name(sig), sig);

  void* frames[LOG_BACKTRACE_FRAMES];
  int count = backtrace(frames, LOG_BACKTRACE_FRAMES);
  if (count <= 0) {
    TA_LOG(1, "%s", "Backtrace unavailable.");
  } else {
    /* FNV-1a over the raw address bytes, each taken as a signed char, so that
     * equal crashes give equal hashes across reports. */
    uint64_t hash = 0xcbf29ce484222325ull;
    const signed char* bytes = (const signed char*)frames;
    for (size_t i = 0; i < (size_t)count * sizeof frames[0]; i++) {
      hash ^= (uint64_t)(int64_t)bytes[i];
      hash *= 0x100000001b3ull;
    }
    char buf[LOG_BACKTRACE_LINE];
    size_t len = 0;
    append_text(buf, sizeof buf, &len, "Backtrace hash:%#x ", (unsigned)(uint32_t)hash);
    for (int i = 0; i < count; i++) {
      char addr[32];
      int n = snprintf(addr, sizeof addr, "0x%.*lx ", 16, (unsigned long)(uintptr_t)frames[i]);
      if (len + (size_t)n >= sizeof buf) break;
      memcpy(buf + len, addr, (size_t)n + 1);
      len += (size_t)n;
    }
    TA_LOG(1, "%s", buf);
    for (int i = 0; i < count; i++) {
      len = 0;
      append_text(buf, sizeof buf, &len, "%2d:0x%.*lx", i, 16,
                  (unsigned long)(uintptr_t)frames[i]);
      Dl_info di;
      if (dladdr(frames[i], &di) != 0 && di.dli_fname != NULL) {
        append_text(buf, sizeof buf, &len, " %s", di.dli_fname);
        if (di.dli_sname != NULL) {
          append_text(buf, sizeof buf, &len, " %s", di.dli_sname);
          append_text(buf, sizeof buf, &len, "+%d",
                      (int)((const char*)frames[i] - (const char*)di.dli_saddr));
        }
      }
      TA_LOG(1, "%s", buf);
    }
  }
  if (flog >= 0) fsync(flog);
  abort();
}

static void install_fault_handler(void) {
  if (atomic_exchange(&fault_handler_installed, 1)) return;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = fault_handler;
  sa.sa_flags = SA_SIGINFO;
  sigfillset(&sa.sa_mask);
  const int signals[] = {SIGSEGV, SIGILL, SIGFPE, SIGBUS, SIGQUIT};
  for (size_t i = 0; i < sizeof signals / sizeof signals[0]; i++) {
    sigaction(signals[i], &sa, NULL);
  }
  /* The first backtrace loads the unwinder; do it now, not inside a crash. */
  void* warm_up[LOG_BACKTRACE_FRAMES];
  backtrace(warm_up, LOG_BACKTRACE_FRAMES);
}

/* ---- Starting and stopping ------------------------------------------------ */

static int make_dirs(const char* path) {
  char tmp[LOG_NAME_SIZE];
  snprintf(tmp, sizeof tmp, "%s", path);
  for (char* p = tmp + 1; *p != '\0'; p++) {
    if (*p != '/') continue;
    *p = '\0';
    if (mkdir(tmp, 0755) != 0 && errno != EEXIST) return errno;
    *p = '/';
  }
  if (mkdir(tmp, 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

/* A bare file name goes into the user's Logs folder. */
static int place_in_logs_folder(void) {
  char home_buf[LOG_NAME_SIZE];
  if (ta_path_home_dir(home_buf, sizeof home_buf) < 0) return EINVAL;
  /* The superuser's home is no place for a user's logs. */
  const char* home = strncmp(home_buf, "/var/root", 9) == 0 ? "" : home_buf;
  char dir[LOG_NAME_SIZE];
  int n = snprintf(dir, sizeof dir, "%s/Library/Logs/Tarsen", home);
  if (n < 0 || n >= (int)sizeof dir) return ERANGE;
  char joined[LOG_NAME_SIZE];
  n = snprintf(joined, sizeof joined, "%s/%s", dir, g_log_file_basename);
  if (n < 0 || n >= (int)sizeof joined) return ERANGE;
  memcpy(g_log_file_basename, joined, (size_t)n + 1);
  return make_dirs(dir);
}

/* "name:N" asks for files of N MiB; the suffix is not part of the name. */
static void take_size_suffix(void) {
  char* colon = strrchr(g_log_file_basename, ':');
  if (colon == NULL || colon == g_log_file_basename || colon[1] == '\0') return;
  uint64_t mib = 0;
  for (const char* p = colon + 1; *p != '\0'; p++) {
    if (*p < '0' || *p > '9') return;
    if (mib <= LOG_SUFFIX_MIB_MAX) mib = mib * 10 + (uint64_t)(*p - '0');
  }
  *colon = '\0';
  if (mib >= 1 && mib <= LOG_SUFFIX_MIB_MAX) max_logfile_size = mib * LOG_MIB;
}

static void flush_held_lines(int type) {
  pthread_mutex_lock(&pending_log_mutex);
  held_line* held = held_head;
  held_head = NULL;
  held_tail = &held_head;
  while (held != NULL) {
    held_line* next = held->next;
    if (type == TA_LOG_TYPE_FILE && passes_level(held->level)) {
      file_sink_printf(held->level, "%s", held->text);
    }
    free(held);
    held = next;
  }
  atomic_store(&logtype, TA_LOG_TYPE_FILE);
  /* Off only after the start is marked: see log_hold. */
  atomic_store(&enable_pending_log_lines, 0);
  pthread_mutex_unlock(&pending_log_mutex);
}

int ta_log_init(int type, const char* name) {
  if (atomic_load(&logtype) != 0) return 0;
  if (type == TA_LOG_TYPE_REFUSED || name == NULL) return EINVAL;
  size_t name_len = strlen(name);
  if (name_len > LOG_NAME_SIZE) return ENAMETOOLONG;
  /* The time zone is read now, so that no later line (one written by the
   * fault handler included) makes the C library allocate for it. */
  tzset();
  if (!log_filelock_ready) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    int rc = pthread_mutex_init(&log_filelock, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) return rc;
    log_filelock_ready = 1;
  }

  int rc = 0;
  if (strcmp(name, "-") == 0) {
    atomic_store(&log_to_stderr, 1);
  } else {
    if (name_len >= sizeof g_log_file_basename) return ENAMETOOLONG;
    memcpy(g_log_file_basename, name, name_len + 1);
    take_size_suffix();
    /* The suffix-free name is the one placed in the Logs folder. */
    if (strchr(g_log_file_basename, '/') == NULL) {
      int err = place_in_logs_folder();
      if (err != 0) return err;
    }
    rc = ta_log_rotate();
  }

  mypid = (int)getpid();
  install_fault_handler();
  if (rc != 0) return rc;

  if (atomic_load(&enable_pending_log_lines)) {
    flush_held_lines(type);
  } else {
    atomic_store(&logtype, TA_LOG_TYPE_FILE);
  }
  return 0;
}

static void free_held_lines(void) {
  held_line* held = held_head;
  held_head = NULL;
  held_tail = &held_head;
  while (held != NULL) {
    held_line* next = held->next;
    free(held);
    held = next;
  }
}

void ta_log_cleanup(void) {
  if (atomic_load(&logtype) == TA_LOG_TYPE_FILE) {
    pthread_mutex_lock(&log_filelock);
    if (flog >= 0) {
      fsync(flog);
      close(flog);
      flog = -1;
    }
    if (last_flog >= 0) {
      fsync(last_flog);
      close(last_flog);
      last_flog = -1;
    }
    atomic_store(&logtype, 0);
    pthread_mutex_unlock(&log_filelock);
    pthread_mutex_destroy(&log_filelock);
    log_filelock_ready = 0;
  }
  atomic_store(&log_to_stderr, 0);
  atomic_store(&echo_to_stderr, -1);
  if (pending_log_mutex_ready) {
    pthread_mutex_lock(&pending_log_mutex);
    free_held_lines();
    pthread_mutex_unlock(&pending_log_mutex);
  }
  if (atomic_exchange(&enable_pending_log_lines, 0)) {
    pthread_mutex_destroy(&pending_log_mutex);
    pending_log_mutex_ready = 0;
  }
}

int ta_log_enable_pending_log_lines(void) {
  if (!pending_log_mutex_ready) {
    int rc = pthread_mutex_init(&pending_log_mutex, NULL);
    if (rc != 0) return rc;
    pending_log_mutex_ready = 1;
  }
  atomic_store(&enable_pending_log_lines, 1);
  return 0;
}

/* ---- Settings ------------------------------------------------------------- */

void ta_log_set_level(int n) { atomic_store(&g_log_level, n <= -2 ? -1 : n); }

void ta_dbg_set(int flag) { atomic_store(&g_log_level, flag ? 4 : 3); }

void ta_dbg_set_all(int n) { atomic_store(&g_log_level, n >= 1 ? n + 3 : 3); }

int ta_log_get_level(void) { return atomic_load(&g_log_level); }

void ta_log_set_echo(int n) { atomic_store(&echo_to_stderr, n <= -2 ? -1 : n); }

void ta_log_set_logfile_size(int mib) {
  /* 0 and negative sizes would make every file full at once: ignored. */
  if (mib >= 1 && mib <= LOG_SETTER_MIB_MAX) max_logfile_size = (uint64_t)mib * LOG_MIB;
}

void ta_log_set_logfile_count(int n) {
  if (n >= 1) max_logfile_count = n > LOG_COUNT_LIMIT ? LOG_COUNT_LIMIT : n;
}
