// FileLock: a lock file that one process holds: opened without sharing, and deleted when
// its holder closes it (or, after a killed holder, taken over by the next one).
#pragma once

#include <string>

#include "winfx/ScopedHandle.h"

namespace winfx {

class FileLock {
 public:
  enum class Result {
    kHeld,    // this object holds the lock now
    kTaken,   // another holder has the file open
    kFailed,  // the file cannot be made (a missing folder, say); nothing is held
  };

  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Creates (or opens a leftover of) the hidden file path and holds it. A lock already
  // held by this object is released first. A link of that name is not opened (kFailed).
  Result Acquire(const std::string& path);

  // Closes the file, which deletes it. Nothing to do when none is held.
  void Release() { file_.Reset(); }

  bool IsHeld() const { return file_.IsValid(); }

 private:
  ScopedHandle file_;
};

}  // namespace winfx
