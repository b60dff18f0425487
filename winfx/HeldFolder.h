// HeldFolder: a folder held open so that nobody can rename, remove or replace it (no
// delete sharing) while others may still read and write what it holds; and what the open
// handle says of it (attributes, final path, security), so that a check is made on the
// folder that stays held, not on whatever its path names later.
#pragma once

#include <windows.h>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace winfx {

// The path an open handle's file or folder has as the system names it ("\\?\C:\...");
// "" when it cannot be told.
WideString FinalPathOf(HANDLE handle);

class HeldFolder {
 public:
  HeldFolder() = default;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  // Releases any folder held, then opens path (a reparse point as itself where the system
  // allows) for listing and reading its permissions, and changing them where this process
  // may. False (last error set, nothing held) when it cannot be opened.
  bool Open(const WideString& path);
  void Release() { handle_.Reset(); }
  bool IsHeld() const { return handle_.IsValid(); }

  // The attributes of the folder held; INVALID_FILE_ATTRIBUTES when none is held.
  DWORD Attributes() const;
  // The path the held folder has as the system names it ("\\?\C:\..."); "" when unknown.
  WideString FinalPath() const { return FinalPathOf(handle_.Get()); }

  // For the security functions, which take the handle as it is.
  HANDLE GetHandleUnsafe() const { return handle_.Get(); }

 private:
  ScopedHandle handle_;
};

}  // namespace winfx
