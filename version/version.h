// Release information of the program, kept as what-strings ("@(#)...") so a
// what-string search of the executable finds them.
#pragma once

// Each list ends with a null entry.
extern const char* const vers_ident[];
extern const char* const port_ident[];
extern const char* const cs_ident[];

// Selection bits of _print_version.
enum { VERSION_MAIN = 1, VERSION_DBMS = 2, VERSION_EXTRA = 4 };

// Prints with selection 1 when `main_only` is nonzero, else 3; no extra lines.
void print_version(int main_only);
// _print_version over port_ident, then print_configspec over cs_ident.
void print_version_ex(int selection, const char* const* extra);
// Prints the release block of `list` to standard error.
// The runtime library's name, kept; C++ linkage mangles it, so it cannot meet
// a C library symbol of the same spelling.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void _print_version(int selection, const char* const* list, const char* const* extra);
// Prints the build's source-selection rules when $CONFIGSPEC is "PRINT".
void print_configspec(const char* const* list);
