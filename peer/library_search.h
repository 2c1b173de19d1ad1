// library_search: where taxapi looks for the engine libraries, as seen from
// an environment - for `taxapi-client check`, which tells where a library
// taxapi loaded lies. Whether a library loads is taxapi's own verdict.
//
// The directories, in order: those of QSE_SHLIB, or when it is unset or
// empty the shlib directory beside the product's bin directory ($QSE_BIN, or
// $QSE/bin) if it exists; then those of LD_LIBRARY_PATH. Only absolute
// directories count; relative and empty entries are never searched. A
// library in none of them is left to the dynamic linker's own directories.
#pragma once

#include <string>
#include <vector>

namespace erp {

struct SearchDir {
  std::string dir;
  std::string from;  // the variable it comes from
};

struct LibrarySearch {
  std::vector<SearchDir> dirs;
  std::vector<std::string> ignored;  // entries passed over, with the reason
};

// The search under `env` ("NAME=value" entries).
LibrarySearch library_search(const std::vector<std::string>& env);

// The first directory holding a readable `file`, or null.
const SearchDir* find_library(const LibrarySearch& search, const std::string& file);

}  // namespace erp
