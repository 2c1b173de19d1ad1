#include "al_gtenv.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "al_log.h"
#include "al_os.h"

QseVar* sVarFirst = nullptr;
QseVar* sVarLast = nullptr;
int sVarInit = 0;

namespace {

constexpr char kGtenvSource[] = "lib/al_1/al_gtenv.cc";
// Longest value copied before expansion.
constexpr std::size_t kRawValueMax = 8191;

char sRoot[QSE_PATH_SIZE];  // the environment root; "" until known
bool sRereading = false;    // a reread is in progress: only earlier lines reject

// The environment copies this module handed to putenv, by variable name.
struct OwnedEntry {
  char name[64];
  char* entry;
};
OwnedEntry sOwned[8];

bool in_environ(const char* p) {
  for (char** e = environ; e && *e; ++e) {
    if (*e == p) return true;
  }
  return false;
}

QseVar* find_var(std::string_view name) {
  for (QseVar* v = sVarFirst; v; v = v->next) {
    if (name == v->name) return v;
  }
  return nullptr;
}

void drop_list() {
  QseVar* v = sVarFirst;
  while (v) {
    QseVar* next = v->next;
    std::free(v->name);
    std::free(v->value);
    std::free(v);
    v = next;
  }
  sVarFirst = sVarLast = nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Appends n bytes to out (capacity size, keeping room for the terminator).
bool put(char* out, std::size_t size, std::size_t& used, const char* s, std::size_t n) {
  if (used + n >= size) return false;
  std::memcpy(out + used, s, n);
  used += n;
  return true;
}

// The text that replaces a reference to `name` ("" drops it).
const char* reference_value(const std::string& name) {
  const char* env = std::getenv(name.c_str());
  if (env && *env) return env;
  if (name == "QSE") return get_qse_root();
  if (const QseVar* v = find_var(name)) return v->value;
  return "";
}

// Expands the "${NAME}" references of `in` into out; false when the result
// would not stay under `size` characters.
bool expand(const char* in, char* out, std::size_t size) {
  std::size_t used = 0;
  const char* p = in;
  while (*p) {
    if (p[0] == '$' && p[1] == '{') {
      const char* close = std::strchr(p + 2, '}');
      if (close && close - (p + 2) >= 2) {
        const std::string name(p + 2, static_cast<std::size_t>(close - (p + 2)));
        const std::size_t ref_len = static_cast<std::size_t>(close - p) + 1;
        if (name == "QSE_LOCAL") {
          if (!put(out, size, used, p, ref_len)) return false;
        } else {
          const char* value = reference_value(name);
          if (!put(out, size, used, value, std::strlen(value))) return false;
        }
        p += ref_len;
        continue;
      }
    }
    if (!put(out, size, used, p, 1)) return false;
    ++p;
  }
  out[used] = '\0';
  return true;
}

// Writes the file's path; false when it does not fit, so that a cut path is
// never opened in its place.
bool vars_path(const char* root, char* buf, std::size_t size) {
  const char* dir = (root && *root) ? root : get_qse_root();
  const int n = std::snprintf(buf, size, "%s%clib%cqse_vars", dir, '/', '/');
  return n >= 0 && static_cast<std::size_t>(n) < size;
}

enum class Line { kEnd, kTooLong, kOk };

// Reads one line without its newline into buf (QSE_VARS_LINE_MAX + 1 bytes).
// A longer line is consumed to its end and reported as kTooLong, so its tail
// is never taken for lines of its own.
Line read_line(FILE* f, char* buf) {
  std::size_t n = 0;
  bool any = false;
  int c;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (n == QSE_VARS_LINE_MAX) {
      while ((c = std::getc(f)) != EOF && c != '\n') {
      }
      return Line::kTooLong;
    }
    buf[n++] = static_cast<char>(c);
  }
  if (!any) return Line::kEnd;
  buf[n] = '\0';
  return Line::kOk;
}

// Splits one line into name and value and stores them; true when stored.
bool parse_line(char* line) {
  if (line[0] == '#') return false;
  char* eq = std::strchr(line, '=');
  if (!eq) return false;
  *eq = '\0';
  char* name = line;
  while (is_blank(*name)) ++name;
  char* end = eq;
  while (end > name && is_blank(end[-1])) --end;
  *end = '\0';
  if (*name == '\0') return false;
  char* value = eq + 1;
  const std::size_t vlen = std::strlen(value);
  if (vlen > 0 && value[vlen - 1] == '\r') value[vlen - 1] = '\0';
  return add_var_callback(name, value) == 0;
}

}  // namespace

