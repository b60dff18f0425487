// Scoped owner of one WinINet handle (HINTERNET).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>

namespace winfx {

// The slot is atomic, so a handle that one thread opened and is blocked on may be closed
// by another thread to end that call: whichever thread empties the slot first closes the
// handle, exactly once, and Get() gives null from then on.
class ScopedInternetHandle {
 public:
  ScopedInternetHandle() = default;
  explicit ScopedInternetHandle(HINTERNET handle) : handle_(handle) {}
  ~ScopedInternetHandle() { Reset(); }

  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;

  // The raw handle for an API call (null when empty); ownership stays here.
  HINTERNET Get() const { return handle_.load(); }
  explicit operator bool() const { return Get() != nullptr; }

  // Closes what is held and takes handle.
  void Reset(HINTERNET handle = nullptr) {
    HINTERNET old = handle_.exchange(handle);
    if (old != nullptr) ::InternetCloseHandle(old);
  }

 private:
  std::atomic<HINTERNET> handle_{nullptr};
};

}  // namespace winfx
