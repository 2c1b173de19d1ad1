// vtx_registry: the live objects behind one kind of engine handle.
//
// A handle the process gives back is looked up here before anything is read
// through it, so a null, released or foreign pointer is only ever compared,
// never dereferenced. The registry owns its objects; remove() destroys one.
// Single-threaded, like the process that loads the engine.
#pragma once

#include <memory>
#include <unordered_map>

namespace vtx {

template <class T>
class Registry {
 public:
  // Takes ownership and returns the handle (the object's address).
  T* add(std::unique_ptr<T> obj) {
    T* raw = obj.get();
    live_[raw] = std::move(obj);
    // The object now lives in live_, not in the moved-from `obj`.
    // cppcheck-suppress returnDanglingLifetime
    return raw;
  }
  // The object behind `handle`, or null when it is not a live one.
  T* find(const void* handle) const {
    if (handle == nullptr) return nullptr;
    auto it = live_.find(handle);
    return it == live_.end() ? nullptr : it->second.get();
  }
  // Destroys the object; false when `handle` is not a live one.
  bool remove(const void* handle) { return handle != nullptr && live_.erase(handle) == 1; }
  std::size_t size() const { return live_.size(); }

 private:
  std::unordered_map<const void*, std::unique_ptr<T>> live_;
};

}  // namespace vtx
