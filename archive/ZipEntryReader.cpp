#include "archive/ZipEntryReader.h"

#include <algorithm>
#include <utility>

#include "archive/ZipEntryName.h"
#include "winfx/Format.h"

namespace {

// Second part of the "unzip실패" line for the reader's own refusals.
constexpr char kReasonLeavesFolder[] = "NAME_LEAVES_FOLDER";
constexpr char kReasonNotPlainName[] = "NAME_NOT_ALLOWED";
constexpr char kReasonNameTooLong[] = "NAME_TOO_LONG";
constexpr char kReasonPathTooLong[] = "PATH_TOO_LONG";
constexpr char kReasonEncrypted[] = "ENCRYPTED";
constexpr char kReasonSizeMismatch[] = "SIZE_MISMATCH";

// Text from the archive as it may appear in a log line: control characters would break
// the one-line-per-event format, so they show as "?".
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

// Stored bytes that could not be decoded, for a log line: what is no printable ASCII shows
// as "?" too, so no stray byte garbles the line's code page 949 text.
std::string ShownBytes(const std::string& bytes) {
  std::string shown = ToWindowsSeparators(bytes);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return Printable(shown);
}

// The length a name is measured by against MAX_PATH: its ANSI length (as the ANSI
// functions measure a name that has an ANSI form), and no less than its wide length.
size_t MeasuredLength(const winfx::WideString& name) {
  return std::max(name.size(), winfx::ToShownAnsi(name).size());
}

// The current entry's name decoded (DecodeZipEntryName); the central directory's extra
// field is read only for a name without the UTF-8 flag.
ZipEntryNameKind ReadEntryName(unzFile zip, const unz_file_info64& info, const std::string& stored,
                               winfx::WideString* name) {
  std::string extra;
  if (!(info.flag & kZipFlagUtf8Name) && info.size_file_extra > 0) {
    extra.resize(info.size_file_extra);
    if (unzGetCurrentFileInfo64(zip, nullptr, nullptr, 0, &extra[0], info.size_file_extra, nullptr, 0) !=
        UNZ_OK) {
      extra.clear();
    }
  }
  return DecodeZipEntryName(stored, info.flag, extra, name);
}

// minizip's result codes in words, for the "unzip실패" line.
std::string UnzResultName(int result) {
  switch (result) {
    case UNZ_ERRNO: return "UNZ_ERRNO";
    case UNZ_END_OF_LIST_OF_FILE: return "UNZ_END_OF_LIST_OF_FILE";
    case UNZ_PARAMERROR: return "UNZ_PARAMERROR";
    case UNZ_BADZIPFILE: return "UNZ_BADZIPFILE";
    case UNZ_INTERNALERROR: return "UNZ_INTERNALERROR";
    case UNZ_CRCERROR: return "UNZ_CRCERROR";
    case Z_MEM_ERROR: return "Z_MEM_ERROR";
    default: return winfx::Format("UNZ_ERROR %d", result);
  }
}

}  // namespace

ZipEntryReader::ZipEntryReader(unzFile zip, HANDLE archive, const std::string& folder,
                               const std::string& finalFolder)
    : m_zip(zip), m_data(zip, archive), m_prefix(folder) {
  if (m_prefix.empty() || m_prefix.back() != '\\') m_prefix += '\\';
  // A folder that is no ANSI text leaves this empty; the writer then fails its folder check
  // before anything is made.
  winfx::ToWide(m_prefix, &m_widePrefix);
  m_finalPrefixLength = finalFolder.empty() ? m_prefix.size() : finalFolder.size() + 1;
}

bool ZipEntryReader::HasDosFolderAttribute(const unz_file_info64& info) {
  const unsigned host = (info.version >> 8) & 0xFF;
  return (host == kHostDos || host == kHostHpfs || host == kHostNtfs || host == kHostInfoZipNtfs ||
          host == kHostVfat) &&
         (info.external_fa & kDosFolderAttribute) != 0;
}

void ZipEntryReader::ReadToEnd(Sink* sink, ZipDirectoryWalk* walk) {
  for (;;) {
    if (!ReadCurrentEntry(sink)) return;
    switch (walk->Next(m_info)) {
      case ZipDirectoryWalk::Step::kEntry:
        continue;
      case ZipDirectoryWalk::Step::kEnd:
        return;
      case ZipDirectoryWalk::Step::kBroken: {
        // The next entry's header can't be read, or the directory holds more (or fewer)
        // entries than were walked: the entries not walked would be lost, so this is no
        // success.
        ZipPiece failure;
        failure.kind = ZipPiece::Kind::kWalkFailure;
        PutFailure(sink, std::move(failure), ERROR_INVALID_DATA, "");
        return;
      }
    }
  }
}

