#include <taplatform/tapath.h>

#include <stdlib.h>
#include <string.h>

#include <taplatform/tafile.h>

#define TA_HOME_BUFFER_SIZE 2048

/* Rewrites path in place into canonical form; returns its length. */
static size_t canonicalise(char* path) {
  for (char* p = path; *p; ++p) {
    if (*p == '\\') *p = '/';
  }
  int absolute = path[0] == '/';
  size_t out = absolute ? 1 : 0;
  /* Length of the leading ".." run of a relative path; those cannot be undone. */
  size_t kept_up = 0;
  const char* p = path;
  while (*p) {
    while (*p == '/') ++p;
    if (!*p) break;
    const char* start = p;
    while (*p && *p != '/') ++p;
    size_t len = (size_t)(p - start);
    if (len == 1 && start[0] == '.') continue;
    if (len == 2 && start[0] == '.' && start[1] == '.') {
      size_t floor = absolute ? 1 : kept_up;
      if (out > floor) {
        /* Drop the previous component and its separator. */
        while (out > floor && path[out - 1] != '/') --out;
        if (out > floor) --out;
        continue;
      }
      /* ".." above the root stays at the root. */
      if (absolute) continue;
      if (out > 0) path[out++] = '/';
      path[out++] = '.';
      path[out++] = '.';
      kept_up = out;
      continue;
    }
    if (out > 0 && path[out - 1] != '/') path[out++] = '/';
    memmove(path + out, start, len);
    out += len;
  }
  if (out == 0) path[out++] = '.';
  path[out] = '\0';
  return out;
}

int ta_path_home_dir(char* buffer, size_t size) {
  if (buffer == NULL || size == 0) return -1;
  const char* home = getenv("HOME");
  if (home == NULL) return -1;
  char canonical[TA_HOME_BUFFER_SIZE];
  size_t home_len = strlen(home);
  if (home_len >= sizeof canonical) return -1;
  memcpy(canonical, home, home_len + 1);
  size_t len = canonicalise(canonical);
  if (len >= size) return -1;
  memcpy(buffer, canonical, len + 1);
  return (int)len;
}

int ta_path_find_file_in_paths(const char* name, const char* const* folders,
                               char* buffer, size_t size) {
  if (name == NULL || *name == '\0' || folders == NULL || folders[0] == NULL ||
      buffer == NULL)
    return -1;
  size_t name_len = strlen(name);
  for (const char* const* folder = folders; *folder != NULL; ++folder) {
    size_t folder_len = strlen(*folder);
    if (folder_len + name_len + 2 > size) return -1;
    memcpy(buffer, *folder, folder_len);
    buffer[folder_len] = '/';
    memcpy(buffer + folder_len + 1, name, name_len + 1);
    if (ta_file_exist(buffer, 0)) return 0;
  }
  return -1;
}
