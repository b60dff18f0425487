// CZipExtractor: opens one zip archive and extracts its entries, in central-directory
// order, into a folder: folders as files need them, each file with the archive's stored
// time. Failures are 0 results and "[unzip] " lines in the daily log of its own log
// writer; nothing is shown to the operator.
#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "archive/ScopedUnzip.h"
#include "settings/CSetupUtil.h"
#include "winfx/WidePath.h"

class CZipExtractor {
 public:
  // One buffer of this size carries an entry's data to its file (on the stack).
  static constexpr unsigned kCopyBufferSize = 20480;  // 0x5000
  // Entry names are read into this many bytes, terminator included (a UTF-8 name of any
  // path under MAX_PATH fits: three bytes at most a UTF-16 unit); a longer name is refused
  // rather than cut.
  static constexpr unsigned kNameBufferSize = 3 * MAX_PATH + 1;
  // Compression methods the extractor writes out; any other entry is refused unread.
  static constexpr unsigned long kMethodStored = 0;
  static constexpr unsigned long kMethodDeflated = 8;
  // General-purpose flag bit of an encrypted entry; such entries are refused unread.
  static constexpr unsigned long kFlagEncrypted = 0x0001;

  // No archive open, log writer unbound (silent).
  CZipExtractor();
  // Closes the archive as Close() does.
  virtual ~CZipExtractor();
  CZipExtractor(const CZipExtractor&) = delete;
  CZipExtractor& operator=(const CZipExtractor&) = delete;

  // Binds the log writer to folder: lines go to folder's daily log when its info.ini
  // switches DEBUG on.
  void SetLogFolder(std::string folder);

  // Paths are measured against MAX_PATH as if the entries were extracted into folder (the
  // one they finally go to), whatever folder they are written into (a staging folder
  // inside it, say); "" (the default): the folder written into.
  void SetFinalFolder(std::string folder);

  // Closes any open archive, then opens the zip archive at path (an ANSI path). 1 when it
  // is open; 0 for a null path, a missing file or no zip archive, leaving none open.
  int Open(const char* path);

  // Extracts every entry into folder (created when missing), stopping at the first entry
  // that fails; what was written before stays. 1 when all entries were extracted, else 0
  // with a log line and the thread's last error set to the reason (ERROR_INVALID_DATA for
  // an archive without entries or whose directory cannot be read).
  int ExtractAll(const char* folder);

  // Extracts the archive's current entry into folder, under its name decoded as
  // DecodeZipEntryName does (created with the wide functions, so a name without an ANSI
  // form lands as it is). 1 for a written file or a folder entry (which creates nothing). 0 when it failed, with the thread's last error set to
  // the reason and no file of its own left (an existing file it did not get to replace
  // stays as it was). Refuses names that would leave folder or that Windows would read as
  // something else, paths of MAX_PATH or more (in the final folder, see SetFinalFolder;
  // longer ones where it is written are written all the same), encrypted entries, methods
  // other than stored and deflate, and data whose length or CRC differs from the stored
  // one.
  int ExtractCurrentEntry(const char* folder);

  // The sum of the uncompressed sizes the open archive's directory declares, and the
  // number of its entries. 1 on success; 0 when no archive is open or the directory
  // cannot be read to its end.
  int GetTotalSize(unsigned long long* bytes, unsigned long* entries);

  // Closes the archive. 1 when unzClose reported success; 0 when none was open.
  int Close();

  // 1 when path exists as a folder afterwards: missing levels are created top-down. 0 for
  // a null or empty path, a path that names a file, or a level that could not be created
  // (last error set). A trailing "\" names the same folder; a path of MAX_PATH or more
  // works too.
  static int EnsureFolder(const char* path);

  // EnsureFolder of the part of path before its last "\"; 0 when path has no "\".
  static int EnsureParentFolder(const char* path);

  // Sets path's creation and last-write time to dosDateTime (MS-DOS date in the high and
  // time in the low 16 bits, local time) turned into UTC; its last-access time is kept.
  // 1 on success, 0 when the file can't be opened or a time can't be read or set.
  static int RestoreFileTime(const char* path, DWORD dosDateTime);

 private:
  using WideString = winfx::WideString;
  using FolderSet = std::set<WideString>;

  // EnsureFolder's work for path. With known, a folder found there is taken as it is, and
  // each folder found on disk or made is added: one extraction looks at a folder once.
  static int EnsureFolderPath(const WideString& path, FolderSet* known);
  // EnsureFolderPath of path with the folders this extractor has met since Open.
  int EnsureKnownFolder(const WideString& path);
  // Sets file's creation and last-write time to dosDateTime as RestoreFileTime does, on an
  // open handle (with write access). 1 on success.
  static int SetStoredFileTime(HANDLE file, DWORD dosDateTime);
  // Makes target's folder and creates target (replacing a file of that name) into file.
  // false with the last error set and a "파일생성실패" line when the file can't be created
  // (ERROR_ALREADY_EXISTS where a folder of its name is in the way).
  bool CreateEntryFile(const WideString& target, winfx::ScopedHandle* file);
  // Writes the open entry's data into file; ERROR_SUCCESS, or the reason it failed (with
  // an "unzip실패" line naming shown for what the reader or the checks reported).
  DWORD CopyCurrentEntry(HANDLE file, const unz_file_info& info, const std::string& shown);
  // Logs "압축해제 실패" with folder and the last error; returns 0, the last error kept.
  int LogEntryFailure(const char* folder);
  // Logs "unzip실패" for shown (a path as the log shows it) with reason; returns 0 with
  // the last error set to error.
  int RefuseEntry(const std::string& shown, const std::string& reason, DWORD error);
  void LogUnzipFailure(const std::string& shown, const std::string& reason);

  CSetupUtil m_log;
  std::string m_finalFolder;
  ScopedUnzFile m_zip;
  // Folders found or made by the extraction since Open (wide paths as ExtractCurrentEntry
  // built them); a folder that has gone since shows as a failed create, which looks again.
  FolderSet m_knownFolders;
};
