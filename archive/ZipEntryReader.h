// ZipEntryReader: the side of an extraction that reads the archive. It walks the entries
// (minizip), checks each one's name, method and flags before anything is made for it,
// inflates file data (ZipEntryData) into buffers, checks the data's length, and hands all
// of it on as ZipPieces in archive order, each file with its stored CRC for the writer to
// check. It makes no file and writes no log line itself.
#pragma once

#include <unzip.h>

#include <memory>
#include <string>

#include "archive/ZipDirectoryWalk.h"
#include "archive/ZipEntryData.h"
#include "archive/ZipPiece.h"

class ZipEntryReader {
 public:
  // Entry names are read into this many bytes, terminator included (a UTF-8 name of any
  // path under MAX_PATH fits: three bytes at most a UTF-16 unit); a longer name is refused
  // rather than cut.
  static constexpr unsigned kNameBufferSize = 3 * MAX_PATH + 1;
  // Compression methods that are inflated; any other entry is refused unread.
  static constexpr unsigned long kMethodStored = 0;
  static constexpr unsigned long kMethodDeflated = 8;
  // General-purpose flag bit of an encrypted entry; such entries are refused unread.
  static constexpr unsigned long kFlagEncrypted = 0x0001;
  // The MS-DOS folder attribute, in the low byte of the external attributes of entries
  // made on these hosts (the high byte of "version made by"): MS-DOS and OS/2 FAT, OS/2
  // HPFS, Windows NTFS (10 in PKWARE's numbering, 11 in Info-ZIP's) and VFAT. Such an
  // entry is a folder, with or without a trailing "/".
  static constexpr unsigned long kDosFolderAttribute = 0x10;
  static constexpr unsigned kHostDos = 0, kHostHpfs = 6, kHostNtfs = 10, kHostInfoZipNtfs = 11,
                            kHostVfat = 14;

  // True when info marks a folder by the MS-DOS attribute of a host that writes it.
  static bool HasDosFolderAttribute(const unz_file_info64& info);

  // Where the pieces go, and where their buffers come from.
  class Sink {
   public:
    virtual ~Sink() = default;
    // Moves a buffer of ZipPiece::kBufferSize bytes into *buffer, waiting while all are in
    // use. False when the writing side has ended the extraction.
    virtual bool GetBuffer(std::unique_ptr<char[]>* buffer) = 0;
    // Hands piece on. False when the writing side has ended the extraction.
    virtual bool Put(ZipPiece&& piece) = 0;
  };

  // A reader of zip's entries for targets below folder, whose paths are measured against
  // MAX_PATH as if below finalFolder ("": folder itself), where the entries finally go.
  // Entry data is read through archive, a handle open for reading on zip's file. zip and
  // archive stay open while it is used.
  ZipEntryReader(unzFile zip, HANDLE archive, const std::string& folder,
                 const std::string& finalFolder);
  ZipEntryReader(const ZipEntryReader&) = delete;
  ZipEntryReader& operator=(const ZipEntryReader&) = delete;

  // Hands the archive's current entry to sink. True when all of it went; false when it
  // failed (the failing piece is the last one put) or sink took no more.
  bool ReadCurrentEntry(Sink* sink);

  // Hands the current entry (walk's, at an entry) and each one after it to sink, up to
  // the end of the directory, the first failure, or sink taking no more. A directory that
  // does not end where its end records say is a failure after the last entry walked.
  void ReadToEnd(Sink* sink, ZipDirectoryWalk* walk);

  // Bytes inflated out of entries by this reader.
  unsigned long long InflatedBytes() const { return m_inflated; }

 private:
  // Puts piece as the extraction's failure with error and reason (see ZipPiece); false.
  static bool PutFailure(Sink* sink, ZipPiece&& piece, DWORD error, std::string reason);
  // Puts a refusal of the entry, shown as shown in the log, with error and reason; false.
  static bool Refuse(Sink* sink, const std::string& shown, std::string reason, DWORD error);
  // Inflates the current entry, described by info, into start and as many pieces after it
  // as the data fills; the last one carries the outcome of the length check.
  bool Inflate(Sink* sink, ZipPiece&& start, const unz_file_info64& info);

  unzFile m_zip;
  ZipEntryData m_data;
  // The target folder with a trailing "\", as given and wide: entry names are added to it.
  std::string m_prefix;
  winfx::WideString m_widePrefix;
  // The length of the final folder's path with its "\" (of the target folder's without a
  // final folder).
  size_t m_finalPrefixLength;
  unsigned long long m_inflated = 0;
  // The directory information of the entry read last.
  unz_file_info64 m_info = {};
};
