// CZipExtractor: opens one zip archive and extracts its entries, in central-directory
// order, into a folder: folders as files need them, each file with the archive's stored
// time. A worker thread inflates while the calling thread writes (see ZipPipeline).
// Failures are 0 results and "[unzip] " lines in the daily log of its own log writer;
// nothing is shown to the operator.
#pragma once

#include <windows.h>

#include "archive/ScopedUnzip.h"
#include "archive/ZipEntryReader.h"
#include "archive/ZipEntryWriter.h"
#include "archive/ZipPiece.h"
#include "settings/CSetupUtil.h"

class CZipExtractor {
 public:
  // Entry data goes from the inflating thread to the writing one in buffers of this size.
  static constexpr unsigned kCopyBufferSize = ZipPiece::kBufferSize;
  // Entry names are read into this many bytes, terminator included; a longer name is
  // refused rather than cut.
  static constexpr unsigned kNameBufferSize = ZipEntryReader::kNameBufferSize;
  // Compression methods the extractor writes out; any other entry is refused unread.
  static constexpr unsigned long kMethodStored = ZipEntryReader::kMethodStored;
  static constexpr unsigned long kMethodDeflated = ZipEntryReader::kMethodDeflated;
  // General-purpose flag bit of an encrypted entry; such entries are refused unread.
  static constexpr unsigned long kFlagEncrypted = ZipEntryReader::kFlagEncrypted;

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

  // Closes any open archive, then opens the zip archive at path (an ANSI path), once: every
  // read of it goes through that one handle. 1 when it is open (others may read it then,
  // nobody may write it); 0 for a null path, a missing file, no zip archive or one that
  // something has open for writing, leaving none open.
  int Open(const char* path);
  // The same for the archive archive is open on (for reading; it must stay open until
  // Close): the directory and every entry's data are read through that handle alone, at
  // explicit offsets, so what is extracted is the file that handle holds, whatever its path
  // names meanwhile.
  int OpenFrom(HANDLE archive);

  // Extracts every entry into folder (created when missing), folders too (empty ones
  // included), stopping at the first entry that fails; what was written before stays.
  // Entries past the count or the size the directory's end records give, or short of
  // them, fail the extraction. 1 when all entries were extracted, else 0
  // with a log line and the thread's last error set to the reason (ERROR_INVALID_DATA for
  // an archive without entries or whose directory cannot be read).
  int ExtractAll(const char* folder);

  // Extracts the archive's current entry into folder, under its name decoded as
  // DecodeZipEntryName does (created with the wide functions, so a name without an ANSI
  // form lands as it is). 1 for a written file or a made folder (a folder entry: a name
  // ending in "/", or one marked by the MS-DOS folder attribute). 0 when it failed, with the thread's last error set to
  // the reason and no file of its own left (an existing file it did not get to replace
  // stays as it was). Refuses names that would leave folder or that Windows would read as
  // something else, paths of MAX_PATH or more (in the final folder, see SetFinalFolder;
  // longer ones where it is written are written all the same), encrypted entries, methods
  // other than stored and deflate, and data whose length or CRC differs from the stored
  // one.
  int ExtractCurrentEntry(const char* folder);

  // The sum of the uncompressed sizes the open archive's directory declares (saturated at
  // the largest value), and the number of its entries. 1 on success; 0 when no archive is
  // open or the directory cannot be read to the end its end records give.
  int GetTotalSize(unsigned long long* bytes, unsigned long long* entries);

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

  // Bytes the last ExtractAll inflated out of entries: tests show by it that a failure of
  // the writing side stopped the inflating one.
  unsigned long long InflatedBytesForTesting() const { return m_inflatedBytes; }

 private:
  // Logs "압축해제 실패" with folder and error; returns 0 with the last error set to error.
  int LogEntryFailure(const char* folder, DWORD error);

  CSetupUtil m_log;
  std::string m_finalFolder;
  ScopedUnzFile m_zip;
  // The archive file everything is read from, and the handle Open(path) made for it.
  HANDLE m_archive = nullptr;
  winfx::ScopedHandle m_ownArchive;
  // Folders found or made by the extraction since Open (paths as the entries' targets
  // name them).
  ZipEntryWriter::FolderSet m_knownFolders;
  unsigned long long m_inflatedBytes = 0;
};
