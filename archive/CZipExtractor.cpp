#include "archive/CZipExtractor.h"

#include <utility>

#include "archive/ZipPipeline.h"
#include "winfx/Format.h"
#include "winfx/Saturating.h"
#include "winfx/WidePath.h"

namespace {

using winfx::Format;

// Log lines, byte for byte.
constexpr char kNoArchiveLine[] = "[unzip] 파일이 존재하지 않습니다.";
constexpr char kFolderFailedLine[] = "[unzip] 폴더생성 실패. %s";
constexpr char kNoEntriesLine[] = "[unzip] 압축 내 파일이 없거나 읽을 수 없습니다.";
constexpr char kEntryFailedLine[] = "[unzip] 압축해제 실패 . %s / err : %d";

// minizip's C-stream access, but the archive opened by its wide name: the path is code
// page 949 text whatever the system's ANSI code page. Read only: nothing writes archives.
voidpf ZCALLBACK OpenArchiveStream(voidpf, const void* filename, int mode) {
  if (filename == nullptr || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) {
    return nullptr;
  }
  return ::_wfopen(winfx::WidePath(static_cast<const char*>(filename)).c_str(), L"rb");
}

unzFile OpenArchive(const char* path) {
  zlib_filefunc64_def functions;
  fill_fopen64_filefunc(&functions);
  functions.zopen64_file = &OpenArchiveStream;
  return unzOpen2_64(path, &functions);
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

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
  m_zip.Reset(OpenArchive(path));
  if (!m_zip) return 0;
  // Entry data is read through a handle of its own: large reads at known offsets. Nobody
  // may write the archive while it is open here.
  m_archive.Reset(::CreateFileW(winfx::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!m_archive) {
    Close();
    return 0;
  }
  return 1;
}

int CZipExtractor::Close() {
  m_archive.Reset();
  if (!m_zip) return 0;
  return unzClose(m_zip.Release()) == UNZ_OK ? 1 : 0;
}

int CZipExtractor::ExtractAll(const char* folder) {
  m_inflatedBytes = 0;
  if (!m_zip) {
    m_log.WriteLog(kNoArchiveLine);
    return 0;
  }
  if (folder == nullptr || !EnsureFolder(folder)) {
    m_log.WriteLog(Format(kFolderFailedLine, OrEmpty(folder)));
    return 0;
  }
  unz_global_info64 global;
  ZipDirectoryWalk walk(m_zip.Get(), m_archive.Get());
  // No entries, or the first cannot be reached (its header is damaged, say).
  if (unzGetGlobalInfo64(m_zip.Get(), &global) != UNZ_OK || global.number_entry == 0 ||
      walk.First() != ZipDirectoryWalk::Step::kEntry) {
    m_log.WriteLog(kNoEntriesLine);
    // The archive's own fault, told apart from a local one by its caller.
    return FailWith(ERROR_INVALID_DATA);
  }

  ZipPipeline pipeline(m_zip.Get(), m_archive.Get(), folder, m_finalFolder, &m_log,
                       &m_knownFolders);
  const bool extracted = pipeline.ExtractToEnd(&walk);
  m_inflatedBytes = pipeline.InflatedBytes();
  return extracted ? 1 : LogEntryFailure(folder, pipeline.Error());
}

int CZipExtractor::GetTotalSize(unsigned long long* bytes, unsigned long long* entries) {
  *bytes = 0;
  *entries = 0;
  if (!m_zip) return 0;
  ZipDirectoryWalk walk(m_zip.Get(), m_archive.Get());
  ZipDirectoryWalk::Step step = walk.First();
  unsigned long long total = 0;
  for (; step == ZipDirectoryWalk::Step::kEntry;) {
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(m_zip.Get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return 0;
    }
    total = winfx::SaturatingAdd(total, info.uncompressed_size);
    step = walk.Next(info);
  }
  if (step != ZipDirectoryWalk::Step::kEnd) return 0;
  *bytes = total;
  *entries = walk.Walked();
  return 1;
}

int CZipExtractor::LogEntryFailure(const char* folder, DWORD error) {
  m_log.WriteLog(Format(kEntryFailedLine, folder, static_cast<int>(error)));
  return FailWith(error);
}

int CZipExtractor::ExtractCurrentEntry(const char* folder) {
  if (!m_zip) return FailWith(ERROR_INVALID_HANDLE);
  // A null folder fails the folder check as "" does, with its line.
  ZipPipeline pipeline(m_zip.Get(), m_archive.Get(), OrEmpty(folder), m_finalFolder, &m_log,
                       &m_knownFolders);
  return pipeline.ExtractCurrentEntry() ? 1 : FailWith(pipeline.Error());
}

int CZipExtractor::EnsureFolder(const char* path) {
  winfx::WideString wide;
  if (path == nullptr || !winfx::ToWide(path, &wide)) return FailWith(ERROR_INVALID_NAME);
  return ZipEntryWriter::EnsureFolderPath(wide, nullptr);
}

int CZipExtractor::EnsureParentFolder(const char* path) {
  const std::string target = OrEmpty(path);
  const size_t cut = target.find_last_of('\\');
  if (cut == std::string::npos) return FailWith(ERROR_INVALID_NAME);
  return EnsureFolder(target.substr(0, cut).c_str());
}

int CZipExtractor::RestoreFileTime(const char* path, DWORD dosDateTime) {
  winfx::ScopedHandle file(::CreateFileW(winfx::WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  if (!file) return 0;
  return ZipEntryWriter::SetStoredFileTime(file.Get(), dosDateTime);
}
