#include "al_logfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/uio.h>

#include <cerrno>

#include "al_os.h"

namespace {

constexpr mode_t kLogMode = 0600;

FILE* refuse(const char* path, const char* why, int fd, int err, int note) {
  if (fd != -1) close(fd);
  if (note) std::fprintf(stderr, "taxapi: log file %s refused: %s\n", path, why);
  errno = err;
  return nullptr;
}

}  // namespace

FILE* al_open_logfile(const char* path, int note) {
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
    if (errno == ELOOP) return refuse(path, "it is a symbolic link", -1, ELOOP, note);
    return nullptr;
  }

  struct stat st {};
  if (fstat(fd, &st) != 0) return refuse(path, "it cannot be examined", fd, EPERM, note);
  if (!S_ISREG(st.st_mode)) return refuse(path, "it is not a regular file", fd, EPERM, note);
  if (st.st_uid != geteuid()) return refuse(path, "it belongs to another user", fd, EPERM, note);
  if (st.st_nlink != 1) return refuse(path, "it has other links", fd, EPERM, note);
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

int al_log_append(FILE* log, const char* text, std::size_t size) {
  if (log == nullptr || text == nullptr || size == 0) return -1;
  const int fd = fileno(log);
  struct stat st {};
  char last = '\n';
  if (fstat(fd, &st) == 0 && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) != 1) last = '\n';
  char newline[] = "\n";
  struct iovec parts[2] = {{newline, 1}, {const_cast<char*>(text), size}};
  const bool torn = last != '\n';
  const struct iovec* first = torn ? parts : parts + 1;
  const std::size_t total = size + (torn ? 1 : 0);
  const ssize_t written = al_os_writev(fd, first, torn ? 2 : 1);
  return written >= 0 && static_cast<std::size_t>(written) == total ? 0 : -1;
}
