#include "al_sli.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "al_gtenv.h"
#include "al_log.h"
#include "al_os.h"

namespace {

constexpr char kSliSource[] = "lib/al_1/al_sli.cc";
constexpr int kDlMode = RTLD_NOW | RTLD_GLOBAL;  // 258
constexpr std::size_t kNameSize = 1024;          // file names and directories
// The LD_LIBRARY_PATH entry may have this many characters; one of exactly
// this length is put whole rather than cut, as a cut path names a wrong
// directory.
constexpr std::size_t kEnvEntryMax = 4096;
// Below this many free bytes the ".a" attempt leaves no second line.
constexpr std::size_t kSecondLineMin = 64;

static_assert(kDlMode == 258);

__attribute__((format(printf, 3, 4))) void put_err(char* err, std::size_t size,
                                                   const char* fmt, ...) {
  if (!err || size == 0) return;
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(err, size, fmt, ap);
  va_end(ap);
}

const char* dl_text() {
  const char* t = al_os_dlerror();
  return t ? t : "";
}

bool is_dir(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies `name` without its member part ("name!member") into out; false when
// it does not fit.
bool cut_member(const char* name, char* out, std::size_t size) {
  const std::size_t len = std::strcspn(name, "!");
  if (len >= size) return false;
  std::memcpy(out, name, len);
  out[len] = '\0';
  return true;
}

// "lib<base><ext>", or "<base><ext>" with SLI_NO_LIB_PREFIX; false when it
// does not fit.
bool lib_file_name(const char* base, int flags, const char* ext, char* out, std::size_t size) {
  const char* prefix = (flags & SLI_NO_LIB_PREFIX) ? "" : "lib";
  const int n = std::snprintf(out, size, "%s%s%s", prefix, base, ext);
  return n >= 0 && static_cast<std::size_t>(n) < size;
}

void name_too_long(char* err, std::size_t size, const char* name) {
  put_err(err, size, "Load of shared library '%s' failed. %s", name, std::strerror(ENAMETOOLONG));
}

// "<parent of bin>/shlib"; false when it does not fit.
bool shlib_beside(const char* bin, char* out, std::size_t size) {
  std::size_t len = std::strlen(bin);
  while (len > 1 && bin[len - 1] == '/') --len;
  std::size_t slash = len;
  while (slash > 0 && bin[slash - 1] != '/') --slash;
  const char* parent = bin;
  std::size_t plen;
  if (slash == 0) {
    parent = ".";  // a bare relative name: its parent is here
    plen = 1;
  } else {
    plen = slash - 1;
    while (plen > 0 && bin[plen - 1] == '/') --plen;
  }
  const int n = std::snprintf(out, size, "%.*s%c%s", static_cast<int>(plen), parent, '/', "shlib");
  return n >= 0 && static_cast<std::size_t>(n) < size;
}

// Makes `path` the process's LD_LIBRARY_PATH. An entry longer than
// kEnvEntryMax characters is reported and not put: the former value stays.
void setSystemLibPath(const char* path) {
  char entry[kEnvEntryMax + 1];
  const int n = std::snprintf(entry, sizeof entry, "%s=%s", "LD_LIBRARY_PATH", path);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) > kEnvEntryMax) {
    entry[kEnvEntryMax - 1] = '\0';  // what a 4096-byte buffer would have held
    log_mesg(kSliSource, __LINE__, "setSystemLibPath", 0,
             "Value of environment variable %s exceeds maximum of %d characters, and is "
             "truncated to '%s'.",
             "LD_LIBRARY_PATH", static_cast<int>(kEnvEntryMax),
             entry + std::strlen("LD_LIBRARY_PATH="));
    return;
  }
  for (char* c = entry; *c; ++c) {
    if (*c == '\\') *c = '/';
  }
  put_env_entry(entry);
}

// Whether `path` already holds the element [elem, elem + len) as a whole.
bool has_element(const char* path, char sep, const char* elem, std::size_t len) {
  const char* p = path;
  for (;;) {
    const char* end = p;
    while (*end && *end != sep) ++end;
    if (static_cast<std::size_t>(end - p) == len && std::memcmp(p, elem, len) == 0) return true;
    if (!*end) return false;
    p = end + 1;
  }
}

