// al_gtenv: lookup of the product environment's variables.
//
// A name is looked up in the process environment first and then in the
// variables file "$QSE/lib/qse_vars", which is read at most once per process
// (on the first lookup the environment cannot answer) into an ordered list.
// The environment wins over the file, and the first line for a name wins over
// later ones. Values may refer to other variables as "${NAME}".
//
// Returned values belong to the environment or to the list: the caller does
// not free them, and they stay valid until the list is dropped (a reread) or
// the environment entry is replaced. Single-threaded: the list, the read flag
// and the root cache are process-wide and unguarded.
#pragma once

#include <cstddef>

// Where-found codes of _getvar.
enum {
  GETVAR_NOT_FOUND = 0,
  GETVAR_FROM_ENV = 3,
  GETVAR_FROM_FILE = 4,
};

// Longest line of the variables file, without its newline. A longer line is
// read to its end and ignored as a whole.
constexpr std::size_t QSE_VARS_LINE_MAX = 8190;
// An expanded value must stay under this many characters.
constexpr std::size_t QSE_VARS_EXPAND_SIZE = 4096;
// Size of the variables file's path buffer, and of the root cache.
constexpr std::size_t QSE_PATH_SIZE = 1024;

// One variable of the file. Name and value are owned by the node.
struct QseVar {
  char* name;
  char* value;
  QseVar* next;
};

// The list in file order; read-only for everyone but this module.
extern QseVar* sVarFirst;
extern QseVar* sVarLast;
// Set while and after the file is read.
extern int sVarInit;

// The value of `name`, or null.
const char* getvar(const char* name);
// The same; `flag` has no effect on the lookup.
const char* getvar_ex(const char* name, int flag);
// The lookup itself; *where (when given) receives a GETVAR_* code.
// The runtime library's name, kept; C++ linkage mangles it, so it cannot meet
// a C library symbol of the same spelling.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
const char* _getvar(const char* name, int flag, int* where);

// Reads the variables file of `root` (null or empty: the environment root)
// into the list unless it was read already. With `reread` nonzero it first
// drops the list, the read flag and the cached root. Returns the number of
// variables this call stored. A missing or unreadable file leaves the list
// empty and is not an error.
int read_qse_vars(const char* root, int reread);

// Writes "<dir>/lib/qse_vars" into buf (cut to `size`) and returns buf; dir is
// `root` when non-empty, else the environment root (no tenant support: the
// environment's own root is always used).
char* get_qse_vars_path(const char* root, char* buf, std::size_t size);

// Stores one variable of the file: expands its "${NAME}" references and
// appends it to the list. 0 stored; 1 rejected (the names QSE and QSE_NAME,
// a name the environment or an earlier line already defines, no memory).
int add_var_callback(const char* name, const char* value);

// The product root from "QSE": cached (at most 1023 characters), one trailing
// "/" removed, backslashes made slashes, and put back into the environment as
// QSE when the environment's text differs. "" when unknown.
const char* get_qse_root(void);

// Puts the environment entry "NAME=VALUE" as a private heap copy (putenv
// keeps the pointer it is given, so the storage must outlive the entry). The
// copy this module made before for the same name is freed once the
// environment no longer points to it. 0 done, -1 failed (nothing changed).
int put_env_entry(const char* entry);