bool ZipEntryReader::ReadCurrentEntry(Sink* sink) {
  unz_file_info64& info = m_info;
  char name[kNameBufferSize];
  if (unzGetCurrentFileInfo64(m_zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
    info = unz_file_info64();
    return Refuse(sink, "", "", ERROR_INVALID_DATA);
  }
  // The reader leaves a name that fills the buffer unterminated; such a name is cut and
  // could read as another valid one, so it is refused.
  const bool cut = info.size_filename >= kNameBufferSize;
  const std::string stored =
      cut ? std::string(name, kNameBufferSize - 1) : std::string(name, info.size_filename);
  if (cut) {
    return Refuse(sink, Printable(m_prefix) + ShownBytes(stored), kReasonNameTooLong,
                  ERROR_FILENAME_EXCED_RANGE);
  }
  winfx::WideString entryName;
  ZipEntryNameKind kind = ReadEntryName(m_zip, info, stored, &entryName);
  // A folder marked only by its attribute, as older MS-DOS and Windows tools write them.
  if (kind == ZipEntryNameKind::kFile && HasDosFolderAttribute(info)) {
    entryName += L'\\';
    kind = ZipEntryNameKind::kFolder;
  }
  // The log shows the name decoded, "?" for what has no ANSI form; the stored bytes where
  // it could not be decoded.
  const std::string target = Printable(m_prefix) +
      (entryName.empty() ? ShownBytes(stored) : Printable(winfx::ToShownAnsi(entryName)));

  ZipPiece piece;
  piece.target = m_widePrefix + entryName;
  piece.shown = target;
  switch (kind) {
    case ZipEntryNameKind::kFolder:
    case ZipEntryNameKind::kFile:
      break;
    case ZipEntryNameKind::kLeavesFolder:
      return Refuse(sink, target, kReasonLeavesFolder, ERROR_INVALID_NAME);
    case ZipEntryNameKind::kNotPlainName:
      return Refuse(sink, target, kReasonNotPlainName, ERROR_INVALID_NAME);
  }
  // Written into a staging folder, say, a path is as long as it will be where it goes.
  if (m_finalPrefixLength + MeasuredLength(entryName) >= MAX_PATH) {
    return Refuse(sink, target, kReasonPathTooLong, ERROR_FILENAME_EXCED_RANGE);
  }
  if (kind == ZipEntryNameKind::kFolder) {
    // The folder is made, empty or not: it is part of what the archive holds.
    piece.kind = ZipPiece::Kind::kFolderEntry;
    piece.target.pop_back();
    return sink->Put(std::move(piece));
  }
  // The reader would copy some other methods out raw, and encrypted data undecrypted:
  // such entries are refused before anything is created for them.
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) {
    return Refuse(sink, target,
                  winfx::Format("UNSUPPORTED_METHOD %lu",
                                static_cast<unsigned long>(info.compression_method)),
                  ERROR_NOT_SUPPORTED);
  }
  if (info.flag & kFlagEncrypted) return Refuse(sink, target, kReasonEncrypted, ERROR_NOT_SUPPORTED);

  piece.kind = ZipPiece::Kind::kFileStart;
  piece.dosDateTime = info.dosDate;
  piece.crc = info.crc;
  return Inflate(sink, std::move(piece), info);
}

bool ZipEntryReader::Inflate(Sink* sink, ZipPiece&& start, const unz_file_info64& info) {
  ZipPiece piece = std::move(start);
  const int opened = m_data.Open(info);
  if (opened != UNZ_OK) {
    // The file is made first and goes again, as for any failure of its data.
    return PutFailure(sink, std::move(piece), ERROR_INVALID_DATA, UnzResultName(opened));
  }
  if (!sink->GetBuffer(&piece.buffer)) return false;
  unsigned long long copied = 0;
  for (;;) {
    // Each buffer is filled before it goes, so a small file is one piece.
    const int got = m_data.Read(piece.buffer.get() + piece.size, ZipPiece::kBufferSize - piece.size);
    if (got == 0) break;
    if (got < 0) return PutFailure(sink, std::move(piece), ERROR_INVALID_DATA, "");
    piece.size += static_cast<DWORD>(got);
    copied += static_cast<unsigned>(got);
    m_inflated += static_cast<unsigned>(got);
    if (piece.size < ZipPiece::kBufferSize) continue;
    if (!sink->Put(std::move(piece))) return false;
    piece = ZipPiece();
    piece.kind = ZipPiece::Kind::kFileData;
    if (!sink->GetBuffer(&piece.buffer)) return false;
  }
  // The data stops at the stored length; data that ends early or goes on past it is caught
  // here, at any size. Only data of the stored length has its CRC checked (by the writer,
  // as the last piece goes out).
  if (copied != info.uncompressed_size || !m_data.EndsAtStoredLength()) {
    return PutFailure(sink, std::move(piece), ERROR_CRC, kReasonSizeMismatch);
  }
  piece.lastOfFile = true;
  return sink->Put(std::move(piece));
}

bool ZipEntryReader::PutFailure(Sink* sink, ZipPiece&& piece, DWORD error, std::string reason) {
  piece.error = error;
  piece.reason = std::move(reason);
  sink->Put(std::move(piece));
  return false;
}

bool ZipEntryReader::Refuse(Sink* sink, const std::string& shown, std::string reason,
                            DWORD error) {
  ZipPiece refusal;
  refusal.kind = ZipPiece::Kind::kRefusal;
  refusal.shown = shown;
  return PutFailure(sink, std::move(refusal), error, std::move(reason));
}
