#include <taplatform/tafile.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taplatform/talog.h>

int ta_file_init(ta_file_t* file) {
  if (file == NULL) return EINVAL;
  *file = -1;
  return 0;
}

int ta_file_open(const char* path, ta_file_t* file, int flags, mode_t mode) {
  if (file == NULL) return EINVAL;
  *file = -1;
  if (path == NULL) return EINVAL;
  int oflags;
  switch (flags & TA_FILE_READWRITE) {
    case TA_FILE_READ: oflags = O_RDONLY; break;
    case TA_FILE_WRITE: oflags = O_WRONLY; break;
    case TA_FILE_READWRITE: oflags = O_RDWR; break;
    default: return EINVAL;
  }
  if (flags & TA_FILE_CREATE) oflags |= O_CREAT;
  if (flags & TA_FILE_TRUNCATE) oflags |= O_TRUNC;
  int fd = open(path, oflags, mode);
  if (fd < 0) return errno;
  *file = fd;
  return 0;
}

int ta_file_openread(const char* path, ta_file_t* file) {
  return ta_file_open(path, file, TA_FILE_READ, 0);
}

int ta_file_openappend(const char* path, ta_file_t* file, mode_t mode) {
  if (file == NULL) return EINVAL;
  *file = -1;
  if (path == NULL) return EINVAL;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, mode);
  if (fd < 0) return errno;
  *file = fd;
  return 0;
}

int ta_file_close(ta_file_t* file) {
  if (file == NULL) return EINVAL;
  if (*file == -1) return 0;
  if (close(*file) != 0) return errno;
  *file = -1;
  return 0;
}

int ta_file_flush(ta_file_t* file) {
  if (file == NULL || *file == -1) return EINVAL;
  return fsync(*file) == 0 ? 0 : errno;
}

int ta_file_read(ta_file_t* file, void* buffer, size_t length, size_t* count) {
  if (count != NULL) *count = 0;
  if (file == NULL || buffer == NULL) return EINVAL;
  ssize_t n = read(*file, buffer, length);
  if (n < 0) {
    int err = errno;
    TA_LOG(1, "ta_fileread: read failed. error=%d", err);
    return err;
  }
  if (count != NULL) *count = (size_t)n;
  return 0;
}

/* Logs nothing: the log itself writes through here. */
int ta_file_write(ta_file_t* file, const void* buffer, size_t length,
                  size_t* count) {
  if (count != NULL) *count = 0;
  if (file == NULL || buffer == NULL) return EINVAL;
  ssize_t n = write(*file, buffer, length);
  if (n < 0) return errno;
  if (count != NULL) *count = (size_t)n;
  return 0;
}

int ta_file_seek(ta_file_t* file, int64_t offset, int whence) {
  if (file == NULL) return EINVAL;
  if (lseek(*file, (off_t)offset, whence) == (off_t)-1) {
    int err = errno;
    TA_LOG(1, "ta_file_seek: seek to %llu failed. error=%d",
           (unsigned long long)offset, err);
    return err;
  }
  return 0;
}

static uint32_t type_code(mode_t mode) {
  if (S_ISDIR(mode)) return TA_FILE_TYPE_DIRECTORY;
  if (S_ISREG(mode)) return TA_FILE_TYPE_REGULAR;
  if (S_ISCHR(mode)) return TA_FILE_TYPE_CHARDEV;
  if (S_ISBLK(mode)) return TA_FILE_TYPE_BLOCKDEV;
  if (S_ISFIFO(mode)) return TA_FILE_TYPE_FIFO;
  if (S_ISSOCK(mode)) return TA_FILE_TYPE_SOCKET;
  if (S_ISLNK(mode)) return TA_FILE_TYPE_SYMLINK;
  return TA_FILE_TYPE_OTHER;
}

static void fill_stat(ta_stat_t* out, const struct stat* sb) {
  out->inode = (uint64_t)sb->st_ino;
  out->size = (uint64_t)sb->st_size;
  out->reserved1 = 0;
  out->type = type_code(sb->st_mode);
  out->mode = (uint16_t)sb->st_mode;
  out->uid = (uint32_t)sb->st_uid;
  out->gid = (uint32_t)sb->st_gid;
  out->ctime = (int64_t)sb->st_ctime;
  out->mtime = (int64_t)sb->st_mtime;
  out->atime = (int64_t)sb->st_atime;
  out->nlink = (uint16_t)sb->st_nlink;
  out->reserved2 = 0;
}

int ta_file_stat(const char* path, ta_stat_t* st, int flags) {
  if (path == NULL || st == NULL) return EINVAL;
  struct stat sb;
  int rc = (flags & TA_FILE_NOFOLLOW) ? lstat(path, &sb) : stat(path, &sb);
  if (rc != 0) return errno;
  fill_stat(st, &sb);
  return 0;
}

int ta_file_fstat(ta_file_t* file, ta_stat_t* st) {
  if (file == NULL || st == NULL) return EINVAL;
  struct stat sb;
  if (fstat(*file, &sb) != 0) return errno;
  fill_stat(st, &sb);
  return 0;
}

int ta_file_exist(const char* path, int flags) {
  if (path == NULL) return 0;
  struct stat sb;
  int rc = (flags & TA_FILE_NOFOLLOW) ? lstat(path, &sb) : stat(path, &sb);
  return rc == 0 ? 1 : 0;
}

int ta_file_delete(const char* path) {
  if (path == NULL) return EINVAL;
  return unlink(path) == 0 ? 0 : errno;
}

int ta_file_hardlink(const char* existing, const char* link_path) {
  if (existing == NULL || link_path == NULL) return EINVAL;
  return link(existing, link_path) == 0 ? 0 : errno;
}
