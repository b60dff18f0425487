#include "archive/ZipDirectoryWalk.h"

#include <memory>

namespace {

// Record signatures and sizes (PKWARE APPNOTE 4.3.14 to 4.3.16).
constexpr DWORD kEndSignature = 0x06054B50;
constexpr DWORD kZip64LocatorSignature = 0x07064B50;
constexpr DWORD kZip64EndSignature = 0x06064B50;
constexpr DWORD kEndSize = 22;
constexpr DWORD kZip64LocatorSize = 20;
constexpr DWORD kZip64EndSize = 56;
constexpr DWORD kMaxCommentSize = 0xFFFF;
// A central directory header without its name, extra field and comment.
constexpr unsigned long long kCentralHeaderSize = 46;
// A 16-bit entry count of this value may stand for more without a zip64 record: the
// directory then ends where its size says.
constexpr unsigned long long kSaturatedCount = 0xFFFF;

unsigned long long Little(const unsigned char* at, int bytes) {
  unsigned long long value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

bool ReadAt(HANDLE file, unsigned long long offset, void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  return ::ReadFile(file, buffer, size, &got, &at) && got == size;
}

}  // namespace

ZipDirectoryWalk::ZipDirectoryWalk(unzFile zip, HANDLE archive) : m_zip(zip), m_archive(archive) {}

bool ZipDirectoryWalk::ReadEnd(HANDLE archive, End* end) {
  LARGE_INTEGER fileSize;
  if (!::GetFileSizeEx(archive, &fileSize) || fileSize.QuadPart < kEndSize) return false;
  const unsigned long long size = static_cast<unsigned long long>(fileSize.QuadPart);
  // The end record, a comment of up to 64 KiB after it, and a zip64 locator before it.
  const DWORD tail = static_cast<DWORD>(
      size < kEndSize + kMaxCommentSize + kZip64LocatorSize ? size
                                                            : kEndSize + kMaxCommentSize + kZip64LocatorSize);
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[tail]);
  if (!ReadAt(archive, size - tail, bytes.get(), tail)) return false;
  // The last signature, as the reader finds it.
  DWORD at = tail - kEndSize + 1;
  while (at > 0 && Little(bytes.get() + --at, 4) != kEndSignature) {
  }
  if (Little(bytes.get() + at, 4) != kEndSignature) return false;
  end->entries = Little(bytes.get() + at + 10, 2);
  end->size = Little(bytes.get() + at + 12, 4);
  end->zip64 = false;
  if (at < kZip64LocatorSize) return true;
  const unsigned char* locator = bytes.get() + at - kZip64LocatorSize;
  if (Little(locator, 4) != kZip64LocatorSignature) return true;
  unsigned char record[kZip64EndSize];
  if (!ReadAt(archive, Little(locator + 8, 8), record, kZip64EndSize) ||
      Little(record, 4) != kZip64EndSignature) {
    return false;
  }
  end->entries = Little(record + 32, 8);
  end->size = Little(record + 40, 8);
  end->zip64 = true;
  return true;
}

ZipDirectoryWalk::Step ZipDirectoryWalk::First() {
  m_walked = 0;
  if (!ReadEnd(m_archive, &m_end) || unzGoToFirstFile(m_zip) != UNZ_OK) return Step::kBroken;
  m_start = m_reached = unzGetOffset64(m_zip);
  m_walked = 1;
  return Step::kEntry;
}

ZipDirectoryWalk::Step ZipDirectoryWalk::Next(const unz_file_info64& info) {
  m_reached = unzGetOffset64(m_zip) + kCentralHeaderSize + info.size_filename +
              info.size_file_extra + info.size_file_comment;
  const int next = unzGoToNextFile(m_zip);
  if (next == UNZ_OK) {
    ++m_walked;
    return Step::kEntry;
  }
  // The reader walks on past a count of 0xFFFF until a header no longer reads: that is
  // the end when it falls where the directory's size says.
  if (next == UNZ_END_OF_LIST_OF_FILE || (!m_end.zip64 && m_end.entries == kSaturatedCount)) {
    return Ended();
  }
  return Step::kBroken;
}

ZipDirectoryWalk::Step ZipDirectoryWalk::Ended() const {
  const bool counted = m_walked == m_end.entries ||
                       (!m_end.zip64 && m_end.entries == kSaturatedCount && m_walked > kSaturatedCount);
  return counted && m_reached - m_start == m_end.size ? Step::kEnd : Step::kBroken;
}
