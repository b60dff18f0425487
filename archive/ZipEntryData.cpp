#include "archive/ZipEntryData.h"

#include <algorithm>

ZipEntryData::ZipEntryData(unzFile zip, HANDLE archive) : m_zip(zip), m_archive(archive) {}

ZipEntryData::~ZipEntryData() {
  if (m_streamReady) inflateEnd(&m_stream);
}

int ZipEntryData::Open(const unz_file_info64& info) {
  m_ended = true;
  // Opened raw, minizip checks the local header and finds where the data starts; the data
  // itself is read from the archive's handle here.
  const int opened = unzOpenCurrentFile2(m_zip, nullptr, nullptr, 1);
  if (opened != UNZ_OK) return opened;
  m_offset = static_cast<unsigned long long>(unzGetCurrentFileZStreamPos64(m_zip));
  unzCloseCurrentFile(m_zip);
  m_stored = info.compression_method == 0;
  m_compressedLeft = info.compressed_size;
  m_uncompressedLeft = info.uncompressed_size;
  if (!m_stored) {
    // One inflater for all entries: reset, not made again, for each.
    const int ready = m_streamReady ? inflateReset(&m_stream) : inflateInit2(&m_stream, -MAX_WBITS);
    if (ready != Z_OK) return ready;
    m_streamReady = true;
    if (!m_input) m_input.reset(new unsigned char[kInputSize]);
    m_stream.next_in = m_input.get();
    m_stream.avail_in = 0;
  }
  m_ended = false;
  return UNZ_OK;
}

int ZipEntryData::Read(char* buffer, unsigned size) {
  if (m_ended) return 0;
  size = static_cast<unsigned>(std::min<unsigned long long>(size, m_uncompressedLeft));
  if (m_stored) {
    const DWORD count = static_cast<DWORD>(std::min<unsigned long long>(size, m_compressedLeft));
    if (count == 0) return 0;
    if (!ReadAt(buffer, count)) return UNZ_ERRNO;
    m_compressedLeft -= count;
    m_uncompressedLeft -= count;
    return static_cast<int>(count);
  }
  const int produced = InflateInto(buffer, size);
  if (produced > 0) m_uncompressedLeft -= static_cast<unsigned>(produced);
  return produced;
}

bool ZipEntryData::EndsAtStoredLength() {
  if (m_stored) return m_compressedLeft == 0;
  // One byte more, where the stream should end instead.
  char more;
  return m_ended || InflateInto(&more, 1) == 0;
}

int ZipEntryData::InflateInto(char* buffer, unsigned size) {
  m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
  m_stream.avail_out = size;
  while (m_stream.avail_out > 0) {
    if (m_stream.avail_in == 0 && m_compressedLeft > 0 && !Refill()) return UNZ_ERRNO;
    const int result = inflate(&m_stream, Z_SYNC_FLUSH);
    if (result == Z_STREAM_END) {
      m_ended = true;
      break;
    }
    // Out of input with the stream unfinished (Z_BUF_ERROR): the data was cut.
    if (result != Z_OK) return result < 0 ? result : Z_DATA_ERROR;
  }
  return static_cast<int>(size - m_stream.avail_out);
}

bool ZipEntryData::Refill() {
  const DWORD count = static_cast<DWORD>(std::min<unsigned long long>(kInputSize, m_compressedLeft));
  if (!ReadAt(m_input.get(), count)) return false;
  m_compressedLeft -= count;
  m_stream.next_in = m_input.get();
  m_stream.avail_in = count;
  return true;
}

bool ZipEntryData::ReadAt(void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(m_offset);
  at.OffsetHigh = static_cast<DWORD>(m_offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(m_archive, buffer, size, &got, &at) || got != size) return false;
  m_offset += size;
  return true;
}
