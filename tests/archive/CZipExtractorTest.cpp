// CZipExtractor on real archives (written by make_archives.py at build time), extracted
// into real folders of the Wine prefix, with its log lines read from the daily log.
#include "archive/CZipExtractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

#include "tests/support/TestSupport.h"
#include "winfx/WidePath.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ListTree;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::TodaysLogPath;
using testing_support::WriteFileBytes;
using Lines = std::vector<std::string>;

std::string ArchivePath(const std::string& name) {
  return FromUnixPath(QUILLON_TEST_ARCHIVES) + "\\" + name;
}

// What make_archives.py stores in an entry of that (stored) name.
std::string ContentOf(const std::string& storedName) {
  std::string content;
  for (int i = 0; i < 3000; ++i) content += "content of " + storedName + "\r\n";
  return content;
}

// An entry name as a log line shows it: "\" separators, control characters as "?" (and,
// for these names of ASCII or no text at all, every byte above ASCII).
std::string Shown(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '\\';
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return name;
}

// Local time as the archive stores it, turned into UTC.
FILETIME StoredTimeInUtc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  SYSTEMTIME utc;
  FILETIME time = {};
  EXPECT_TRUE(::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  EXPECT_TRUE(::SystemTimeToFileTime(&utc, &time));
  return time;
}

ULONGLONG Ticks(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct FileTimes {
  ULONGLONG created = 0, accessed = 0, written = 0;
};

FileTimes TimesOf(const std::string& path) {
  FileTimes times;
  winfx::ScopedHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  FILETIME created, accessed, written;
  if (file && ::GetFileTime(file.Get(), &created, &accessed, &written)) {
    times = {Ticks(created), Ticks(accessed), Ticks(written)};
  }
  return times;
}

ULONGLONG Now() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return Ticks(now);
}

class ZipExtractorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The installation folder logs: DEBUG on and a log folder.
    ASSERT_TRUE(WriteFileBytes(install_ / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
    ASSERT_TRUE(::CreateDirectoryA((install_ / "log").c_str(), nullptr));
    extractor_.SetLogFolder(install_.Path());
  }

  void Open(const std::string& archive) {
    ASSERT_EQ(1, extractor_.Open(ArchivePath(archive).c_str())) << archive;
  }

  // Opens the archive and extracts it into the installation folder.
  int ExtractIntoInstallFolder(const std::string& archive) {
    if (extractor_.Open(ArchivePath(archive).c_str()) != 1) return -1;
    return extractor_.ExtractAll(install_.Path().c_str());
  }

  // The log's lines since the last call, without their time stamps.
  Lines NewLogLines() {
    std::istringstream log(ReadFileBytes(TodaysLogPath(install_.Path())));
    Lines lines;
    std::string line;
    for (int n = 0; std::getline(log, line); ++n) {
      if (n < linesSeen_) continue;
      EXPECT_TRUE(line.size() >= 23 && line[0] == '[' && line[20] == ']' && line.back() == '\r')
          << line;
      lines.push_back(line.substr(22, line.size() - 23));
    }
    linesSeen_ += static_cast<int>(lines.size());
    return lines;
  }

  // What lies below the installation folder besides its settings and log.
  Lines Extracted() {
    Lines tree = ListTree(install_.Path());
    tree.erase(std::remove_if(tree.begin(), tree.end(),
                              [](const std::string& entry) {
                                return entry == "info.ini" || entry.compare(0, 4, "log\\") == 0;
                              }),
               tree.end());
    return tree;
  }

  std::string EntryFailedLine(int error) {
    return "[unzip] 압축해제 실패 . " + install_.Path() + " / err : " + std::to_string(error);
  }
  std::string UnzipFailedLine(const std::string& name, const std::string& reason) {
    return "[unzip] unzip실패 " + install_.Path() + "\\" + Shown(name) + " | " + reason + " ";
  }

  TempFolder install_{"zipextract"};
  CZipExtractor extractor_;
  int linesSeen_ = 0;
};

const Lines kBasicTree = {"a\\", "a\\b\\", "a\\b\\c.txt", "docs\\", "docs\\a.txt", "top.txt"};

