// ZipPiece: one step of an extraction as the side that reads and inflates the archive hands
// it to the side that writes files, in archive order. An entry is one piece, or for a file
// a first piece and as many more as its data fills buffers.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "winfx/WidePath.h"

struct ZipPiece {
  // Entry data travels in buffers of this size.
  static constexpr DWORD kBufferSize = 256 * 1024;

  enum class Kind : unsigned char {
    kFolderEntry,  // an entry that names a folder: target is made as a folder
    kRefusal,      // an entry refused before anything is made for it (error, reason)
    kFileStart,    // a file entry: target is created, then the data written
    kFileData,     // more data of the file started last
    kWalkFailure,  // the archive's directory cannot be read past the last entry (error)
  };

  Kind kind = Kind::kRefusal;
  // Where the entry goes, its name decoded (wide: a name without an ANSI form too; a
  // folder's without its trailing "\"); "" when its name could not be read or decoded. Set on kFolderEntry and kFileStart.
  winfx::WideString target;
  // The target as the log shows it: code page 949, "?" for what has no form there and for
  // control characters. Set on
  // all but kFileData and kWalkFailure.
  std::string shown;
  // The entry's stored MS-DOS date and time and the CRC-32 of its data (kFileStart).
  DWORD dosDateTime = 0;
  DWORD crc = 0;
  // size bytes of the file's data (kFileStart, kFileData); null when there are none.
  std::unique_ptr<char[]> buffer;
  DWORD size = 0;
  // The file's data is all there, of its stored length: once its CRC is checked, it gets
  // its stored time and is done.
  bool lastOfFile = false;
  // ERROR_SUCCESS, or the reason the extraction fails right after this piece's data, with
  // the second part of its "unzip실패" line ("" for none).
  DWORD error = ERROR_SUCCESS;
  std::string reason;
};
