#include "archive/ZipEntryWriter.h"

#include <utility>
#include <vector>

#include "winfx/Format.h"
#include "winfx/WidePath.h"

namespace {

using winfx::Format;

// Log lines, byte for byte (trailing blanks included).
constexpr char kEntryFolderFailedLine[] = "[unzip] 폴더생성실패 %s ";
constexpr char kCreateFailedLine[] = "[unzip] 파일생성실패 %s | %s ";
constexpr char kUnzipFailedLine[] = "[unzip] unzip실패 %s | %s ";
// Second part of that line for data whose CRC differs from the stored one.
constexpr char kReasonCrc[] = "UNZ_CRCERROR";

// 0 with the thread's last error set to error.
int FailWith(DWORD error) {
  ::SetLastError(error);
  return 0;
}

}  // namespace

ZipEntryWriter::ZipEntryWriter(std::string folder, CSetupUtil* log, FolderSet* knownFolders)
    : m_folder(std::move(folder)), m_wideFolder(winfx::ToWide(m_folder)), m_log(log), m_knownFolders(knownFolders) {}

ZipEntryWriter::~ZipEntryWriter() { RemoveFile(); }

bool ZipEntryWriter::Take(const ZipPiece& piece) {
  if (m_error != ERROR_SUCCESS) return false;
  switch (piece.kind) {
    case ZipPiece::Kind::kWalkFailure:
      return Fail(piece.error);
    case ZipPiece::Kind::kFolderEntry:
      return CheckFolder() && CreateEntryFolder(piece);
    case ZipPiece::Kind::kRefusal:
      if (!CheckFolder()) return false;
      if (!piece.reason.empty()) LogUnzipFailure(piece.shown, piece.reason);
      return Fail(piece.error);
    case ZipPiece::Kind::kFileStart:
      if (!CheckFolder() || !CreateEntryFile(piece)) return false;
      m_dosDateTime = piece.dosDateTime;
      m_expectedCrc = piece.crc;
      m_crc = crc32(0, nullptr, 0);
      break;
    case ZipPiece::Kind::kFileData:
      break;
  }
  return WriteData(piece);
}

bool ZipEntryWriter::CheckFolder() {
  if (EnsureKnownFolder(m_wideFolder)) return true;
  const DWORD error = ::GetLastError();
  m_log->WriteLog(Format(kEntryFolderFailedLine, m_folder.c_str()));
  return Fail(error);
}

bool ZipEntryWriter::CreateEntryFolder(const ZipPiece& piece) {
  if (EnsureKnownFolder(piece.target)) return true;
  // A file of the folder's name (another entry's) is in the way, say.
  const DWORD error = ::GetLastError();
  m_log->WriteLog(Format(kEntryFolderFailedLine, piece.shown.c_str()));
  return Fail(error);
}

bool ZipEntryWriter::CreateEntryFile(const ZipPiece& piece) {
  const winfx::WideString& target = piece.target;
  const winfx::WideString parent = target.substr(0, target.find_last_of(L'\\'));
  for (int attempt = 0;; ++attempt) {
    if (!EnsureKnownFolder(parent)) return Fail(::GetLastError());
    m_file.Reset(::CreateFileW(winfx::WidePath(target).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_file) {
      m_target = target;
      m_shown = piece.shown;
      return true;
    }
    DWORD error = ::GetLastError();
    // A folder of the file's name (another entry's, say) is in the way: the archive's
    // fault, not a missing permission.
    if (error == ERROR_ACCESS_DENIED) {
      const DWORD attributes = ::GetFileAttributesW(winfx::WidePath(target).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = ERROR_ALREADY_EXISTS;
      }
    }
    // A folder made earlier may have gone since (the caller cleared the target between two
    // extractions): forget what is known and look at the disk once more.
    if (error == ERROR_PATH_NOT_FOUND && attempt == 0 && !m_knownFolders->empty()) {
      m_knownFolders->clear();
      continue;
    }
    m_log->WriteLog(Format(kCreateFailedLine, piece.shown.c_str(), "INVALID_HANDLE_VALUE"));
    return Fail(error);
  }
}

bool ZipEntryWriter::WriteData(const ZipPiece& piece) {
  if (piece.size != 0) {
    DWORD written = 0;
    if (!::WriteFile(m_file.Get(), piece.buffer.get(), piece.size, &written, nullptr)) {
      const DWORD error = ::GetLastError();
      RemoveFile();
      return Fail(error);
    }
    if (written != piece.size) {
      RemoveFile();
      return Fail(ERROR_DISK_FULL);
    }
    m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(piece.buffer.get()), piece.size);
  }
  if (piece.error != ERROR_SUCCESS) {
    if (!piece.reason.empty()) LogUnzipFailure(m_shown, piece.reason);
    RemoveFile();
    return Fail(piece.error);
  }
  if (piece.lastOfFile) {
    if (m_crc != m_expectedCrc) {
      LogUnzipFailure(m_shown, kReasonCrc);
      RemoveFile();
      return Fail(ERROR_CRC);
    }
    // On the handle that wrote the data: no second open of each file.
    SetStoredFileTime(m_file.Get(), m_dosDateTime);
    m_file.Reset();
  }
  return true;
}

void ZipEntryWriter::RemoveFile() {
  if (!m_file) return;
  m_file.Reset();  // closed before it is removed
  ::DeleteFileW(winfx::WidePath(m_target).c_str());
}

int ZipEntryWriter::EnsureKnownFolder(const winfx::WideString& path) {
  return EnsureFolderPath(path, m_knownFolders);
}

bool ZipEntryWriter::Fail(DWORD error) {
  m_error = error;
  return false;
}

void ZipEntryWriter::LogUnzipFailure(const std::string& shown, const std::string& reason) {
  // shown is printable already (see ZipPiece).
  m_log->WriteLog(Format(kUnzipFailedLine, shown.c_str(), reason.c_str()));
}

int ZipEntryWriter::EnsureFolderPath(const winfx::WideString& path, FolderSet* known) {
  if (path.empty()) return FailWith(ERROR_INVALID_NAME);
  // Up from path to the first level that is there, then the missing ones made top-down:
  // no recursion, however deep the path.
  std::vector<winfx::WideString> missing;
  for (winfx::WideString level = path;;) {
    if (known != nullptr && known->count(level) != 0) break;
    const DWORD attributes = ::GetFileAttributesW(winfx::WidePath(level).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FailWith(ERROR_ALREADY_EXISTS);
      if (known != nullptr) known->insert(level);
      break;
    }
    const size_t cut = level.find_last_of(L'\\');
    // "C:\dir\" is the folder C:\dir itself.
    if (cut == winfx::WideString::npos || cut + 1 != level.size()) missing.push_back(level);
    if (cut == winfx::WideString::npos) break;
    level.resize(cut);
    if (level.empty()) return FailWith(ERROR_INVALID_NAME);
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (!::CreateDirectoryW(winfx::WidePath(*level).c_str(), nullptr)) return 0;
    if (known != nullptr) known->insert(*level);
  }
  if (known != nullptr) known->insert(path);
  return 1;
}

int ZipEntryWriter::SetStoredFileTime(HANDLE file, DWORD dosDateTime) {
  FILETIME local, utc;
  if (!::DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) ||
      !::LocalFileTimeToFileTime(&local, &utc)) {
    return 0;
  }
  // No last-access time given: the file keeps the one it has.
  return ::SetFileTime(file, &utc, nullptr, &utc) ? 1 : 0;
}
