// ZipEntryData: the data of an archive's entries, read straight from the archive file in
// large blocks and inflated with zlib, capped at each entry's stored length as minizip's
// reader does. It computes no CRC: the side that writes the data checks it as it writes,
// so the two threads of an extraction share that work.
#pragma once

#include <windows.h>
#include <unzip.h>
#include <zlib.h>

#include <memory>

class ZipEntryData {
 public:
  // Compressed bytes read from the archive at a time.
  static constexpr DWORD kInputSize = 256 * 1024;

  // Reads from archive, a handle open for reading on the file zip was opened from; both
  // outlive the object.
  ZipEntryData(unzFile zip, HANDLE archive);
  ~ZipEntryData();
  ZipEntryData(const ZipEntryData&) = delete;
  ZipEntryData& operator=(const ZipEntryData&) = delete;

  // Starts on zip's current entry, described by info (stored or deflated): UNZ_OK, or the
  // result that stopped it (minizip's check of the entry's local header, zlib's set-up).
  int Open(const unz_file_info64& info);

  // Up to size bytes of the entry's data: the count, 0 at its end (the stored length
  // reached, or the data ended before it), negative on an error (unreadable archive,
  // corrupt or cut compressed data).
  int Read(char* buffer, unsigned size);

  // After Read has answered 0 at the stored length: true when the data ends there too (a
  // stored entry's data is as long as its stored length; a deflate stream ends there and
  // inflates to no byte more). False for data longer than its entry says, or unreadable.
  bool EndsAtStoredLength();

 private:
  // Inflates into size bytes at buffer: the count made, or a negative result (zlib's).
  int InflateInto(char* buffer, unsigned size);
  // Reads the next compressed bytes into the input buffer; false when they cannot be read.
  bool Refill();
  // Reads size bytes at the current offset into buffer; false unless all came.
  bool ReadAt(void* buffer, DWORD size);

  unzFile m_zip;
  HANDLE m_archive;
  z_stream m_stream = {};
  bool m_streamReady = false;
  std::unique_ptr<unsigned char[]> m_input;
  // The current entry: stored or deflated, where its next compressed byte is, what is left
  // of its compressed and of its stored length, and whether the deflate stream ended.
  bool m_stored = false;
  unsigned long long m_offset = 0;
  unsigned long long m_compressedLeft = 0;
  unsigned long long m_uncompressedLeft = 0;
  bool m_ended = true;
};
