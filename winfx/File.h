// A file opened for writing. Writes report failure as a result; nothing throws. Nothing is
// ever written into a file that has another name as well: a file of the path's name with
// more than one link (a hard link to a file elsewhere) is deleted and made anew.
#pragma once

#include <windows.h>

#include <string>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

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
  // The same for a wide path (an extended-length one, say).
  bool Create(const WideString& path);

  // Opens path for writing at its end, creating it when it does not exist; other
  // processes may read it, and write it too when shareWrite. *created tells whether it was
  // created (made anew for a file with another link too). Returns false (and holds
  // nothing) when the file cannot be opened.
  bool OpenForAppend(const std::string& path, bool* created, bool shareWrite = false);

  // The open file's size in bytes; false when none is open or the size cannot be read.
  bool Size(ULONGLONG* size) const;

  // Empties the open file; writes continue at its start. False on failure.
  bool Truncate();

  // Writes all size bytes at the current position. Returns false when not all of them
  // could be written (a full disk, say) or no file is open.
  bool Write(const void* data, DWORD size);

  // Writes what the system holds of the file through to the disk, so that a rename that
  // follows cannot outlive its content in a power cut. False on failure or with no file.
  bool Flush();

  // Closes the file. Returns false when closing failed; true when none was open.
  bool Close();

  bool IsOpen() const { return handle_.IsValid(); }

 private:
  // Opens or creates path for writing, at its start; a file with more than one link is
  // deleted and created anew (CREATE_NEW). *created as OpenForAppend's.
  bool OpenOwn(const WideString& path, DWORD share, bool* created);

  ScopedHandle handle_;
};

// How ReadCappedFile ended.
enum class CappedRead {
  kRead,        // *bytes holds the whole file
  kMissing,     // it cannot be opened
  kTooLarge,    // it is larger than the limit: nothing of it is read
  kUnreadable,  // its size or its bytes cannot be read
};

// Reads the whole file at path into *bytes when it is no larger than limit, so that no
// file makes the program hold more than it expects; *bytes is empty unless kRead.
CappedRead ReadCappedFile(const WideString& path, unsigned long long limit, std::string* bytes);

}  // namespace winfx