void ExpectBasicFiles(const std::string& root) {
  EXPECT_EQ(kBasicTree, ListTree(root));
  EXPECT_EQ(ContentOf("docs/a.txt"), ReadFileBytes(root + "\\docs\\a.txt"));
  EXPECT_EQ(ContentOf("top.txt"), ReadFileBytes(root + "\\top.txt"));
  EXPECT_EQ(ContentOf("a/b/c.txt"), ReadFileBytes(root + "\\a\\b\\c.txt"));
}

TEST_F(ZipExtractorTest, FolderEntriesMakeTheirFoldersEmptyOnesAndAttributeOnesToo) {
  EXPECT_EQ(1, ExtractIntoInstallFolder("basic.zip"));
  EXPECT_EQ(kBasicTree, Extracted());

  TempFolder other("zipextract-folders");
  Open("only-folder.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(other.Path().c_str()));
  EXPECT_EQ(Lines{"empty\\"}, ListTree(other.Path()));
  // Marked by the MS-DOS attribute alone (MS-DOS and Windows hosts), as the common tools
  // read them; from a Unix host the same bit marks nothing.
  TempFolder dos("zipextract-dos");
  Open("dos-folders.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(dos.Path().c_str()));
  EXPECT_EQ((Lines{"dosdir\\", "dosdir\\inside.txt", "empty\\", "ntfsdir\\", "stored\\", "unixname"}),
            ListTree(dos.Path()));
  EXPECT_EQ(ContentOf("inside.txt"), ReadFileBytes(dos / "dosdir\\inside.txt"));
  EXPECT_EQ("a file", ReadFileBytes(dos / "unixname"));
  // Folders and nothing else are an archive too.
  TempFolder folders("zipextract-folders-only");
  Open("folders-only.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(folders.Path().c_str()));
  EXPECT_EQ((Lines{"a\\", "b\\", "b\\c\\", "d\\"}), ListTree(folders.Path()));
  EXPECT_EQ(Lines{}, NewLogLines());
}

TEST_F(ZipExtractorTest, SizesAndEntryCountsAreTakenAtSixtyFourBits) {
  // Declared as 4 GiB + 5 bytes, with 5 bytes of data: refused, not cut to 5.
  EXPECT_EQ(0, ExtractIntoInstallFolder("declared-4gib.zip"));
  unsigned long long bytes = 0, entries = 0;
  EXPECT_EQ(1, extractor_.GetTotalSize(&bytes, &entries));
  EXPECT_EQ((4ULL << 30) + 5, bytes);
  // 65,540 entries behind a count saturated at 0xFFFF, with and without a zip64 record:
  // all of them walked and counted.
  for (const char* archive : {"many-zip64.zip", "many-saturated.zip"}) {
    Open(archive);
    EXPECT_EQ(1, extractor_.GetTotalSize(&bytes, &entries)) << archive;
    EXPECT_EQ(4u, bytes) << archive;
    EXPECT_EQ(65540u, entries) << archive;
    EXPECT_EQ(1, ExtractIntoInstallFolder(archive)) << archive;
  }
  EXPECT_EQ((Lines{"d\\", "last.txt"}), Extracted());
  // A count that wrapped round to 4: not taken for the end.
  ASSERT_TRUE(testing_support::RemoveTree(install_ / "last.txt"));
  Open("many-wrapped.zip");
  EXPECT_EQ(0, extractor_.GetTotalSize(&bytes, &entries));
  EXPECT_EQ(0, ExtractIntoInstallFolder("many-wrapped.zip"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), ::GetLastError());
  EXPECT_FALSE(PathExists(install_ / "last.txt"));
  EXPECT_EQ((Lines{UnzipFailedLine("big.txt", "SIZE_MISMATCH"), EntryFailedLine(ERROR_CRC),
                   EntryFailedLine(ERROR_INVALID_DATA)}),
            NewLogLines());
}

// A deterministic stream of numbers (a linear congruential generator).
class Seeded {
 public:
  explicit Seeded(unsigned seed) : state_(seed * 2654435761u + 1) {}
  unsigned Next(unsigned below) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 8) % below;
  }

 private:
  unsigned state_;
};

TEST_F(ZipExtractorTest, MutatedArchivesFailWithTheirLineAndWriteNothingOutside) {
  TempFolder mutated("zipextract-mutated");
  int opened = 0, failed = 0;
  for (unsigned seed = 0; seed < 300; ++seed) {
    std::string bytes = ReadFileBytes(ArchivePath(seed % 2 ? "prefixed.zip" : "basic.zip"));
    ASSERT_FALSE(bytes.empty());
    Seeded random(seed);
    // A few bytes changed, most of them in the directory and its end record.
    for (unsigned n = 1 + random.Next(4); n > 0; --n) {
      const size_t tail = bytes.size() / 4;
      const size_t at = random.Next(3) ? bytes.size() - 1 - random.Next(static_cast<unsigned>(tail))
                                       : random.Next(static_cast<unsigned>(bytes.size()));
      const char values[] = {'\0', '\xFF', static_cast<char>(random.Next(256))};
      bytes[at] = values[random.Next(3)];
    }
    const std::string archive = mutated / "mutated.zip";
    ASSERT_TRUE(WriteFileBytes(archive, bytes));
    if (extractor_.Open(archive.c_str()) != 1) continue;
    ++opened;
    const int extracted = extractor_.ExtractAll((install_ / "out").c_str());
    extractor_.Close();
    const Lines lines = NewLogLines();
    if (extracted != 1) {
      ++failed;
      ASSERT_FALSE(lines.empty()) << "seed " << seed;
    }
    for (const std::string& line : lines) EXPECT_EQ(0u, line.find("[unzip] ")) << "seed " << seed;
    for (const std::string& entry : Extracted()) {
      ASSERT_EQ(0u, entry.find("out\\")) << entry << ", seed " << seed;
    }
    EXPECT_EQ(Lines{"mutated.zip"}, ListTree(mutated.Path())) << "seed " << seed;
    ASSERT_TRUE(testing_support::RemoveTree(install_ / "out"));
  }
  // The mutations reach the extraction, and most of them fail it.
  EXPECT_GT(opened, 100);
  EXPECT_GT(failed, 50);
}

TEST_F(ZipExtractorTest, AnEntryOfFourGibibytesAndMoreExtractsWhole) {
  ULARGE_INTEGER available;
  ASSERT_TRUE(::GetDiskFreeSpaceExA(install_.Path().c_str(), &available, nullptr, nullptr));
  const unsigned long long size = (4ULL << 30) + (1 << 20);
  if (available.QuadPart < size + (256ULL << 20)) {
    GTEST_SKIP() << "the test volume has " << available.QuadPart << " bytes free, the entry needs "
                 << size;
  }
  EXPECT_EQ(1, ExtractIntoInstallFolder("zeros-4gib.zip"));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(::GetFileAttributesExA((install_ / "zeros.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(size, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  EXPECT_EQ(Lines{}, NewLogLines());
  extractor_.Close();
  EXPECT_TRUE(::DeleteFileA((install_ / "zeros.bin").c_str()));
}

TEST_F(ZipExtractorTest, SlashNamesBecomeTheSamePathsWithOrWithoutTrailingBackslash) {
  TempFolder plain("zipextract-plain");
  TempFolder trailing("zipextract-trailing");
  Open("basic.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(plain.Path().c_str()));
  EXPECT_EQ(1, extractor_.ExtractAll((trailing.Path() + "\\").c_str()));
  // A missing target given with a trailing "\" is created like one without.
  EXPECT_EQ(1, extractor_.ExtractAll((trailing / "new\\deep\\").c_str()));
  ExpectBasicFiles(plain.Path());
  ExpectBasicFiles(trailing / "new\\deep");
  EXPECT_EQ(ContentOf("top.txt"), ReadFileBytes(trailing / "top.txt"));
}

TEST_F(ZipExtractorTest, StoredLocalTimeBecomesCreationAndLastWriteTimeInUtc) {
  TIME_ZONE_INFORMATION zone;
  ::GetTimeZoneInformation(&zone);
  ASSERT_NE(0, zone.Bias) << "run with a time zone away from UTC (ctest sets TZ=Asia/Seoul)";
  const ULONGLONG started = Now();
  EXPECT_EQ(1, ExtractIntoInstallFolder("basic.zip"));

  struct Expected {
    const char* file;
    FILETIME stored;
  };
  const Expected files[] = {{"docs\\a.txt", StoredTimeInUtc(2001, 2, 3, 4, 5, 6)},
                            {"top.txt", StoredTimeInUtc(2019, 12, 31, 23, 59, 58)},
                            {"a\\b\\c.txt", StoredTimeInUtc(2010, 5, 6, 7, 8, 10)}};
  for (const Expected& f : files) {
    FileTimes times = TimesOf(install_ / f.file);
    EXPECT_EQ(Ticks(f.stored), times.created) << f.file;
    EXPECT_EQ(Ticks(f.stored), times.written) << f.file;
    // Last access stays as writing left it: now, not the archive's time.
    const ULONGLONG twoSeconds = 2 * 10000000ULL;
    EXPECT_GE(times.accessed + twoSeconds, started) << f.file;
  }
}

TEST_F(ZipExtractorTest, ExistingFileIsReplacedEvenWhenNewer) {
  ASSERT_TRUE(WriteFileBytes(install_ / "top.txt", "newer text already there"));
  FILETIME future = StoredTimeInUtc(2030, 1, 1, 0, 0, 0);
  {
    winfx::ScopedHandle file(::CreateFileA((install_ / "top.txt").c_str(), FILE_WRITE_ATTRIBUTES,
                                           0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(::SetFileTime(file.Get(), &future, &future, &future));
  }
  EXPECT_EQ(1, ExtractIntoInstallFolder("basic.zip"));
  EXPECT_EQ(ContentOf("top.txt"), ReadFileBytes(install_ / "top.txt"));
  EXPECT_EQ(Ticks(StoredTimeInUtc(2019, 12, 31, 23, 59, 58)), TimesOf(install_ / "top.txt").written);
}

TEST_F(ZipExtractorTest, LockedExistingFileStopsWithTheFileCreationLine) {
  ASSERT_TRUE(WriteFileBytes(install_ / "top.txt", "in use"));
  winfx::ScopedHandle inUse(::CreateFileA((install_ / "top.txt").c_str(), GENERIC_READ, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(inUse);
  EXPECT_EQ(0, ExtractIntoInstallFolder("basic.zip"));
  inUse.Reset();
  EXPECT_EQ("in use", ReadFileBytes(install_ / "top.txt"));
  EXPECT_EQ((Lines{"[unzip] 파일생성실패 " + install_.Path() + "\\top.txt | INVALID_HANDLE_VALUE ",
                   EntryFailedLine(ERROR_SHARING_VIOLATION)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, ReadOnlyExistingFileStopsWithTheFileCreationLine) {
  const std::string target = install_ / "top.txt";
  ASSERT_TRUE(WriteFileBytes(target, "read-only"));
  ASSERT_TRUE(::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
  {
    winfx::ScopedHandle probe(
        ::CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    // Wine run as root lets anybody write a read-only file; Windows does not.
    if (probe) GTEST_SKIP() << "this system lets a read-only file be opened for writing";
  }
  EXPECT_EQ(0, ExtractIntoInstallFolder("basic.zip"));
  EXPECT_EQ("read-only", ReadFileBytes(target));
  EXPECT_EQ((Lines{"[unzip] 파일생성실패 " + target + " | INVALID_HANDLE_VALUE ",
                   EntryFailedLine(ERROR_ACCESS_DENIED)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, EntriesTheReaderWouldNotDecodeAreRefusedUnread) {
  // The second entry is LZMA: the first is written, nothing is made for the second and a
  // file of its name stays as it was.
  ASSERT_TRUE(WriteFileBytes(install_ / "second.txt", "kept"));
  EXPECT_EQ(0, ExtractIntoInstallFolder("second-lzma.zip"));
  EXPECT_EQ((Lines{"first.txt", "second.txt"}), Extracted());
  EXPECT_EQ(ContentOf("first.txt"), ReadFileBytes(install_ / "first.txt"));
  EXPECT_EQ("kept", ReadFileBytes(install_ / "second.txt"));
  EXPECT_EQ((Lines{UnzipFailedLine("second.txt", "UNSUPPORTED_METHOD 14"),
                   EntryFailedLine(ERROR_NOT_SUPPORTED)}),
            NewLogLines());

  // bzip2 would be copied out still compressed; an encrypted entry unencrypted.
  EXPECT_EQ(0, ExtractIntoInstallFolder("bzip2.zip"));
  EXPECT_EQ(0, ExtractIntoInstallFolder("encrypted.zip"));
  EXPECT_EQ((Lines{"first.txt", "second.txt"}), Extracted());
  EXPECT_EQ((Lines{UnzipFailedLine("packed.txt", "UNSUPPORTED_METHOD 12"),
                   EntryFailedLine(ERROR_NOT_SUPPORTED),
                   UnzipFailedLine("secret.txt", "ENCRYPTED"), EntryFailedLine(ERROR_NOT_SUPPORTED)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, CorruptedOrMislabelledDataIsAFailedEntryAndLeavesNoFile) {
  // Inflates without error, but the CRC differs.
  EXPECT_EQ(0, ExtractIntoInstallFolder("crc.zip"));
  // The data ends before the stored length, or goes on after it.
  EXPECT_EQ(0, ExtractIntoInstallFolder("size-longer.zip"));
  EXPECT_EQ(0, ExtractIntoInstallFolder("size-shorter.zip"));
  // The same for stored data.
  EXPECT_EQ(0, ExtractIntoInstallFolder("stored-crc.zip"));
  EXPECT_EQ(0, ExtractIntoInstallFolder("stored-size-longer.zip"));
  EXPECT_EQ(0, ExtractIntoInstallFolder("stored-size-shorter.zip"));
  // The compressed data is declared shorter than its stream: no line of its own.
  EXPECT_EQ(0, ExtractIntoInstallFolder("cut-data.zip"));
  // The local header is damaged: the file made for the entry goes again.
  EXPECT_EQ(0, ExtractIntoInstallFolder("bad-local-header.zip"));
  EXPECT_EQ(Lines{"first.txt"}, Extracted());
  EXPECT_EQ((Lines{UnzipFailedLine("crc.txt", "UNZ_CRCERROR"), EntryFailedLine(ERROR_CRC),
                   UnzipFailedLine("short.txt", "SIZE_MISMATCH"), EntryFailedLine(ERROR_CRC),
                   UnzipFailedLine("long.txt", "SIZE_MISMATCH"), EntryFailedLine(ERROR_CRC),
                   UnzipFailedLine("stored-crc.txt", "UNZ_CRCERROR"), EntryFailedLine(ERROR_CRC),
                   UnzipFailedLine("stored-short.txt", "SIZE_MISMATCH"), EntryFailedLine(ERROR_CRC),
                   UnzipFailedLine("stored-long.txt", "SIZE_MISMATCH"), EntryFailedLine(ERROR_CRC),
                   EntryFailedLine(ERROR_INVALID_DATA),
                   UnzipFailedLine("local.txt", "UNZ_BADZIPFILE"),
                   EntryFailedLine(ERROR_INVALID_DATA)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, DataOfEveryKindAndLengthIsWrittenByteForByteBehindAStub) {
  // Stored and deflated, empty, and longer than a read of the archive, in an archive that
  // starts after a stub (its entries' data lies that much further on).
  EXPECT_EQ(1, ExtractIntoInstallFolder("prefixed.zip"));
  for (const char* name : {"stored.txt", "deflated.txt"}) {
    EXPECT_EQ(ContentOf(name), ReadFileBytes(install_ / name)) << name;
  }
  for (const char* name : {"empty-stored.txt", "empty-deflated.txt"}) {
    EXPECT_TRUE(PathExists(install_ / name)) << name;
    EXPECT_EQ("", ReadFileBytes(install_ / name)) << name;
  }
  for (const auto& [name, size] : {std::pair<const char*, size_t>{"large.bin", 3u << 20},
                                   {"large-stored.bin", 1u << 20}}) {
    std::string expected;
    for (size_t i = 0; expected.size() < size; ++i) {
      char line[40];
      std::snprintf(line, sizeof(line), "line %08u of a large entry\r\n", static_cast<unsigned>(i));
      expected += line;
    }
    expected.resize(size);
    EXPECT_TRUE(ReadFileBytes(install_ / name) == expected) << name;
  }
  EXPECT_EQ(Lines{}, NewLogLines());
}

TEST_F(ZipExtractorTest, NamesLeavingTheFolderOrNotPlainAreRefusedAndWriteNothingAnywhere) {
  const std::string parent = install_.Path().substr(0, install_.Path().find_last_of('\\'));
  std::ifstream index(std::string(QUILLON_TEST_ARCHIVES) + "/refused.txt");
  std::string line;
  int cases = 0;
  while (std::getline(index, line)) {
    ++cases;
    const std::string reason = line.substr(0, line.find(' '));
    const std::string hex = line.substr(line.find(' ') + 1);
    std::string name;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      name += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    EXPECT_EQ(0, ExtractIntoInstallFolder("refused-" + hex + ".zip")) << Shown(name);
    EXPECT_EQ((Lines{UnzipFailedLine(name, reason), EntryFailedLine(ERROR_INVALID_NAME)}),
              NewLogLines());
    EXPECT_EQ(Lines{}, Extracted()) << Shown(name);
  }
  EXPECT_GE(cases, 30);
  EXPECT_FALSE(PathExists(parent + "\\evil.txt"));
  EXPECT_FALSE(PathExists("C:\\evil.txt"));
}

TEST_F(ZipExtractorTest, OverLongNamesAndPathsAreRefusedNotCut) {
  // 1100 bytes: more than the name buffer holds; the line shows what fitted.
  EXPECT_EQ(0, ExtractIntoInstallFolder("long-name.zip"));
  // 240 bytes: fits the buffer, but folder and name pass MAX_PATH.
  EXPECT_EQ(0, ExtractIntoInstallFolder("long-path.zip"));
  EXPECT_EQ(Lines{}, Extracted());
  EXPECT_EQ((Lines{UnzipFailedLine(std::string(CZipExtractor::kNameBufferSize - 1, 'n'), "NAME_TOO_LONG"),
                   EntryFailedLine(ERROR_FILENAME_EXCED_RANGE),
                   UnzipFailedLine(std::string(236, 'p') + ".txt", "PATH_TOO_LONG"),
                   EntryFailedLine(ERROR_FILENAME_EXCED_RANGE)}),
            NewLogLines());
}

// Written into a staging folder below the folder they finally go to, entries are measured
// by their final path: one that fits there is written, however long its path where it is
// staged; one that does not is refused before anything is written.
TEST_F(ZipExtractorTest, PathsAreMeasuredInTheFolderTheEntriesFinallyGoTo) {
  const std::string name = std::string(236, 'p') + ".txt";
  const std::string staging = install_ / ".staging";
  ASSERT_GE(staging.size() + 1 + name.size(), static_cast<size_t>(MAX_PATH));
  // "C:\fff...": a final folder in which the entry's path has 260 characters, then 259.
  extractor_.SetFinalFolder("C:\\" + std::string(MAX_PATH - 1 - name.size() - 3, 'f'));
  Open("long-path.zip");
  EXPECT_EQ(0, extractor_.ExtractAll(staging.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), ::GetLastError());
  EXPECT_EQ(Lines{}, ListTree(staging));

  extractor_.SetFinalFolder("C:\\" + std::string(MAX_PATH - 2 - name.size() - 3, 'f'));
  Open("long-path.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(staging.c_str()));
  EXPECT_EQ(ContentOf(name), ReadFileBytes(staging + "\\" + name));
  // Too long for the folder's own clean-up.
  ::DeleteFileW(winfx::WidePath(staging + "\\" + name).c_str());
}

TEST_F(ZipExtractorTest, KoreanNamesInCodePage949AreWrittenAsTheyAre) {
  EXPECT_EQ(1, ExtractIntoInstallFolder("korean.zip"));
  EXPECT_EQ((Lines{"바탕.ini", "한글폴더\\", "한글폴더\\설명서.txt"}), Extracted());
  EXPECT_EQ(ContentOf("한글폴더/설명서.txt"), ReadFileBytes(install_ / "한글폴더\\설명서.txt"));
  EXPECT_EQ(ContentOf("바탕.ini"), ReadFileBytes(install_ / "바탕.ini"));
}

TEST_F(ZipExtractorTest, MissingFolderChainsAreCreatedTopDown) {
  const std::string target = install_ / "x\\y\\z";
  Open("deep.zip");
  EXPECT_EQ(1, extractor_.ExtractAll(target.c_str()));
  std::string chain = target;
  for (int level = 1; level <= 12; ++level) chain += (level < 10 ? "\\l0" : "\\l") + std::to_string(level);
  EXPECT_TRUE(PathExists(chain + "\\deep.txt"));

  EXPECT_EQ(1, CZipExtractor::EnsureFolder("C:\\"));
  EXPECT_EQ(1, CZipExtractor::EnsureFolder((install_ / "p\\q").c_str()));
  EXPECT_EQ(0, CZipExtractor::EnsureFolder((install_ / "info.ini").c_str()));
  EXPECT_EQ(0, CZipExtractor::EnsureFolder((install_ / "info.ini\\below").c_str()));
  EXPECT_EQ(0, CZipExtractor::EnsureFolder(nullptr));
  EXPECT_EQ(0, CZipExtractor::EnsureFolder(""));
  EXPECT_EQ(1, CZipExtractor::EnsureParentFolder((install_ / "r\\s\\file.txt").c_str()));
  EXPECT_TRUE(testing_support::IsFolder(install_ / "r\\s"));
  EXPECT_EQ(0, CZipExtractor::EnsureParentFolder("no-backslash.txt"));
}

TEST_F(ZipExtractorTest, FoldersThatWentBetweenTwoExtractionsAreMadeAgain) {
  TempFolder target("zipextract-again");
  Open("basic.zip");
  ASSERT_EQ(1, extractor_.ExtractAll(target.Path().c_str()));
  // The same extractor, the same archive, the folders it made removed in between.
  ASSERT_TRUE(testing_support::RemoveTree(target / "a"));
  ASSERT_TRUE(testing_support::RemoveTree(target / "docs"));
  EXPECT_EQ(1, extractor_.ExtractAll(target.Path().c_str()));
  ExpectBasicFiles(target.Path());

  // A file where one of its folders was: the entry fails, nothing is written below it.
  ASSERT_TRUE(testing_support::RemoveTree(target / "a"));
  ASSERT_TRUE(WriteFileBytes(target / "a", "a file"));
  EXPECT_EQ(0, extractor_.ExtractAll(target.Path().c_str()));
  EXPECT_EQ("a file", ReadFileBytes(target / "a"));
  EXPECT_FALSE(testing_support::IsFolder(target / "a"));
  EXPECT_EQ((Lines{"[unzip] 압축해제 실패 . " + target.Path() + " / err : " +
                   std::to_string(ERROR_ALREADY_EXISTS)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, ArchiveLevelFailuresHaveTheirOwnLines) {
  // A target folder whose path is a file.
  Open("basic.zip");
  EXPECT_EQ(0, extractor_.ExtractAll((install_ / "info.ini").c_str()));
  EXPECT_EQ(0, extractor_.ExtractAll(nullptr));
  // No entries at all: the archive's fault, as its caller must be able to tell.
  EXPECT_EQ(0, ExtractIntoInstallFolder("empty.zip"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), ::GetLastError());
  // The first entry cannot be reached (minizip's open does not tell).
  EXPECT_EQ(0, ExtractIntoInstallFolder("bad-first-header.zip"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), ::GetLastError());
  EXPECT_EQ((Lines{"[unzip] 폴더생성 실패. " + install_.Path() + "\\info.ini",
                   "[unzip] 폴더생성 실패. ", "[unzip] 압축 내 파일이 없거나 읽을 수 없습니다.",
                   "[unzip] 압축 내 파일이 없거나 읽을 수 없습니다."}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, UnreadableEntryInformationFailsTheExtraction) {
  // The second entry's name can't be read: the first is written, the walk stops there.
  EXPECT_EQ(0, ExtractIntoInstallFolder("bad-info.zip"));
  // The second central header is damaged: no success with the rest left out.
  EXPECT_EQ(0, ExtractIntoInstallFolder("broken-directory.zip"));
  EXPECT_EQ(Lines{"first.txt"}, Extracted());
  EXPECT_EQ((Lines{EntryFailedLine(ERROR_INVALID_DATA), EntryFailedLine(ERROR_INVALID_DATA)}),
            NewLogLines());
}

TEST_F(ZipExtractorTest, OpenRefusesWhatIsNoArchiveAndCloseReleasesIt) {
  EXPECT_EQ(0, extractor_.Open(nullptr));
  EXPECT_EQ(0, extractor_.Open(ArchivePath("missing.zip").c_str()));
  EXPECT_EQ(0, extractor_.Open(ArchivePath("not-a-zip.zip").c_str()));
  EXPECT_EQ(0, extractor_.Open(ArchivePath("truncated.zip").c_str()));
  EXPECT_EQ(0, extractor_.Close());
  EXPECT_EQ(0, extractor_.ExtractAll(install_.Path().c_str()));
  EXPECT_EQ(Lines{"[unzip] 파일이 존재하지 않습니다."}, NewLogLines());

  // An open archive is held until Close (it can't be deleted), then let go; a failed Open
  // closes the archive that was open before it.
  const std::string copy = testing_support::CopyInto(ArchivePath("basic.zip"), install_.Path());
  ASSERT_EQ(1, extractor_.Open(copy.c_str()));
  EXPECT_FALSE(::DeleteFileA(copy.c_str()));
  EXPECT_EQ(1, extractor_.Close());
  EXPECT_EQ(0, extractor_.Close());
  ASSERT_EQ(1, extractor_.Open(copy.c_str()));
  EXPECT_EQ(0, extractor_.Open(ArchivePath("missing.zip").c_str()));
  EXPECT_TRUE(::DeleteFileA(copy.c_str()));

  ASSERT_TRUE(::CopyFileA(ArchivePath("basic.zip").c_str(), copy.c_str(), FALSE));
  {
    CZipExtractor scoped;
    ASSERT_EQ(1, scoped.Open(copy.c_str()));
  }
  EXPECT_TRUE(::DeleteFileA(copy.c_str()));
}

// The handle the signature check read is the one extracted from: a path renamed away
// and another archive put under its name meanwhile change nothing of what comes out.
TEST_F(ZipExtractorTest, AnArchiveOpenedFromAHandleIsExtractedEvenWhenItsNameNowNamesAnother) {
  const std::string path = install_ / "checked.zip";
  ASSERT_TRUE(::CopyFileA(ArchivePath("basic.zip").c_str(), path.c_str(), FALSE));
  winfx::ScopedHandle checked(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(checked.IsValid());
  ASSERT_TRUE(::MoveFileExA(path.c_str(), (install_ / "aside.zip").c_str(), 0));
  ASSERT_TRUE(::CopyFileA(ArchivePath("korean.zip").c_str(), path.c_str(), FALSE));

  const std::string out = install_ / "out";
  ASSERT_EQ(1, extractor_.OpenFrom(checked.Get()));
  EXPECT_EQ(1, extractor_.ExtractAll(out.c_str()));
  EXPECT_EQ(1, extractor_.Close());
  EXPECT_EQ((std::vector<std::string>{"a\\", "a\\b\\", "a\\b\\c.txt", "docs\\", "docs\\a.txt", "top.txt"}),
            testing_support::ListTree(out));
  // The handle stays the caller's: Close leaves it open.
  EXPECT_NE(0u, ::GetFileSize(checked.Get(), nullptr));
}

}  // namespace
