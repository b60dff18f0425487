// CZipExtractor's two sides, inflating on a worker thread and writing on the caller's, on
// real archives (make_archives.py): a failure on either side stops the other and is the one
// reported, no partial file stays under its name, and the memory an extraction takes does
// not grow with the archive.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include "archive/CZipExtractor.h"
#include "archive/ZipPipeline.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ListTree;
using testing_support::ReadFileBytes;
using testing_support::RemoveTree;
using testing_support::TempFolder;
using testing_support::TodaysLogPath;
using testing_support::WriteFileBytes;
using Lines = std::vector<std::string>;

constexpr unsigned long long kMiB = 1024 * 1024;
// How far the inflating side may run ahead of a writer that stopped: the buffers between
// the two sides, the one it fills, and one it may make as the writer gives up.
constexpr unsigned long long kAhead = (ZipPipeline::kBuffers + 2) * ZipPiece::kBufferSize;
// What the first entry of crc-big.zip and zeros.zip holds: 3000 lines of "content of first.txt".
constexpr unsigned long long kFirstEntryBytes = 3000 * 22;

// The process's memory counters (working set now and at its peak).
PROCESS_MEMORY_COUNTERS MemoryCounters() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  EXPECT_TRUE(::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)));
  return counters;
}

class ZipPipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(log_ / "info.ini", "[COMMON]\r\nDEBUG=1\r\n"));
    ASSERT_TRUE(::CreateDirectoryA((log_ / "log").c_str(), nullptr));
    extractor_.SetLogFolder(log_.Path());
  }

  // Opens the archive of that name and extracts it into folder: ExtractAll's result, with
  // its last error in error_.
  int Extract(const std::string& archive, const std::string& folder) {
    const std::string path = FromUnixPath(QUILLON_TEST_ARCHIVES) + "\\" + archive;
    if (extractor_.Open(path.c_str()) != 1) return -1;
    const int result = extractor_.ExtractAll(folder.c_str());
    error_ = ::GetLastError();
    return result;
  }

  // Every line logged so far, without its time stamp.
  Lines LogLines() {
    const std::string log = ReadFileBytes(TodaysLogPath(log_.Path()));
    Lines lines;
    for (size_t start = 0, end; start < log.size(); start = end + 2) {
      end = log.find("\r\n", start);
      if (end == std::string::npos) end = log.size();
      // "[YYYY/MM/DD hh:mm:ss] " comes first.
      lines.push_back(log.substr(start + 22, end - start - 22));
    }
    return lines;
  }

  static std::string FailedLine(const std::string& folder, DWORD error) {
    return "[unzip] 압축해제 실패 . " + folder + " / err : " + std::to_string(error);
  }

  TempFolder log_{"zippipeline-log"};
  TempFolder target_{"zippipeline"};
  CZipExtractor extractor_;
  DWORD error_ = ERROR_SUCCESS;
};

TEST_F(ZipPipelineTest, ACorruptedEntryFoundWhileInflatingIsReportedAfterWhatCameBefore) {
  // crc.bin is larger than all the buffers between the sides: the writer has written some
  // of it when the check at its end fails. Each extraction ends alike.
  for (int run = 0; run < 3; ++run) {
    EXPECT_EQ(0, Extract("crc-big.zip", target_.Path()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CRC), error_);
    EXPECT_EQ(Lines{"first.txt"}, ListTree(target_.Path()));
  }
  const std::string crcLine = "[unzip] unzip실패 " + (target_ / "crc.bin") + " | UNZ_CRCERROR ";
  const std::string failedLine = FailedLine(target_.Path(), ERROR_CRC);
  EXPECT_EQ((Lines{crcLine, failedLine, crcLine, failedLine, crcLine, failedLine}), LogLines());
}

TEST_F(ZipPipelineTest, AFileThatCannotBeCreatedStopsTheInflating) {
  // zeros.bin (64 MiB) is held open by someone else: its creation fails at once.
  const std::string held = target_ / "zeros.bin";
  ASSERT_TRUE(WriteFileBytes(held, "in use"));
  winfx::ScopedHandle inUse(
      ::CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(inUse);
  EXPECT_EQ(0, Extract("zeros.zip", target_.Path()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error_);
  inUse.Reset();

  EXPECT_EQ((Lines{"first.txt", "zeros.bin"}), ListTree(target_.Path()));
  EXPECT_EQ("in use", ReadFileBytes(held));
  EXPECT_EQ((Lines{"[unzip] 파일생성실패 " + held + " | INVALID_HANDLE_VALUE ",
                   FailedLine(target_.Path(), ERROR_SHARING_VIOLATION)}),
            LogLines());
  // The inflating side went no further than the buffers allow, not through the 64 MiB.
  EXPECT_LE(extractor_.InflatedBytesForTesting(), kFirstEntryBytes + kAhead);
}

TEST_F(ZipPipelineTest, AFullVolumeStopsTheInflatingAndLeavesNoPartialFile) {
  // Drive D: is a small volume (the ctest fixture small_volume); zeros.bin does not fit.
  ULARGE_INTEGER volumeBytes;
  if (!::GetDiskFreeSpaceExA("D:\\", nullptr, &volumeBytes, nullptr) ||
      volumeBytes.QuadPart >= 16 * kMiB) {
    GTEST_SKIP() << "no small volume mapped as D:";
  }
  struct OnVolume {
    ~OnVolume() { RemoveTree(path); }
    std::string path;
  } folder{"D:\\zippipeline-" + std::to_string(::GetCurrentProcessId())};

  EXPECT_EQ(0, Extract("zeros.zip", folder.path));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), error_);
  EXPECT_EQ(Lines{"first.txt"}, ListTree(folder.path));
  EXPECT_EQ(Lines{FailedLine(folder.path, ERROR_DISK_FULL)}, LogLines());
  EXPECT_LE(extractor_.InflatedBytesForTesting(), volumeBytes.QuadPart + kAhead);
}

TEST_F(ZipPipelineTest, ManyTinyEntriesAndOneHugeEntryExtractInBoundedMemory) {
  // A first extraction brings in what every one needs; what follows must not grow with
  // the number of entries or their size (the buffers between the sides are 2 MiB).
  ASSERT_EQ(1, Extract("basic.zip", target_.Path()));
  const SIZE_T before = MemoryCounters().WorkingSetSize;
  const SIZE_T bound = before + 8 * kMiB;

  TempFolder tiny("zippipeline-tiny");
  EXPECT_EQ(1, Extract("tiny-20000.zip", tiny.Path()));
  const Lines tree = ListTree(tiny.Path());
  EXPECT_EQ(20100u, tree.size());  // 100 folders and their files
  EXPECT_EQ("19999\r\n", ReadFileBytes(tiny / "t099\\19999.txt"));
  EXPECT_LE(MemoryCounters().PeakWorkingSetSize, bound) << "before: " << before;

  TempFolder huge("zippipeline-huge");
  EXPECT_EQ(1, Extract("huge-200mib.zip", huge.Path()));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(::GetFileAttributesExA((huge / "huge.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(200 * kMiB, (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  EXPECT_LE(MemoryCounters().PeakWorkingSetSize, bound) << "before: " << before;
}

}  // namespace
