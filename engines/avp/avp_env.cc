#include "avp_env.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace avp_standin {

bool env_path(const char* name, std::string* value, std::string* error) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') {
    *error = std::string(name) + " not set";
    return false;
  }
  *value = v;
  return true;
}

bool env_writable_dir(const char* name, std::string* value, std::string* error) {
  if (!env_path(name, value, error)) return false;
  struct stat st;
  if (stat(value->c_str(), &st) != 0) {
    *error = std::string(name) + " " + *value + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = std::string(name) + " " + *value + ": not a directory";
    return false;
  }
  if (access(value->c_str(), W_OK | X_OK) != 0) {
    *error = std::string(name) + " " + *value + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace avp_standin
