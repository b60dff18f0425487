// Times CZipExtractor on one archive, then only inflating the same entries in the same
// process (no files written): the limit of what writing files costs on top; then the
// file-creation floor: the same folders and files, of the same sizes, made with the bare
// calls (CreateDirectoryA, CreateFileA, WriteFile, CloseHandle) into FLOOR_FOLDER.
//   extract_bench.exe ARCHIVE TARGET_FOLDER FLOOR_FOLDER [floor-first]
// The extraction runs first, or last with "floor-first". Prints "key value" lines:
// extract_seconds, inflate_seconds, floor_seconds, bytes, entries.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "archive/CZipExtractor.h"
#include "archive/ScopedUnzip.h"
#include "archive/ZipEntryName.h"
#include "winfx/ScopedHandle.h"

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

// A file entry of the archive: its name with "\" separators and its length.
struct FileShape {
  std::string name;
  unsigned long size;
};

// Reads every entry's data through minizip's own reader, which inflates and checks the CRC
// on one thread (what a single thread has to do with the data; the extractor shares that
// work between its two threads), and lists the file entries into files; false on any
// error.
bool InflateAll(const char* archive, unsigned long long* bytes, unsigned long* entries,
                std::vector<FileShape>* files) {
  ScopedUnzFile zip(unzOpen(archive));
  if (!zip || unzGoToFirstFile(zip.Get()) != UNZ_OK) return false;
  static char buffer[CZipExtractor::kCopyBufferSize];
  int next = UNZ_OK;
  for (; next == UNZ_OK; next = unzGoToNextFile(zip.Get())) {
    unz_file_info info;
    char name[CZipExtractor::kNameBufferSize];
    if (unzGetCurrentFileInfo(zip.Get(), &info, name, sizeof(name), nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      return false;
    }
    const std::string path = ToWindowsSeparators(name);
    if (!path.empty() && path.back() != '\\') files->push_back({path, info.uncompressed_size});
    ScopedZipEntry entry(zip.Get());
    if (entry.OpenResult() != UNZ_OK) return false;
    int got;
    while ((got = entry.Read(buffer, sizeof(buffer))) > 0) *bytes += static_cast<unsigned>(got);
    if (got < 0 || entry.Close() != UNZ_OK) return false;
    ++*entries;
  }
  return next == UNZ_END_OF_LIST_OF_FILE;
}

// Makes files (and their folders) below folder with the bare calls, each written in
// blocks of the extractor's buffer size; false on any error.
bool WriteFloor(const std::vector<FileShape>& files, const std::string& folder) {
  if (!::CreateDirectoryA(folder.c_str(), nullptr)) return false;
  std::set<std::string> made;
  const std::vector<char> block(CZipExtractor::kCopyBufferSize, 'x');
  for (const FileShape& file : files) {
    for (size_t cut = file.name.find('\\'); cut != std::string::npos;
         cut = file.name.find('\\', cut + 1)) {
      const std::string sub = folder + "\\" + file.name.substr(0, cut);
      if (made.insert(sub).second && !::CreateDirectoryA(sub.c_str(), nullptr)) return false;
    }
    winfx::ScopedHandle out(::CreateFileA((folder + "\\" + file.name).c_str(), GENERIC_WRITE, 0,
                                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return false;
    for (unsigned long left = file.size; left > 0;) {
      const DWORD chunk = left < block.size() ? left : static_cast<DWORD>(block.size());
      DWORD written = 0;
      if (!::WriteFile(out.Get(), block.data(), chunk, &written, nullptr) || written != chunk) {
        return false;
      }
      left -= chunk;
    }
  }
  return true;
}

// Times the extraction of archive into folder; a negative figure when it failed.
double TimeExtraction(const char* archive, const char* folder) {
  CZipExtractor extractor;
  const double start = Seconds();
  if (extractor.Open(archive) != 1 || extractor.ExtractAll(folder) != 1) return -1;
  extractor.Close();
  return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const bool floorFirst = argc == 5 && std::string(argv[4]) == "floor-first";
  if (argc != 4 && !floorFirst) {
    std::fprintf(stderr, "usage: extract_bench ARCHIVE TARGET_FOLDER FLOOR_FOLDER [floor-first]\n");
    return 2;
  }
  // The extraction goes first or last, so a run's order can't favour either side.
  double extractSeconds = floorFirst ? 0 : TimeExtraction(argv[1], argv[2]);

  unsigned long long bytes = 0;
  unsigned long entries = 0;
  std::vector<FileShape> files;
  const double start = Seconds();
  if (!InflateAll(argv[1], &bytes, &entries, &files)) {
    std::fprintf(stderr, "inflating failed\n");
    return 1;
  }
  const double inflated = Seconds();
  if (!WriteFloor(files, argv[3])) {
    std::fprintf(stderr, "writing the floor's files failed\n");
    return 1;
  }
  const double floored = Seconds();
  if (floorFirst) extractSeconds = TimeExtraction(argv[1], argv[2]);
  if (extractSeconds < 0) {
    std::fprintf(stderr, "extraction failed\n");
    return 1;
  }
  std::printf(
      "extract_seconds %.6f\ninflate_seconds %.6f\nfloor_seconds %.6f\nbytes %llu\n"
      "entries %lu\n",
      extractSeconds, inflated - start, floored - inflated, bytes, entries);
  return 0;
}
