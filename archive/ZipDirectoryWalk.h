// ZipDirectoryWalk: a walk over an archive's central directory, entry by entry, that ends
// as a success only where the directory's end records say it ends: as many entries as
// they count (the zip64 record's count where there is one) and as many bytes as they give
// the directory. An entry count that wrapped at 16 bits, or a directory that stops reading
// early, is caught here rather than taken for the archive's end.
#pragma once

#include <windows.h>
#include <unzip.h>

class ZipDirectoryWalk {
 public:
  enum class Step {
    kEntry,   // at an entry
    kEnd,     // past the last entry, where the end records say the directory ends
    kBroken,  // the records cannot be read, or the entries walked disagree with them
  };

  // The end records as they are stored: the entry count and the directory's size, from
  // the zip64 record when the archive has one.
  struct End {
    unsigned long long entries = 0;
    unsigned long long size = 0;
    bool zip64 = false;
  };

  // A walk of zip's directory; archive: a handle open for reading on zip's file. Both
  // outlive the walk.
  ZipDirectoryWalk(unzFile zip, HANDLE archive);

  // Reads the end records and goes to the first entry: kEntry there, or kBroken.
  Step First();

  // After the current entry, whose directory information is info: kEntry at the next
  // entry, or how the walk ended.
  Step Next(const unz_file_info64& info);

  // Entries walked so far (the current one included).
  unsigned long long Walked() const { return m_walked; }

  // Reads the end records from the last 64 KiB and a little of archive. False when there
  // is no end record, or its zip64 locator leads to no zip64 record.
  static bool ReadEnd(HANDLE archive, End* end);

 private:
  // The end of the walk: kEnd when what was walked is the whole directory.
  Step Ended() const;

  unzFile m_zip;
  HANDLE m_archive;
  End m_end;
  unsigned long long m_walked = 0;
  // Where the directory starts and where the entries walked end, as minizip counts.
  unsigned long long m_start = 0;
  unsigned long long m_reached = 0;
};
