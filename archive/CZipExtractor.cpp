#include "archive/CZipExtractor.h"

#include <algorithm>
#include <cstring>
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

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// 0 with the thread's last error set to error, for ExtractAll's "압축해제 실패" line.
int FailWith(DWORD error) {
  ::SetLastError(error);
  return 0;
}

// minizip's file functions over an open handle (their opaque value): each stream opened
// keeps its own offset, and every read names its offset, so that the directory's reader
// and the entry data's (ZipEntryData, on the same handle) never move each other's. The
// directory is read in a great many small pieces: they come from a block read at once (the
// file cannot change while it is open here: nobody may write it).
constexpr DWORD kStreamBlockSize = 16 * 1024;

struct HandleStream {
  HANDLE file;
  ZPOS64_T offset;
  ZPOS64_T blockStart;
  DWORD blockSize;
  unsigned char block[kStreamBlockSize];
};

// Reads up to size bytes at offset; the count read (0 on an error or at the end).
DWORD ReadAt(HANDLE file, ZPOS64_T offset, void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  return ::ReadFile(file, buffer, size, &got, &at) ? got : 0;
}

voidpf ZCALLBACK OpenStream(voidpf opaque, const void*, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  auto* stream = new HandleStream;
  stream->file = static_cast<HANDLE>(opaque);
  stream->offset = 0;
  stream->blockStart = 0;
  stream->blockSize = 0;
  return stream;
}

uLong ZCALLBACK ReadStream(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* at = static_cast<HandleStream*>(stream);
  uLong got = 0;
  if (size >= kStreamBlockSize) {
    got = ReadAt(at->file, at->offset, buffer, size);
  } else {
    if (at->offset < at->blockStart || at->offset + size > at->blockStart + at->blockSize) {
      at->blockStart = at->offset;
      at->blockSize = ReadAt(at->file, at->offset, at->block, kStreamBlockSize);
    }
    const ZPOS64_T skip = at->offset - at->blockStart;
    got = at->blockSize > skip ? std::min<uLong>(size, static_cast<uLong>(at->blockSize - skip)) : 0;
    std::memcpy(buffer, at->block + skip, got);
  }
  at->offset += got;
  return got;
}

uLong ZCALLBACK WriteStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellStream(voidpf, voidpf stream) { return static_cast<HandleStream*>(stream)->offset; }

long ZCALLBACK SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* at = static_cast<HandleStream*>(stream);
  LARGE_INTEGER size = {};
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      at->offset = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      at->offset += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      if (!::GetFileSizeEx(at->file, &size)) return -1;
      at->offset = static_cast<ZPOS64_T>(size.QuadPart) + offset;
      return 0;
    default:
      return -1;
  }
}

int ZCALLBACK CloseStream(voidpf, voidpf stream) {
  delete static_cast<HandleStream*>(stream);
  return 0;
}

int ZCALLBACK StreamError(voidpf, voidpf) { return 0; }

void FillHandleFunctions(zlib_filefunc64_def* functions, HANDLE archive) {
  functions->zopen64_file = OpenStream;
  functions->zread_file = ReadStream;
  functions->zwrite_file = WriteStream;
  functions->ztell64_file = TellStream;
  functions->zseek64_file = SeekStream;
  functions->zclose_file = CloseStream;
  functions->zerror_file = StreamError;
  functions->opaque = archive;
}

}  // namespace

CZipExtractor::CZipExtractor() = default;

CZipExtractor::~CZipExtractor() { Close(); }

void CZipExtractor::SetLogFolder(std::string folder) { m_log.Init(folder); }

void CZipExtractor::SetFinalFolder(std::string folder) { m_finalFolder = std::move(folder); }

int CZipExtractor::Open(const char* path) {
  Close();
  if (path == nullptr) return 0;
  // Nobody may write the archive while it is open here.
  winfx::ScopedHandle archive(::CreateFileW(winfx::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!archive || !OpenFrom(archive.Get())) return 0;
  m_ownArchive = std::move(archive);
  return 1;
}

int CZipExtractor::OpenFrom(HANDLE archive) {
  Close();
  m_knownFolders.clear();
  zlib_filefunc64_def functions = {};
  FillHandleFunctions(&functions, archive);
  m_zip.Reset(unzOpen2_64(archive, &functions));
  if (!m_zip) return 0;
  m_archive = archive;
  return 1;
}

int CZipExtractor::Close() {
  m_archive = nullptr;
  m_ownArchive.Reset();
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
  ZipDirectoryWalk walk(m_zip.Get(), m_archive);
  // No entries, or the first cannot be reached (its header is damaged, say).
  if (unzGetGlobalInfo64(m_zip.Get(), &global) != UNZ_OK || global.number_entry == 0 ||
      walk.First() != ZipDirectoryWalk::Step::kEntry) {
    m_log.WriteLog(kNoEntriesLine);
    // The archive's own fault, told apart from a local one by its caller.
    return FailWith(ERROR_INVALID_DATA);
  }

  ZipPipeline pipeline(m_zip.Get(), m_archive, folder, m_finalFolder, &m_log,
                       &m_knownFolders);
  const bool extracted = pipeline.ExtractToEnd(&walk);
  m_inflatedBytes = pipeline.InflatedBytes();
  return extracted ? 1 : LogEntryFailure(folder, pipeline.Error());
}

int CZipExtractor::GetTotalSize(unsigned long long* bytes, unsigned long long* entries) {
  *bytes = 0;
  *entries = 0;
  if (!m_zip) return 0;
  ZipDirectoryWalk walk(m_zip.Get(), m_archive);
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
  ZipPipeline pipeline(m_zip.Get(), m_archive, OrEmpty(folder), m_finalFolder, &m_log,
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
