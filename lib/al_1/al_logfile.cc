#include "al_logfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "al_os.h"

namespace {

constexpr mode_t kLogMode = 0600;

FILE* refuse(const char* path, const char* why, int fd, int err) {
  if (fd != -1) close(fd);
  std::fprintf(stderr, "taxapi: log file %s refused: %s\n", path, why);
  errno = err;
  return nullptr;
}

}  // namespace

FILE* al_open_logfile(const char* path) {
  if (path == nullptr || *path == '\0') {
    errno = ENOENT;
    return nullptr;
  }
  // O_NONBLOCK: a FIFO planted at the name must not hang the open.
  const int flags = O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  bool created = true;
  int fd = al_os_open(path, flags | O_CREAT | O_EXCL, kLogMode);
  if (fd == -1 && errno == EEXIST) {
    created = false;
    fd = al_os_open(path, flags, 0);
  }
  if (fd == -1) {
    if (errno == ELOOP) return refuse(path, "it is a symbolic link", -1, ELOOP);
    return nullptr;
  }

  struct stat st {};
  if (fstat(fd, &st) != 0) return refuse(path, "it cannot be examined", fd, EPERM);
  if (!S_ISREG(st.st_mode)) return refuse(path, "it is not a regular file", fd, EPERM);
  if (st.st_uid != geteuid()) return refuse(path, "it belongs to another user", fd, EPERM);
  if (st.st_nlink != 1) return refuse(path, "it has other links", fd, EPERM);
  if (created) fchmod(fd, kLogMode);  // the umask may have taken the owner's bits
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

  FILE* stream = fdopen(fd, "a+");
  if (stream == nullptr) {
    const int err = errno;
    close(fd);
    errno = err;
  }
  return stream;
}
