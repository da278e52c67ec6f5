/* Process-wide log: a ring of numbered files, repeat folding, stderr echo. */
#ifndef TAPLATFORM_TALOG_H
#define TAPLATFORM_TALOG_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sink types for ta_log_init. */
#define TA_LOG_TYPE_NONE 0
#define TA_LOG_TYPE_FILE 2
#define TA_LOG_TYPE_REFUSED 3

/* Writes one message; never changes errno. Texts from outside must be passed
 * as arguments, never as the format. */
void ta_log_msg(int level, const char* source_file, int source_line,
                const char* format, ...)
    __attribute__((format(printf, 4, 5)));

int ta_log_init(int type, const char* name);
void ta_log_cleanup(void);
int ta_log_rotate(void);
int ta_log_openfile(void);
int ta_log_enable_pending_log_lines(void);

void ta_log_set_level(int n);
void ta_dbg_set(int flag);
void ta_dbg_set_all(int n);
void ta_log_set_echo(int n);
void ta_log_set_logfile_size(int mib);
void ta_log_set_logfile_count(int n);

/* The level now in force (-1: nothing is written). */
int ta_log_get_level(void);

#ifdef __cplusplus
}
#endif

/* Logs with the caller's own source position. */
#define TA_LOG(level, ...) ta_log_msg((level), __FILE__, __LINE__, __VA_ARGS__)

#endif
