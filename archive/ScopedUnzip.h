// Scoped owners of minizip's reader objects: an open archive and its open current entry.
#pragma once

#include <unzip.h>

#include "winfx/ScopedHandle.h"

// An archive opened with unzOpen; closed with unzClose.
struct UnzFileTraits {
  using Handle = unzFile;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { unzClose(h); }
};
using ScopedUnzFile = winfx::ScopedGeneric<UnzFileTraits>;

// The current entry of an archive, open for reading from construction until Close() or
// scope exit. The archive must outlive it.
class ScopedZipEntry {
 public:
  // Opens the current entry (unzOpenCurrentFile); OpenResult() tells how that went.
  explicit ScopedZipEntry(unzFile zip) : zip_(zip), openResult_(unzOpenCurrentFile(zip)) {}
  ~ScopedZipEntry() { Close(); }
  ScopedZipEntry(const ScopedZipEntry&) = delete;
  ScopedZipEntry& operator=(const ScopedZipEntry&) = delete;

  // UNZ_OK when the entry's data is open for reading.
  int OpenResult() const { return openResult_; }

  // Up to size bytes of the entry's data: the count, 0 at its end, negative on an error.
  int Read(void* buffer, unsigned size) { return unzReadCurrentFile(zip_, buffer, size); }

  // Closes the entry (a second call does nothing and gives UNZ_OK). UNZ_CRCERROR when all
  // of the data was read and its CRC differs from the stored one.
  int Close() {
    if (openResult_ != UNZ_OK || closed_) return UNZ_OK;
    closed_ = true;
    return unzCloseCurrentFile(zip_);
  }

 private:
  unzFile zip_;
  int openResult_;
  bool closed_ = false;
};
