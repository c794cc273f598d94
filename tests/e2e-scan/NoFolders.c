/* Preloaded into the Wine server of the end-to-end scan tests by scripts/fault-drives.sh, which
 * makes the server's folder creation its own: inside the folder named by TOVIK_NO_FOLDERS_IN no
 * folder can be made (EACCES, "access denied" to the station), while files come and go as
 * anywhere, as on a Windows share that grants "create files" but not "create folders". Root,
 * which runs the tests, passes every permission of the file system itself. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

int mkdir(const char *path, mode_t mode) {
  static int (*real)(const char *, mode_t);
  const char *refused = getenv("TOVIK_NO_FOLDERS_IN");
  if (!real)
    real = (int (*)(const char *, mode_t))dlsym(RTLD_NEXT, "mkdir");
  if (refused && *refused && strlen(path) < PATH_MAX) {
    char parent[PATH_MAX], resolved[PATH_MAX];
    const char *slash = strrchr(path, '/');
    strcpy(parent, slash ? path : ".");
    if (slash)
      parent[slash == path ? 1 : slash - path] = '\0';
    /* the server may work relative to a folder it changed into: realpath sees the same */
    if (realpath(parent, resolved) && strcmp(resolved, refused) == 0) {
      errno = EACCES;
      return -1;
    }
  }
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  return real(path, mode);
}
