// Sha256: an incremental SHA-256 through the system's cryptography (CNG), for bytes as they
// pass (a download) or for a file read to its end.
#pragma once

#include <windows.h>

#include <string>

#include "winfx/ScopedCng.h"

namespace winfx {

class Sha256 {
 public:
  static constexpr size_t kSize = 32;
  // A file is read in blocks of this size.
  static constexpr DWORD kFileBlockSize = 1024 * 1024;

  // Ready for the first bytes; every operation fails when the system refused the algorithm.
  Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Starts over with no bytes; false when the system refused.
  bool Reset();
  // Adds size bytes; false when the hash could not take them (it is of no use then).
  bool Add(const void* data, size_t size);
  // Adds what file holds from its current position to its end; false when it could not be
  // read or hashed.
  bool AddFile(HANDLE file);
  // The digest of the bytes added (kSize bytes); the hash is spent afterwards (Reset).
  bool Finish(unsigned char (&digest)[kSize]);

  // The digest of a file's bytes from its start to its end (its position left at the end).
  static bool OfFile(HANDLE file, unsigned char (&digest)[kSize]);
  // The digest of bytes in memory.
  static bool OfBytes(const std::string& bytes, unsigned char (&digest)[kSize]);

 private:
  ScopedCngAlgorithm algorithm_;
  ScopedCngHash hash_;
  bool failed_ = false;
};

}  // namespace winfx