const char* _getvar(const char* name, int /*flag*/, int* where) {
  if (where) *where = GETVAR_NOT_FOUND;
  if (!name) return nullptr;
  if (const char* env = std::getenv(name)) {
    if (where) *where = GETVAR_FROM_ENV;
    return env;
  }
  read_qse_vars(nullptr, 0);
  if (const QseVar* v = find_var(name)) {
    if (where && v->value) *where = GETVAR_FROM_FILE;
    return v->value;
  }
  return nullptr;
}

const char* getvar(const char* name) { return _getvar(name, 0, nullptr); }

const char* getvar_ex(const char* name, int flag) { return _getvar(name, flag, nullptr); }

char* get_qse_vars_path(const char* root, char* buf, std::size_t size) {
  if (buf && size > 0) vars_path(root, buf, size);
  return buf;
}

int read_qse_vars(const char* root, int reread) {
  if (reread) {
    drop_list();
    sVarInit = 0;
    sRoot[0] = '\0';  // QSE may have changed too: take it afresh
  }
  if (sVarInit) return 0;
  sVarInit = 1;  // set before the path is made: the root lookup may come back here

  char path[QSE_PATH_SIZE];
  if (!vars_path(root, path, sizeof path)) return 0;
  FILE* f = al_os_fopen(path, "r");
  if (!f) return 0;

  sRereading = reread != 0;
  int stored = 0;
  char line[QSE_VARS_LINE_MAX + 1];
  for (;;) {
    const Line got = read_line(f, line);
    if (got == Line::kEnd) break;
    if (got == Line::kOk && parse_line(line)) ++stored;
  }
  sRereading = false;
  std::fclose(f);
  return stored;
}

int add_var_callback(const char* name, const char* value) {
  if (!name || !value) return 1;
  if (std::strcmp(name, "QSE") == 0 || std::strcmp(name, "QSE_NAME") == 0) return 1;
  if (!sRereading && std::getenv(name)) return 1;
  if (find_var(name)) return 1;

  char raw[kRawValueMax + 1];
  char expanded[QSE_VARS_EXPAND_SIZE];
  std::snprintf(raw, sizeof raw, "%s", value);
  const char* stored = raw;
  if (expand(raw, expanded, sizeof expanded)) {
    stored = expanded;
  } else {
    log_mesg(kGtenvSource, __LINE__, "add_var_callback", 0, "no space to expand '%s'", raw);
  }

  auto* node = static_cast<QseVar*>(std::malloc(sizeof(QseVar)));
  char* name_copy = strdup(name);
  char* value_copy = strdup(stored);
  if (!node || !name_copy || !value_copy) {
    std::free(node);
    std::free(name_copy);
    std::free(value_copy);
    return 1;
  }
  node->name = name_copy;
  node->value = value_copy;
  node->next = nullptr;
  if (sVarLast) {
    sVarLast->next = node;
  } else {
    sVarFirst = node;
  }
  sVarLast = node;
  return 0;
}

const char* get_qse_root(void) {
  if (sRoot[0] == '\0') {
    const char* v = getvar("QSE");
    if (v && *v) {
      std::snprintf(sRoot, sizeof sRoot, "%s", v);
      std::size_t len = std::strlen(sRoot);
      if (len > 1 && sRoot[len - 1] == '/') sRoot[--len] = '\0';
      for (char* c = sRoot; *c; ++c) {
        if (*c == '\\') *c = '/';
      }
      const char* env = std::getenv("QSE");
      if (!env || std::strcmp(env, sRoot) != 0) {
        std::string entry = std::string("QSE=") + sRoot;
        put_env_entry(entry.c_str());
      }
    }
  }
  return sRoot;
}

int put_env_entry(const char* entry) {
  if (!entry) return -1;
  const char* eq = std::strchr(entry, '=');
  if (!eq || eq == entry) return -1;
  const std::string_view name(entry, static_cast<std::size_t>(eq - entry));

  char* copy = strdup(entry);
  if (!copy) return -1;
  if (putenv(copy) != 0) {
    std::free(copy);
    return -1;
  }

  OwnedEntry* slot = nullptr;
  for (OwnedEntry& o : sOwned) {
    if (o.entry && name == o.name) {
      slot = &o;
      break;
    }
  }
  if (!slot && name.size() < sizeof slot->name) {
    for (OwnedEntry& o : sOwned) {
      if (!o.entry) {
        slot = &o;
        std::memcpy(o.name, name.data(), name.size());
        o.name[name.size()] = '\0';
        break;
      }
    }
  }
  // Without a slot the copy simply lives as long as the process.
  if (slot) {
    char* old = slot->entry;
    slot->entry = copy;
    if (old && !in_environ(old)) std::free(old);
  }
  return 0;
}
