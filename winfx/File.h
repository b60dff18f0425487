// A file opened for writing. Writes report failure as a result; nothing throws.
#pragma once

#include <windows.h>

#include <string>

#include "winfx/ScopedHandle.h"

namespace winfx {

class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Creates path, or truncates it when it exists, for writing; while it is open other
  // processes may read it but not write it. Returns false (and holds nothing) when the
  // file cannot be opened; a file that is already open is closed first.
  bool Create(const std::string& path);

  // Writes all size bytes at the current position. Returns false when not all of them
  // could be written (a full disk, say) or no file is open.
  bool Write(const void* data, DWORD size);

  // Closes the file. Returns false when closing failed; true when none was open.
  bool Close();

  bool IsOpen() const { return handle_.IsValid(); }

 private:
  ScopedHandle handle_;
};

}  // namespace winfx
