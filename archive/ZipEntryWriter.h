// ZipEntryWriter: the side of an extraction that writes. It takes an archive's ZipPieces in
// order and makes the folders and files below the target folder, writes their data, checks
// each file's CRC and gives the files their stored times. The first failure, its own or one a piece reports, ends
// it: it is logged as "[unzip] " lines and no file of the failed entry is left.
#pragma once

#include <windows.h>
#include <zlib.h>

#include <set>
#include <string>

#include "archive/ZipPiece.h"
#include "settings/CSetupUtil.h"
#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

class ZipEntryWriter {
 public:
  using FolderSet = std::set<winfx::WideString>;

  // A writer into folder that logs to log and takes the folders in knownFolders as there,
  // adding each one it finds or makes. Both outlive the writer.
  ZipEntryWriter(std::string folder, CSetupUtil* log, FolderSet* knownFolders);
  // A file it began and did not finish (its pieces stopped coming) is closed and removed.
  ~ZipEntryWriter();
  ZipEntryWriter(const ZipEntryWriter&) = delete;
  ZipEntryWriter& operator=(const ZipEntryWriter&) = delete;

  // Does what piece says. True to go on; false when the extraction fails here: the lines
  // are logged, the entry's file is gone and Error() tells the reason. Takes nothing after.
  bool Take(const ZipPiece& piece);

  // ERROR_SUCCESS, or the reason of the failure that ended the writer.
  DWORD Error() const { return m_error; }

  // 1 when path exists as a folder afterwards: missing levels are created top-down (a path
  // of MAX_PATH or more too). 0 for an empty path, one that names a file, or a level that
  // could not be made (last error set). With known, a folder found there is taken as it is, and each folder found on
  // disk or made is added: one extraction looks at a folder once.
  static int EnsureFolderPath(const winfx::WideString& path, FolderSet* known);

  // Sets the creation and last-write time of file (open with write access) to dosDateTime
  // (MS-DOS date in the high and time in the low 16 bits, local time) turned into UTC; its
  // last-access time is kept. 1 on success.
  static int SetStoredFileTime(HANDLE file, DWORD dosDateTime);

 private:
  // The target folder is there (made again when it went): false, logged, when it is not.
  bool CheckFolder();
  // Makes piece's target as a folder (with its parents); false, logged, when it can't be
  // made.
  bool CreateEntryFolder(const ZipPiece& piece);
  // Makes the folder of piece's target and creates the target (replacing a file of that
  // name) as the current file; false, logged, when it can't be created
  // (ERROR_ALREADY_EXISTS where a folder of its name is in the way).
  bool CreateEntryFile(const ZipPiece& piece);
  // Writes the piece's data into the current file and ends the file as the piece says
  // (after its CRC check, at its last piece).
  bool WriteData(const ZipPiece& piece);
  // The current file closed and removed: a partly written or corrupted file is not left
  // looking like an extracted one.
  void RemoveFile();
  // EnsureFolderPath of path with the folders met so far.
  int EnsureKnownFolder(const winfx::WideString& path);
  // Ends the writer with error; false.
  bool Fail(DWORD error);
  void LogUnzipFailure(const std::string& shown, const std::string& reason);

  const std::string m_folder;
  const winfx::WideString m_wideFolder;
  CSetupUtil* const m_log;
  // Folders found or made (paths as the entries' targets name them); a folder that has
  // gone since shows as a failed create, which looks again.
  FolderSet* const m_knownFolders;
  winfx::ScopedHandle m_file;
  winfx::WideString m_target;
  std::string m_shown;
  DWORD m_dosDateTime = 0;
  // The current file's stored CRC, and the CRC of what was written of it so far.
  DWORD m_expectedCrc = 0;
  uLong m_crc = 0;
  DWORD m_error = ERROR_SUCCESS;
};
