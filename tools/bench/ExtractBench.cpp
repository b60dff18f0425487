// Times CZipExtractor on one archive, then only inflating the same entries in the same
// process (no files written): the limit of what writing files costs on top.
//   extract_bench.exe ARCHIVE TARGET_FOLDER
// Prints "key value" lines: extract_seconds, inflate_seconds, bytes, entries.
#include <windows.h>

#include <cstdio>

#include "archive/CZipExtractor.h"
#include "archive/ScopedUnzip.h"

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Reads every entry's data through the reader as the extractor does; false on any error.
bool InflateAll(const char* archive, unsigned long long* bytes, unsigned long* entries) {
  ScopedUnzFile zip(unzOpen(archive));
  if (!zip || unzGoToFirstFile(zip.Get()) != UNZ_OK) return false;
  char buffer[CZipExtractor::kCopyBufferSize];
  int next = UNZ_OK;
  for (; next == UNZ_OK; next = unzGoToNextFile(zip.Get())) {
    ScopedZipEntry entry(zip.Get());
    if (entry.OpenResult() != UNZ_OK) return false;
    int got;
    while ((got = entry.Read(buffer, sizeof(buffer))) > 0) *bytes += static_cast<unsigned>(got);
    if (got < 0 || entry.Close() != UNZ_OK) return false;
    ++*entries;
  }
  return next == UNZ_END_OF_LIST_OF_FILE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_bench ARCHIVE TARGET_FOLDER\n");
    return 2;
  }
  CZipExtractor extractor;
  const double start = Seconds();
  if (extractor.Open(argv[1]) != 1 || extractor.ExtractAll(argv[2]) != 1) {
    std::fprintf(stderr, "extraction failed\n");
    return 1;
  }
  extractor.Close();
  const double extracted = Seconds();

  unsigned long long bytes = 0;
  unsigned long entries = 0;
  if (!InflateAll(argv[1], &bytes, &entries)) {
    std::fprintf(stderr, "inflating failed\n");
    return 1;
  }
  const double inflated = Seconds();
  std::printf("extract_seconds %.6f\ninflate_seconds %.6f\nbytes %llu\nentries %lu\n",
              extracted - start, inflated - extracted, bytes, entries);
  return 0;
}
