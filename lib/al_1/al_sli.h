// al_sli: the shared-library loader.
//
// Opens a library by its logical name ("avptax" -> "libavptax.so") along the
// product's search path (QSE_SHLIB, or the shlib directory beside the product's
// bin directory, then LD_LIBRARY_PATH), falls back to the dynamic linker, and
// resolves entry points by name. Every failure is handed back as a text in the
// caller's buffer, never longer than `errsize` bytes with its terminator.
// Handles belong to the caller and stay loaded until sli_close.
#pragma once

#include <cstddef>

// Load flags.
enum {
  SLI_DIRECT = 1,        // load a name containing "/" as it stands
  SLI_SEARCH = 2,        // search for the library by its logical name
  SLI_NO_LIB_PREFIX = 4, // build "%s.so"/"%s.a" instead of "lib%s.so"/"lib%s.a"
  SLI_SET_LDPATH = 8     // make the search path the process's LD_LIBRARY_PATH
};

constexpr std::size_t SLI_SEARCH_PATH_SIZE = 8192;

// sli_load with flags SLI_SEARCH | SLI_SET_LDPATH (10). Null on failure.
void* sli_open(const char* name, const char* var, char* err, std::size_t errsize);
// Loads `name` (or the library the variable `var` names, when it has a value).
void* sli_load(const char* name, const char* var, int flags, char* err, std::size_t errsize);
// Searches `file` along the composed path and loads it into *handle.
// 0, or -1 when a file was found but could not be loaded.
int SearchAndLoad(const char* file, void** handle, int flags, char* err, std::size_t errsize);
// Appends the elements of `list` (split at `sep`) not yet in `path`.
// 1 something added, 0 nothing new, -1 the last new element did not fit.
int ExtendPath(const char* list, char sep, char* path, std::size_t size);
// Resolves `name` in `handle`; null (and a text in err when errsize > 0) when missing.
void* sli_fun_sym(void* handle, const char* name, char* err, std::size_t errsize);
// 0 for a null handle, else the result of dlclose.
int sli_close(void* handle);
// The product's bin directory: $QSE_BIN, or $QSE (without a trailing "/")
// followed by "/bin"; null when neither is known. The text lives in a static
// buffer until the next call.
const char* get_qse_bin(void);
