/* Files as plain descriptors owned by the caller (-1 means closed). */
#ifndef TAPLATFORM_TAFILE_H
#define TAPLATFORM_TAFILE_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int ta_file_t;

/* Access flags of ta_file_open. */
#define TA_FILE_READ 1
#define TA_FILE_WRITE 2
#define TA_FILE_READWRITE 3
/* Creation and truncation when writing; mode applies to a created file. */
#define TA_FILE_CREATE 4
#define TA_FILE_TRUNCATE 8

/* Flags of ta_file_stat and ta_file_exist: examine a symbolic link itself. */
#define TA_FILE_NOFOLLOW 1

/* Type codes of ta_stat_t. */
#define TA_FILE_TYPE_DIRECTORY 1
#define TA_FILE_TYPE_REGULAR 2
#define TA_FILE_TYPE_CHARDEV 3
#define TA_FILE_TYPE_BLOCKDEV 4
#define TA_FILE_TYPE_FIFO 5
#define TA_FILE_TYPE_SOCKET 6
#define TA_FILE_TYPE_SYMLINK 7
#define TA_FILE_TYPE_OTHER 65535

typedef struct ta_stat {
  uint64_t inode;
  uint64_t size;
  uint64_t reserved1;
  uint32_t type;
  uint16_t mode;
  uint32_t uid;
  uint32_t gid;
  int64_t ctime;
  int64_t mtime;
  int64_t atime;
  uint16_t nlink;
  uint64_t reserved2;
} ta_stat_t;

int ta_file_init(ta_file_t* file);
int ta_file_open(const char* path, ta_file_t* file, int flags, mode_t mode);
int ta_file_openread(const char* path, ta_file_t* file);
int ta_file_openappend(const char* path, ta_file_t* file, mode_t mode);
int ta_file_close(ta_file_t* file);
int ta_file_flush(ta_file_t* file);
int ta_file_read(ta_file_t* file, void* buffer, size_t length, size_t* count);
int ta_file_write(ta_file_t* file, const void* buffer, size_t length,
                  size_t* count);
int ta_file_seek(ta_file_t* file, int64_t offset, int whence);
int ta_file_stat(const char* path, ta_stat_t* st, int flags);
int ta_file_fstat(ta_file_t* file, ta_stat_t* st);
int ta_file_exist(const char* path, int flags);
int ta_file_delete(const char* path);
int ta_file_hardlink(const char* existing, const char* link_path);

#ifdef __cplusplus
}
#endif

#endif
