// Scoped owners of kernel and other plain handles. Every handle the program acquires is
// held by one of these; nothing calls CloseHandle, FindClose, FreeLibrary, UnmapViewOfFile or DestroyIcon by
// hand.
#pragma once

#include <windows.h>

#include <utility>

namespace winfx {

// Owns one handle of a kind described by Traits (Traits::Handle, IsValid, Close).
// Move-only; an empty owner holds Traits' empty value.
template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle h) : handle_(h) {}
  ~ScopedGeneric() { Reset(); }

  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return IsValid(); }

  // The raw handle for an API call; ownership stays here.
  Handle Get() const { return handle_; }

  // Closes what is held and takes h.
  void Reset(Handle h = Traits::Empty()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = h;
  }

  // Gives up ownership without closing.
  Handle Release() {
    Handle h = handle_;
    handle_ = Traits::Empty();
    return h;
  }

 private:
  Handle handle_ = Traits::Empty();
};

// A kernel object handle: both NULL and INVALID_HANDLE_VALUE count as empty.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using ScopedHandle = ScopedGeneric<KernelHandleTraits>;

// A FindFirstFile search.
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;

// A module loaded with LoadLibrary.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
using ScopedModule = ScopedGeneric<ModuleTraits>;

// A hook set with SetWindowsHookEx.
struct HookTraits {
  using Handle = HHOOK;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::UnhookWindowsHookEx(h); }
};
using ScopedHook = ScopedGeneric<HookTraits>;

// A view of a file mapping (MapViewOfFile), unmapped at scope exit.
struct MappedViewTraits {
  using Handle = void*;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::UnmapViewOfFile(h); }
};
using ScopedMappedView = ScopedGeneric<MappedViewTraits>;

// An icon of the program's own (LoadImage without LR_SHARED, CreateIcon*), destroyed with
// DestroyIcon. Shared icons (LoadIcon) must not be put here.
struct IconTraits {
  using Handle = HICON;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};
using ScopedIcon = ScopedGeneric<IconTraits>;

// A window made with CreateWindowEx and destroyed by its owner (on the thread that made it).
struct WindowTraits {
  using Handle = HWND;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
using ScopedWindow = ScopedGeneric<WindowTraits>;

}  // namespace winfx
