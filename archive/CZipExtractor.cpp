#include "archive/CZipExtractor.h"

#include <algorithm>
#include <utility>

#include "archive/ZipEntryName.h"
#include "winfx/Format.h"
#include "winfx/WidePath.h"

namespace {

using winfx::Format;
using winfx::WideString;

// Log lines, byte for byte (trailing blanks included).
constexpr char kNoArchiveLine[] = "[unzip] 파일이 존재하지 않습니다.";
constexpr char kFolderFailedLine[] = "[unzip] 폴더생성 실패. %s";
constexpr char kNoEntriesLine[] = "[unzip] 압축 내 파일이 없거나 읽을 수 없습니다.";
constexpr char kEntryFailedLine[] = "[unzip] 압축해제 실패 . %s / err : %d";
constexpr char kEntryFolderFailedLine[] = "[unzip] 폴더생성실패 %s ";
constexpr char kCreateFailedLine[] = "[unzip] 파일생성실패 %s | %s ";
constexpr char kUnzipFailedLine[] = "[unzip] unzip실패 %s | %s ";

// Second part of the "unzip실패" line for the extractor's own refusals.
constexpr char kReasonLeavesFolder[] = "NAME_LEAVES_FOLDER";
constexpr char kReasonNotPlainName[] = "NAME_NOT_ALLOWED";
constexpr char kReasonNameTooLong[] = "NAME_TOO_LONG";
constexpr char kReasonPathTooLong[] = "PATH_TOO_LONG";
constexpr char kReasonEncrypted[] = "ENCRYPTED";
constexpr char kReasonSizeMismatch[] = "SIZE_MISMATCH";

// Without a zip64 record an entry count of 65535 may stand for more: the directory then
// ends where the next header no longer reads.
constexpr uLong kSaturatedEntryCount = 0xFFFF;

// Text from the archive as it may appear in a log line: control characters would break
// the one-line-per-event format, so they show as "?".
std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

// Stored bytes that could not be decoded, for a log line: what is no printable ASCII shows
// as "?", so no stray byte garbles the line's code page 949 text.
std::string ShownBytes(const std::string& bytes) {
  std::string shown = ToWindowsSeparators(bytes);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return Printable(shown);
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

WideString Wide(const std::string& ansi) {
  WideString wide;
  winfx::ToWide(ansi, &wide);
  return wide;
}

// The length a path is measured by against MAX_PATH: its ANSI length (as the ANSI
// functions measure a name that has an ANSI form), and no less than its wide length.
size_t MeasuredLength(const WideString& name) {
  return std::max(name.size(), winfx::ToShownAnsi(name).size());
}

// The current entry's name decoded (DecodeZipEntryName); the central directory's extra
// field is read only for a name without the UTF-8 flag.
ZipEntryNameKind ReadEntryName(unzFile zip, const unz_file_info& info, const std::string& stored,
                               WideString* name) {
  std::string extra;
  if (!(info.flag & kZipFlagUtf8Name) && info.size_file_extra > 0) {
    extra.resize(info.size_file_extra);
    if (unzGetCurrentFileInfo(zip, nullptr, nullptr, 0, &extra[0], info.size_file_extra, nullptr, 0) !=
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
    default: return Format("UNZ_ERROR %d", result);
  }
}

// 0 with the thread's last error set to error, for ExtractAll's "압축해제 실패" line.
int FailWith(DWORD error) {
  ::SetLastError(error);
  return 0;
}

}  // namespace

CZipExtractor::CZipExtractor() = default;

CZipExtractor::~CZipExtractor() { Close(); }

void CZipExtractor::SetLogFolder(std::string folder) { m_log.Init(folder); }

void CZipExtractor::SetFinalFolder(std::string folder) { m_finalFolder = std::move(folder); }

int CZipExtractor::Open(const char* path) {
  Close();
  m_knownFolders.clear();
  if (path == nullptr) return 0;
  m_zip.Reset(unzOpen(path));
  return m_zip ? 1 : 0;
}

int CZipExtractor::Close() {
  if (!m_zip) return 0;
  // Entries are closed by their ScopedZipEntry; unzClose would close a forgotten one too.
  return unzClose(m_zip.Release()) == UNZ_OK ? 1 : 0;
}

int CZipExtractor::ExtractAll(const char* folder) {
  if (!m_zip) {
    m_log.WriteLog(kNoArchiveLine);
    return 0;
  }
  if (folder == nullptr || !EnsureFolder(folder)) {
    m_log.WriteLog(Format(kFolderFailedLine, OrEmpty(folder)));
    return 0;
  }
  unz_global_info global;
  if (unzGetGlobalInfo(m_zip.Get(), &global) != UNZ_OK || global.number_entry == 0) {
    m_log.WriteLog(kNoEntriesLine);
    // The archive's own fault, told apart from a local one by its caller.
    return FailWith(ERROR_INVALID_DATA);
  }
  if (unzGoToFirstFile(m_zip.Get()) != UNZ_OK) return FailWith(ERROR_INVALID_DATA);

  for (uLong extracted = 1;; ++extracted) {
    if (!ExtractCurrentEntry(folder)) return LogEntryFailure(folder);
    const int next = unzGoToNextFile(m_zip.Get());
    if (next == UNZ_END_OF_LIST_OF_FILE) return 1;
    if (next != UNZ_OK) {
      if (global.number_entry == kSaturatedEntryCount && extracted >= kSaturatedEntryCount) {
        return 1;
      }
      // The next entry's header can't be read: the entries after it would be lost, so
      // this is no success.
      ::SetLastError(ERROR_INVALID_DATA);
      return LogEntryFailure(folder);
    }
  }
}

int CZipExtractor::GetTotalSize(unsigned long long* bytes, unsigned long* entries) {
  *bytes = 0;
  *entries = 0;
  if (!m_zip) return 0;
  int walk = unzGoToFirstFile(m_zip.Get());
  for (; walk == UNZ_OK; walk = unzGoToNextFile(m_zip.Get())) {
    unz_file_info info;
    if (unzGetCurrentFileInfo(m_zip.Get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return 0;
    }
    *bytes += info.uncompressed_size;
    ++*entries;
  }
  return walk == UNZ_END_OF_LIST_OF_FILE ? 1 : 0;
}

int CZipExtractor::LogEntryFailure(const char* folder) {
  const DWORD error = ::GetLastError();
  m_log.WriteLog(Format(kEntryFailedLine, folder, static_cast<int>(error)));
  return FailWith(error);
}

int CZipExtractor::ExtractCurrentEntry(const char* folder) {
  if (!m_zip) return FailWith(ERROR_INVALID_HANDLE);
  if (folder == nullptr || !EnsureKnownFolder(Wide(folder))) {
    const DWORD error = ::GetLastError();
    m_log.WriteLog(Format(kEntryFolderFailedLine, OrEmpty(folder)));
    return FailWith(error);
  }

  unz_file_info info;
  char name[kNameBufferSize];
  if (unzGetCurrentFileInfo(m_zip.Get(), &info, name, sizeof(name), nullptr, 0, nullptr, 0) !=
      UNZ_OK) {
    return FailWith(ERROR_INVALID_DATA);
  }
  // The reader leaves a name that fills the buffer unterminated; such a name is cut and
  // could read as another valid one, so it is refused.
  const bool cut = info.size_filename >= kNameBufferSize;
  const std::string stored =
      cut ? std::string(name, kNameBufferSize - 1) : std::string(name, info.size_filename);

  std::string ansiFolder = folder;
  if (ansiFolder.empty() || ansiFolder.back() != '\\') ansiFolder += '\\';
  if (cut) {
    return RefuseEntry(Printable(ansiFolder) + ShownBytes(stored), kReasonNameTooLong,
                       ERROR_FILENAME_EXCED_RANGE);
  }
  WideString entryName;
  const ZipEntryNameKind kind = ReadEntryName(m_zip.Get(), info, stored, &entryName);
  const WideString target = Wide(ansiFolder) + entryName;
  // The log shows the name decoded, "?" for what has no ANSI form; the stored bytes where
  // it could not be decoded.
  const std::string shown = Printable(ansiFolder) +
      (entryName.empty() ? ShownBytes(stored) : Printable(winfx::ToShownAnsi(entryName)));
  switch (kind) {
    case ZipEntryNameKind::kFolder:
      // Folders are made only for the files inside them.
      return 1;
    case ZipEntryNameKind::kLeavesFolder:
      return RefuseEntry(shown, kReasonLeavesFolder, ERROR_INVALID_NAME);
    case ZipEntryNameKind::kNotPlainName:
      return RefuseEntry(shown, kReasonNotPlainName, ERROR_INVALID_NAME);
    case ZipEntryNameKind::kFile:
      break;
  }
  const size_t finalLength = (m_finalFolder.empty() ? ansiFolder.size() : m_finalFolder.size() + 1) +
                             MeasuredLength(entryName);
  if (finalLength >= MAX_PATH) {
    return RefuseEntry(shown, kReasonPathTooLong, ERROR_FILENAME_EXCED_RANGE);
  }
  // The reader would copy some other methods out raw, and encrypted data undecrypted:
  // such entries are refused before anything is created for them.
  if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated) {
    return RefuseEntry(shown, Format("UNSUPPORTED_METHOD %lu", info.compression_method),
                       ERROR_NOT_SUPPORTED);
  }
  if (info.flag & kFlagEncrypted) return RefuseEntry(shown, kReasonEncrypted, ERROR_NOT_SUPPORTED);

  winfx::ScopedHandle file;
  if (!CreateEntryFile(target, &file)) return FailWith(::GetLastError());
  const DWORD error = CopyCurrentEntry(file.Get(), info, shown);
  if (error != ERROR_SUCCESS) {
    file.Reset();  // closed before it is removed
    // A partly written or corrupted file is not left looking like an extracted one.
    ::DeleteFileW(winfx::WidePath(target).c_str());
    return FailWith(error);
  }
  // On the handle that wrote the data: no second open of each file.
  SetStoredFileTime(file.Get(), info.dosDate);
  return 1;
}

bool CZipExtractor::CreateEntryFile(const WideString& target, winfx::ScopedHandle* file) {
  const WideString parent = target.substr(0, target.find_last_of(L'\\'));
  for (int attempt = 0;; ++attempt) {
    if (!EnsureKnownFolder(parent)) return false;
    file->Reset(::CreateFileW(winfx::WidePath(target).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (*file) return true;
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
    if (error == ERROR_PATH_NOT_FOUND && attempt == 0 && !m_knownFolders.empty()) {
      m_knownFolders.clear();
      continue;
    }
    m_log.WriteLog(Format(kCreateFailedLine, Printable(winfx::ToShownAnsi(target)).c_str(),
                          "INVALID_HANDLE_VALUE"));
    ::SetLastError(error);
    return false;
  }
}

int CZipExtractor::EnsureKnownFolder(const WideString& path) {
  return EnsureFolderPath(path, &m_knownFolders);
}

DWORD CZipExtractor::CopyCurrentEntry(HANDLE file, const unz_file_info& info,
                                      const std::string& shown) {
  ScopedZipEntry entry(m_zip.Get());
  if (entry.OpenResult() != UNZ_OK) {
    LogUnzipFailure(shown, UnzResultName(entry.OpenResult()));
    return ERROR_INVALID_DATA;
  }
  char buffer[kCopyBufferSize];
  unsigned long long copied = 0;
  for (;;) {
    const int got = entry.Read(buffer, sizeof(buffer));
    if (got == 0) break;
    if (got < 0) return ERROR_INVALID_DATA;
    DWORD written = 0;
    if (!::WriteFile(file, buffer, static_cast<DWORD>(got), &written, nullptr)) {
      return ::GetLastError();
    }
    if (written != static_cast<DWORD>(got)) return ERROR_DISK_FULL;
    copied += written;
  }
  const int closed = entry.Close();
  if (closed != UNZ_OK) {
    LogUnzipFailure(shown, UnzResultName(closed));
    return ERROR_CRC;
  }
  // The reader checks the CRC only when the stored length was reached, and stops at that
  // length: data that ends early is caught here.
  if (copied != info.uncompressed_size) {
    LogUnzipFailure(shown, kReasonSizeMismatch);
    return ERROR_CRC;
  }
  return ERROR_SUCCESS;
}

int CZipExtractor::RefuseEntry(const std::string& shown, const std::string& reason,
                               DWORD error) {
  LogUnzipFailure(shown, reason);
  return FailWith(error);
}

void CZipExtractor::LogUnzipFailure(const std::string& shown, const std::string& reason) {
  m_log.WriteLog(Format(kUnzipFailedLine, shown.c_str(), reason.c_str()));
}

int CZipExtractor::EnsureFolderPath(const WideString& path, FolderSet* known) {
  if (path.empty()) return FailWith(ERROR_INVALID_NAME);
  if (known != nullptr && known->count(path) != 0) return 1;
  const WideString wide = winfx::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FailWith(ERROR_ALREADY_EXISTS);
  } else {
    const size_t cut = path.find_last_of(L'\\');
    if (cut == WideString::npos) {
      if (!::CreateDirectoryW(wide.c_str(), nullptr)) return 0;
    } else if (cut + 1 == path.size()) {
      // "C:\dir\" is the folder C:\dir itself.
      if (!EnsureFolderPath(path.substr(0, cut), known)) return 0;
    } else if (!EnsureFolderPath(path.substr(0, cut), known) ||
               !::CreateDirectoryW(wide.c_str(), nullptr)) {
      return 0;
    }
  }
  if (known != nullptr) known->insert(path);
  return 1;
}

int CZipExtractor::EnsureFolder(const char* path) {
  WideString wide;
  if (path == nullptr || !winfx::ToWide(path, &wide)) return FailWith(ERROR_INVALID_NAME);
  return EnsureFolderPath(wide, nullptr);
}

int CZipExtractor::EnsureParentFolder(const char* path) {
  const std::string target = OrEmpty(path);
  const size_t cut = target.find_last_of('\\');
  if (cut == std::string::npos) return FailWith(ERROR_INVALID_NAME);
  return EnsureFolder(target.substr(0, cut).c_str());
}

int CZipExtractor::RestoreFileTime(const char* path, DWORD dosDateTime) {
  winfx::ScopedHandle file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  return SetStoredFileTime(file.Get(), dosDateTime);
}

int CZipExtractor::SetStoredFileTime(HANDLE file, DWORD dosDateTime) {
  FILETIME local, utc;
  if (!::DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) ||
      !::LocalFileTimeToFileTime(&local, &utc)) {
    return 0;
  }
  // No last-access time given: the file keeps the one it has.
  return ::SetFileTime(file, &utc, nullptr, &utc) ? 1 : 0;
}