// Appends the absolute elements of `list` to `path` (ExtendPath's result).
// A relative or empty element would make the loader, or the dynamic linker
// once it is LD_LIBRARY_PATH, search the current directory, where anyone
// may have put a library.
int extend_absolute(const char* list, char* path, std::size_t size) {
  if (!list) return 0;
  int result = 0;
  for (const char* p = list;;) {
    const char* end = std::strchr(p, ':');
    if (!end) end = p + std::strlen(p);
    if (end > p && *p == '/') {
      const std::string elem(p, end);
      const int r = ExtendPath(elem.c_str(), ':', path, size);
      if (r != 0) result = r;
    }
    if (!*end) break;
    p = end + 1;
  }
  return result;
}

// Whether every entry of a LD_LIBRARY_PATH value is an absolute directory;
// an unset value has none that is not.
bool all_absolute(const char* list) {
  if (!list) return true;
  for (const char* p = list;;) {
    if (*p != '/') return false;  // empty (":" or the end) or relative
    const char* end = std::strchr(p, ':');
    if (!end) return true;
    p = end + 1;
  }
}

// The dynamic linker searches the LD_LIBRARY_PATH the process started with,
// whatever the environment says later: judged once, before main.
const bool g_startup_ldpath_safe = all_absolute(std::getenv("LD_LIBRARY_PATH"));

}  // namespace

int ExtendPath(const char* list, char sep, char* path, std::size_t size) {
  if (!list) return 0;
  if (!path || size == 0) return -1;
  std::size_t len = strnlen(path, size);
  if (len == size) return -1;  // not a terminated text: nothing can be added safely

  int result = 0;
  const char* p = list;
  for (;;) {
    const char* end = p;
    while (*end && *end != sep) ++end;
    const std::size_t elen = static_cast<std::size_t>(end - p);
    // An empty element would mean the current directory to the dynamic
    // linker: it is never added.
    if (elen > 0 && !has_element(path, sep, p, elen)) {
      if (len + elen + 1 < size) {
        if (len > 0 && path[len - 1] != sep) path[len++] = sep;
        std::memcpy(path + len, p, elen);
        len += elen;
        path[len] = '\0';
        result = 1;
      } else {
        result = -1;
      }
    }
    if (!*end) break;
    p = end + 1;
  }
  return result;
}

int SearchAndLoad(const char* file, void** handle, int flags, char* err, std::size_t errsize) {
  if (err && errsize > 0) err[0] = '\0';
  if (handle) *handle = nullptr;
  if (!file || !handle) {
    put_err(err, errsize, "Load of shared library '%s' failed. %s", file ? file : "NULL",
            std::strerror(EINVAL));
    return 0;
  }

  char path[SLI_SEARCH_PATH_SIZE];
  path[0] = '\0';
  int added = 0;
  const char* shlib = getvar("QSE_SHLIB");
  if (shlib && *shlib) {
    added = extend_absolute(shlib, path, sizeof path);
  } else if (const char* bin = get_qse_bin()) {
    char dir[kNameSize];
    if (shlib_beside(bin, dir, sizeof dir) && is_dir(dir)) {
      added = extend_absolute(dir, path, sizeof path);
    }
  }
  if (added != -1) extend_absolute(getvar("LD_LIBRARY_PATH"), path, sizeof path);

  if ((flags & SLI_SET_LDPATH) && path[0]) setSystemLibPath(path);

  char full[kNameSize];
  bool found = false;
  for (const char* p = path; *p && !found;) {
    const char* end = std::strchr(p, ':');
    if (!end) end = p + std::strlen(p);
    const std::size_t dlen = static_cast<std::size_t>(end - p);
    if (dlen > 0) {
      const int n = std::snprintf(full, sizeof full, "%.*s%c%s", static_cast<int>(dlen), p, '/', file);
      // A name that had to be cut is not the file: that directory is passed over.
      found = n >= 0 && static_cast<std::size_t>(n) < sizeof full && access(full, R_OK) == 0;
    }
    p = *end ? end + 1 : end;
  }

  // A bare name goes to the dynamic linker, which would search an empty or
  // relative start-up LD_LIBRARY_PATH entry: the current directory.
  if (!found && !std::strchr(file, '/') && !g_startup_ldpath_safe) {
    put_err(err, errsize, "Load of shared library '%s' failed. %s", file,
            "Not found in the search path (LD_LIBRARY_PATH has a relative or empty entry).");
    return 0;
  }
  const char* target = found ? full : file;
  *handle = al_os_dlopen(target, kDlMode);
  if (!*handle) {
    put_err(err, errsize, "Load of shared library '%s' failed. %s", target, dl_text());
    return found ? -1 : 0;
  }
  return 0;
}

