#include "archive/ZipEntryReader.h"

#include <utility>

#include "archive/ScopedUnzip.h"
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

// Without a zip64 record an entry count of 65535 may stand for more: the directory then
// ends where the next header no longer reads.
constexpr uLong kSaturatedEntryCount = 0xFFFF;

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

ZipEntryReader::ZipEntryReader(unzFile zip, const std::string& folder,
                               const std::string& finalFolder)
    : m_zip(zip), m_prefix(folder) {
  if (m_prefix.empty() || m_prefix.back() != '\\') m_prefix += '\\';
  m_finalPrefixLength = finalFolder.empty() ? m_prefix.size() : finalFolder.size() + 1;
}

void ZipEntryReader::ReadToEnd(Sink* sink, uLong declaredEntries) {
  for (uLong read = 1;; ++read) {
    if (!ReadCurrentEntry(sink)) return;
    const int next = unzGoToNextFile(m_zip);
    if (next == UNZ_END_OF_LIST_OF_FILE) return;
    if (next != UNZ_OK) {
      if (declaredEntries == kSaturatedEntryCount && read >= kSaturatedEntryCount) return;
      // The next entry's header can't be read: the entries after it would be lost, so
      // this is no success.
      ZipPiece failure;
      failure.kind = ZipPiece::Kind::kWalkFailure;
      PutFailure(sink, std::move(failure), ERROR_INVALID_DATA, "");
      return;
    }
  }
}

bool ZipEntryReader::ReadCurrentEntry(Sink* sink) {
  unz_file_info info;
  char name[kNameBufferSize];
  if (unzGetCurrentFileInfo(m_zip, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
    return Refuse(sink, "", "", ERROR_INVALID_DATA);
  }
  // The reader leaves a name that fills the buffer unterminated; such a name is cut and
  // could read as another valid one, so it is refused.
  const bool cut = info.size_filename >= kNameBufferSize;
  const std::string entryName = ToWindowsSeparators(
      cut ? std::string(name, kNameBufferSize - 1) : std::string(name, info.size_filename));
  const std::string target = m_prefix + entryName;

  if (cut) return Refuse(sink, target, kReasonNameTooLong, ERROR_FILENAME_EXCED_RANGE);
  ZipPiece piece;
  piece.target = target;
  switch (ClassifyZipEntryName(entryName)) {
    case ZipEntryNameKind::kFolder:
      // Folders are made only for the files inside them.
      piece.kind = ZipPiece::Kind::kFolderEntry;
      return sink->Put(std::move(piece));
    case ZipEntryNameKind::kLeavesFolder:
      return Refuse(sink, target, kReasonLeavesFolder, ERROR_INVALID_NAME);
    case ZipEntryNameKind::kNotPlainName:
      return Refuse(sink, target, kReasonNotPlainName, ERROR_INVALID_NAME);
    case ZipEntryNameKind::kFile:
      break;
  }
  // Written into a staging folder, say, a path is as long as it will be where it goes.
  if (m_finalPrefixLength + entryName.size() >= MAX_PATH) {
    return Refuse(sink, target, kReasonPathTooLong, ERROR_FILENAME_EXCED_RANGE);
  }
  // The reader would copy some other methods out raw, and encrypted data undecrypted:
  // such entries are refused before anything is created for them.
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) {
    return Refuse(sink, target, winfx::Format("UNSUPPORTED_METHOD %lu", info.compression_method),
                  ERROR_NOT_SUPPORTED);
  }
  if (info.flag & kFlagEncrypted) return Refuse(sink, target, kReasonEncrypted, ERROR_NOT_SUPPORTED);

  piece.kind = ZipPiece::Kind::kFileStart;
  piece.dosDateTime = info.dosDate;
  return Inflate(sink, std::move(piece), info);
}

bool ZipEntryReader::Inflate(Sink* sink, ZipPiece&& start, const unz_file_info& info) {
  ZipPiece piece = std::move(start);
  ScopedZipEntry entry(m_zip);
  if (entry.OpenResult() != UNZ_OK) {
    // The file is made first and goes again, as for any failure of its data.
    return PutFailure(sink, std::move(piece), ERROR_INVALID_DATA, UnzResultName(entry.OpenResult()));
  }
  if (!sink->GetBuffer(&piece.buffer)) return false;
  unsigned long long copied = 0;
  for (;;) {
    // Each buffer is filled before it goes, so a small file is one piece.
    const int got = entry.Read(piece.buffer.get() + piece.size, ZipPiece::kBufferSize - piece.size);
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
  const int closed = entry.Close();
  if (closed != UNZ_OK) return PutFailure(sink, std::move(piece), ERROR_CRC, UnzResultName(closed));
  // The reader checks the CRC only when the stored length was reached, and stops at that
  // length: data that ends early is caught here.
  if (copied != info.uncompressed_size) {
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

bool ZipEntryReader::Refuse(Sink* sink, const std::string& target, std::string reason,
                            DWORD error) {
  ZipPiece refusal;
  refusal.kind = ZipPiece::Kind::kRefusal;
  refusal.target = target;
  return PutFailure(sink, std::move(refusal), error, std::move(reason));
}
