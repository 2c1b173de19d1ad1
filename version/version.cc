#include "version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "version_info.h"

// Entry layout: "@(#)", a five-character tag, one blank (10 characters skipped
// when printed), then the key padded to 12 characters, ": " and the value.
#define IDENT(tag, key, value) "@(#)" tag " " key ": " value

const char* const vers_ident[] = {
    IDENT("(B1 )", "Prod. ver.  ", TAXAPI_PRODUCT_VERSION),
    IDENT("(B2 )", "Target      ", TAXAPI_TARGET),
    nullptr,
};

const char* const port_ident[] = {
    IDENT("(B3 )", "Port no.    ", TAXAPI_PORT_NO),
    IDENT("(B4 )", "Date        ", TAXAPI_BUILD_DATE),
    IDENT("(B5 )", "Uname       ", TAXAPI_UNAME),
    IDENT("(B6 )", "Machine-id  ", "LINUX_INTEL"),
    IDENT("(B7 )", "OS-release  ", TAXAPI_OS_RELEASE),
    IDENT("(B8 )", "CFLAGS      ", TAXAPI_CFLAGS),
    IDENT("(B9 )", "LOADFLAGS   ", "-lpthread"),
    IDENT("(B10)", "DBMS ver.   ", "-.-"),
    IDENT("(B12)", "Build-type  ", "64-bit"),
    nullptr,
};

const char* const cs_ident[] = {
    // The date is joined to its tag on purpose: one line of the block.
    // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
    "@(#)(B11) " TAXAPI_BUILD_DATE,
    "@(#)(B11) element * main/LATEST",
    "@(#)(B11) # rules for the stand-in engines live with the engines",
    "@(#)(B11) ",
    nullptr,
};

namespace {

constexpr std::size_t kPrefix = 10;
constexpr const char* kDashes = "------------------------------------------------";

std::size_t list_length(const char* const* list) {
  std::size_t n = 0;
  while (list[n] != nullptr) ++n;
  return n;
}

const char* unprefixed(const char* entry) {
  return std::strlen(entry) >= kPrefix ? entry + kPrefix : "";
}

}  // namespace

void _print_version(int selection, const char* const* list, const char* const* extra) {
  const std::size_t n = list != nullptr ? list_length(list) : 0;
  std::fprintf(stderr, "%s\n", kDashes);
  if (selection & VERSION_MAIN) {
    std::fprintf(stderr, "Product ver.: %s\n", TAXAPI_PRODUCT_VERSION);
    for (std::size_t i = 0; i < n && i < 7; ++i) std::fprintf(stderr, "%s\n", unprefixed(list[i]));
    if (n >= 9) std::fprintf(stderr, "%s\n", unprefixed(list[8]));
  }
  if ((selection & VERSION_DBMS) && n >= 8) std::fprintf(stderr, "%s\n", unprefixed(list[7]));
  if ((selection & VERSION_EXTRA) && extra != nullptr) {
    for (const char* const* line = extra; *line != nullptr; ++line) std::fprintf(stderr, "%s\n", *line);
  }
  std::fprintf(stderr, "%s\n", kDashes);
  // Referenced so the linker keeps the identification block in the program.
  (void)vers_ident;
}

void print_configspec(const char* const* list) {
  const char* want = std::getenv("CONFIGSPEC");
  if (list == nullptr || list[0] == nullptr || want == nullptr || std::strcmp(want, "PRINT") != 0) return;
  std::fprintf(stderr, "%s\n", kDashes);
  std::fprintf(stderr, "\nConfig spec: \n");
  for (const char* const* entry = list; *entry != nullptr; ++entry) {
    const char* text = unprefixed(*entry);
    if (text[0] == '#') continue;
    std::fprintf(stderr, "%s\n", text);
  }
  std::fprintf(stderr, "%s\n", kDashes);
}

void print_version_ex(int selection, const char* const* extra) {
  _print_version(selection, port_ident, extra);
  print_configspec(cs_ident);
}

void print_version(int main_only) {
  print_version_ex(main_only != 0 ? VERSION_MAIN : VERSION_MAIN | VERSION_DBMS, nullptr);
}