void* sli_load(const char* name, const char* var, int flags, char* err, std::size_t errsize) {
  if (err && errsize > 0) err[0] = '\0';
  void* handle = nullptr;
  char base[kNameSize];
  char file[kNameSize];

  if (var && *var) {
    const char* value = getvar(var);
    if (value && *value) {
      if (std::strchr(value, '/')) {
        SearchAndLoad(value, &handle, flags, err, errsize);
      } else if (cut_member(value, base, sizeof base) &&
                 lib_file_name(base, flags, ".so", file, sizeof file)) {
        SearchAndLoad(file, &handle, flags, err, errsize);
      } else {
        name_too_long(err, errsize, value);
      }
      return handle;
    }
  }

  if (!name) {
    put_err(err, errsize, "Load of shared library failed '%s'. %s", "NULL", std::strerror(EINVAL));
    return nullptr;
  }
  if (!cut_member(name, base, sizeof base)) {
    name_too_long(err, errsize, name);
    return nullptr;
  }
  const bool has_slash = std::strchr(base, '/') != nullptr;
  bool tried = false;

  if ((flags & SLI_DIRECT) && has_slash) {
    tried = true;
    handle = al_os_dlopen(base, kDlMode);
    if (!handle) put_err(err, errsize, "Load of shared library failed '%s'. %s", name, dl_text());
  }

  if (!handle && (flags & SLI_SEARCH) && !has_slash) {
    tried = true;
    if (!lib_file_name(base, flags, ".so", file, sizeof file)) {
      name_too_long(err, errsize, name);
      return nullptr;
    }
    const int searched = SearchAndLoad(file, &handle, flags, err, errsize);
    if (!handle && searched == 0 && lib_file_name(base, flags, ".a", file, sizeof file)) {
      char* err2 = nullptr;
      std::size_t size2 = 0;
      if (err && errsize > 0) {
        const std::size_t len = std::strlen(err);
        if (errsize - len - 1 > kSecondLineMin) {
          err[len] = '\n';
          err[len + 1] = '\0';
          err2 = err + len + 1;
          size2 = errsize - len - 1;
        }
      }
      SearchAndLoad(file, &handle, flags, err2, size2);
    }
  }

  // Neither way applies to this name and these flags: say so rather than
  // return none with an empty text.
  if (!tried) {
    put_err(err, errsize, "Load of shared library failed '%s'. %s", name,
            "no load method applies to this name");
  }
  return handle;
}

void* sli_open(const char* name, const char* var, char* err, std::size_t errsize) {
  return sli_load(name, var, SLI_SEARCH | SLI_SET_LDPATH, err, errsize);
}

void* sli_fun_sym(void* handle, const char* name, char* err, std::size_t errsize) {
  void* address = nullptr;
  const char* why;
  if (!handle) {
    // dlsym would take a null handle for the global scope and find the name
    // in whatever happens to be loaded.
    why = "no library handle";
  } else if (!name) {
    why = std::strerror(EINVAL);
  } else {
    address = al_os_dlsym(handle, name);
    why = address ? "" : dl_text();
  }
  if (!address) {
    put_err(err, errsize, "Load of function symbol failed '%s'. %s", name ? name : "NULL", why);
  }
  return address;
}

int sli_close(void* handle) {
  if (!handle) return 0;
  return dlclose(handle);
}

const char* get_qse_bin(void) {
  static char bin[kNameSize];
  const char* qse_bin = getvar("QSE_BIN");
  if (qse_bin && *qse_bin) {
    const int n = std::snprintf(bin, sizeof bin, "%s", qse_bin);
    return (n >= 0 && static_cast<std::size_t>(n) < sizeof bin) ? bin : nullptr;
  }
  const char* root = getvar("QSE");
  if (!root || !*root) return nullptr;
  std::size_t len = std::strlen(root);
  if (len > 1 && root[len - 1] == '/') --len;
  const int n = std::snprintf(bin, sizeof bin, "%.*s/bin", static_cast<int>(len), root);
  return (n >= 0 && static_cast<std::size_t>(n) < sizeof bin) ? bin : nullptr;
}
