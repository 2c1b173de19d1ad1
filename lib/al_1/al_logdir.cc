#include "al_logdir.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr mode_t kOwnDirMode = 0700;

// The account's login name, or its uid when it has none usable as a file name.
void user_dir_name(char* out, std::size_t size) {
  const uid_t uid = geteuid();
  struct passwd pw {};
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found != nullptr && found->pw_name[0] != '\0' &&
      std::strchr(found->pw_name, '/') == nullptr && std::strcmp(found->pw_name, ".") != 0 &&
      std::strcmp(found->pw_name, "..") != 0) {
    std::snprintf(out, size, "%s", found->pw_name);
  } else {
    std::snprintf(out, size, "%u", static_cast<unsigned>(uid));
  }
}

int refuse(const char* dir, const char* why, char* out) {
  std::fprintf(stderr, "taxapi: log directory %s refused: %s; no logs are written\n", dir, why);
  out[0] = '\0';
  return -1;
}

}  // namespace

int al_log_dir_for(const char* base, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (base == nullptr || base[0] == '\0') return -1;
  struct stat st {};
  if (stat(base, &st) != 0 || st.st_uid == geteuid()) {
    std::snprintf(out, size, "%s", base);
    return 0;
  }

  // A directory of another account's: this user's own directory below it.
  char name[256];
  user_dir_name(name, sizeof name);
  char dir[1024];
  if (std::snprintf(dir, sizeof dir, "%s/%s", base, name) >= static_cast<int>(sizeof dir)) {
    return refuse(base, "the path is too long", out);
  }
  if (S_ISDIR(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
    return refuse(dir, "others may write to its parent, which is not sticky", out);
  }
  const bool made = mkdir(dir, kOwnDirMode) == 0;
  const int made_errno = errno;
  const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd == -1) {
    if (errno == ELOOP || errno == ENOTDIR) {
      struct stat planted {};
      const bool link = lstat(dir, &planted) == 0 && S_ISLNK(planted.st_mode);
      return refuse(dir, link ? "it is a symbolic link" : "it is not a directory", out);
    }
    char why[128];
    std::snprintf(why, sizeof why, "it cannot be made: %s", std::strerror(errno == ENOENT ? made_errno : errno));
    return refuse(dir, why, out);
  }
  struct stat own {};
  const char* why = nullptr;
  if (fstat(fd, &own) != 0) {
    why = "it cannot be examined";
  } else if (own.st_uid != geteuid()) {
    why = "it belongs to another user";
  } else if (made) {
    fchmod(fd, kOwnDirMode);  // the umask may have taken the owner's bits
  } else if ((own.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    why = "others may write to it";
  }
  close(fd);
  if (why != nullptr) return refuse(dir, why, out);
  std::snprintf(out, size, "%s", dir);
  return 0;
}
