// vtx_entry_util: what the entry points of both stand-in libraries share at
// the C boundary: no exception ever leaves an entry point, caller texts are
// read with a bound, the control file's result overrides, and handles are
// made and released through a registry.
#pragma once

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "vtx_control.h"
#include "vtx_registry.h"

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

// An entry point that makes a handle: a new T owned by `registry`, or null
// when the control file says `null` for `entry` or memory runs out.
template <class T>
T* create_entry(const char* entry, Registry<T>& registry) noexcept {
  return guarded(static_cast<T*>(nullptr), [&]() -> T* {
    Control ctl = Control::load(entry);
    if (ctl.is_null(entry, Control::kNoSelector, "")) return nullptr;
    return registry.add(std::make_unique<T>());
  });
}

// An entry point that releases a handle: destroys its object and returns 1,
// or 0 for a handle that is not live; the control file may override.
template <class T>
int release_entry(const char* entry, Registry<T>& registry, const void* handle) noexcept {
  return guarded(0, [&] {
    Control ctl = Control::load(entry);
    return result_of(ctl, entry, Control::kNoSelector, registry.remove(handle) ? 1 : 0);
  });
}

}  // namespace vtx
