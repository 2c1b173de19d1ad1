// vtx_entry_util: what the entry points of both stand-in libraries share at
// the C boundary: no exception ever leaves an entry point, caller texts are
// read with a bound, and the control file's result overrides.
#pragma once

#include <cstring>
#include <new>
#include <string>

#include "vtx_control.h"

namespace vtx {

// Longest caller text the engine keeps; the process's fields are far shorter.
constexpr std::size_t kMaxCallerText = 1024;

// A caller's text (null reads as empty), at most kMaxCallerText characters.
inline std::string caller_text(const char* s) {
  return s == nullptr ? std::string() : std::string(s, strnlen(s, kMaxCallerText));
}

// Runs `body`; an exception (only std::bad_alloc can occur) becomes
// `on_failure`, so nothing is thrown across the C boundary.
template <class R, class F>
R guarded(R on_failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_failure;
  }
}

// The result to return: the control file's override for entry(selector)
// when there is one, else `own`.
inline int result_of(const Control& ctl, const char* entry, long long selector, int own) {
  int forced = 0;
  return ctl.get_int(entry, selector, "", &forced) ? forced : own;
}

}  // namespace vtx
