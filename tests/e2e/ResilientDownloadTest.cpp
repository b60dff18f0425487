// The download of the real QuillonSetup.exe under Wine when the connection or the program
// does not hold: cuts, busy servers, ranges ignored, a body that changes, a killed
// installer, quitting during a wait, a full disk. The installer's waits between attempts
// are its real ones (1 and 2 seconds, ...); the vendor server fails on purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/ProductConstants.h"
#include "tests/support/InstallerFixture.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::InstallerFixture;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::RemoveTree;
using testing_support::RequestLogField;

constexpr char kDoneText[] = "Quillon위젯 설치가 완료되었습니다. 위젯이 실행됩니다.";
constexpr char kArchiveName[] = "Quillon_Widget.zip";

std::string RetryStatus(int retry) {
  return std::string(kArchiveName) + " (재시도 " + std::to_string(retry) + "/4)";
}

std::string FailureText() {
  return "[LumoTrelbin] " + std::string(product::kServerUrl) +
         "/update/Quillon_Widget.zip 다운로드 실패했습니다. [끝내기] 후 다시 시도해 주세요. ";
}

// The start of a "Range: bytes=N-" value, or -1 when the line has no range.
long RangeStart(const std::string& line) {
  const std::string range = RequestLogField(line, "Range");
  if (range.compare(0, 6, "bytes=") != 0) return -1;
  return std::strtol(range.c_str() + 6, nullptr, 10);
}

unsigned long AnswerBytes(const std::string& line) {
  return std::strtoul(RequestLogField(line, "X-Answer-Bytes").c_str(), nullptr, 10);
}

class ResilientDownloadTest : public InstallerFixture {
 protected:
  std::string Archive() const { return installFolder_ + "\\" + kArchiveName; }
  std::string Part() const { return Archive() + ".part"; }
  std::string Resume() const { return Archive() + ".resume"; }

  // The installation completed: the program ended, the widget's files are in the folder
  // (the extractor checks each one against the archive's checksums; the program is the
  // very one packed), and nothing of the download is left.
  void ExpectInstalled() {
    EXPECT_TRUE(driver_->WaitForExit(20000));
    const std::string packed = ReadFileBytes(
        testing_support::FromUnixPath(QUILLON_TEST_WIDGET_ARCHIVE) + "\\..\\QuillonWidget.exe");
    ASSERT_FALSE(packed.empty());
    EXPECT_TRUE(packed == ReadFileBytes(installFolder_ + "\\QuillonWidget.exe"));
    EXPECT_TRUE(PathExists(installFolder_ + "\\config\\widget.ini"));
    EXPECT_FALSE(PathExists(Archive()));
    EXPECT_FALSE(PathExists(Part()));
    EXPECT_FALSE(PathExists(Resume()));
  }

  // True when drive D: is the small volume the fixture mounts.
  static bool SmallVolumeMapped() {
    ULARGE_INTEGER total = {};
    return ::GetDiskFreeSpaceExA("D:\\", nullptr, &total, nullptr) && total.QuadPart <= 4 * 1024 * 1024;
  }

  // True when the status line was given text while recording.
  bool StatusShown(const std::string& text) const {
    std::vector<std::string> history = driver_->StatusHistory();
    return std::find(history.begin(), history.end(), text) != history.end();
  }
};

TEST_F(ResilientDownloadTest, ABodyCutAtHalfIsResumedFromTheBytesHeldAndInstalls) {
  QueueArchiveFaults("close@50%");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  EXPECT_TRUE(StatusShown(RetryStatus(1)));

  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(2u, requests.size());
  const unsigned long firstBytes = AnswerBytes(requests[0]);
  EXPECT_EQ(-1, RangeStart(requests[0]));
  EXPECT_EQ(static_cast<long>(firstBytes), RangeStart(requests[1]));
  EXPECT_EQ("206", RequestLogField(requests[1], "X-Answer"));
  const double received = firstBytes + AnswerBytes(requests[1]);
  EXPECT_LE(received, 1.05 * static_cast<double>(WidgetArchive().size()));

  // The bar went up once through the cut and the wait: never back, never twice.
  std::vector<int> progress = driver_->ProgressHistory();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(100, progress.back());
  EXPECT_TRUE(std::adjacent_find(progress.begin(), progress.end(),
                                 [](int a, int b) { return a >= b; }) == progress.end());
}

TEST_F(ResilientDownloadTest, AServerThatIgnoresRangesSendsTheWholeBodyAgainAndItInstalls) {
  QueueArchiveFaults("close@50%,norange");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_GT(RangeStart(requests[1]), 0);
  EXPECT_EQ("200", RequestLogField(requests[1], "X-Answer"));
  EXPECT_EQ(WidgetArchive().size(), AnswerBytes(requests[1]));
}

TEST_F(ResilientDownloadTest, ABodyThatChangesBeforeTheResumeIsFetchedWholeNeverSpliced) {
  // The new body differs from its first byte on and has the same length: the old version's
  // zip after as many bytes as make up the difference (zip readers find the archive by its
  // end). A splice of the two would not match the record.
  const std::string old = OldWidgetArchive();
  const std::string next = std::string(WidgetArchive().size() - old.size(), 'Q') + old;
  StageNextArchive(next);
  // The vendor publishes what it will serve: the record, fetched first, is the new body's.
  ServeRelease("of Quillon_Widget.zip.next");
  QueueArchiveFaults("close@50%,replace=Quillon_Widget.zip.next");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  EXPECT_TRUE(driver_->WaitForExit(20000));
  EXPECT_EQ("version=0.9\r\n", ReadFileBytes(installFolder_ + "\\version.txt"));
  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_NE("", RequestLogField(requests[1], "If-Range"));
  EXPECT_EQ("200", RequestLogField(requests[1], "X-Answer"));
  EXPECT_EQ(next.size(), AnswerBytes(requests[1]));
}

// Answers that say the held bytes can never be gone on from: a resume refused for good
// (412), and a part whose companion holds a validator that is no header value (a bare line
// feed in it). Each drops the part and the same run installs from a whole new body.
TEST_F(ResilientDownloadTest, APartThatCanNeverBeResumedIsDroppedAndTheSameRunInstalls) {
  QueueArchiveFaults("close@50%,412");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_GT(RangeStart(requests[1]), 0);
  EXPECT_EQ("412", RequestLogField(requests[1], "X-Answer"));
  EXPECT_EQ(-1, RangeStart(requests[2]));
  EXPECT_EQ("200", RequestLogField(requests[2], "X-Answer"));
}

TEST_F(ResilientDownloadTest, ACompanionWithALineFeedInItsValidatorDropsThePartAndInstalls) {
  // Half of the archive, described by a validator with a bare line feed inside: sent as it
  // is, the rest would reach the server as a header line of its own.
  const std::string archive = WidgetArchive();
  ASSERT_TRUE(::CreateDirectoryA(installFolder_.c_str(), nullptr));
  ASSERT_TRUE(testing_support::WriteFileBytes(Part(), archive.substr(0, archive.size() / 2)));
  ASSERT_TRUE(testing_support::WriteFileBytes(
      Resume(), "\"v1\"\nX-Injected: yes\r\n" + std::to_string(archive.size()) + "\r\n"));
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(-1, RangeStart(requests[0]));
  EXPECT_EQ("", RequestLogField(requests[0], "If-Range"));
  EXPECT_EQ("", RequestLogField(requests[0], "X-Injected"));
}

TEST_F(ResilientDownloadTest, AnInstallerKilledMidDownloadLeavesNoArchiveAndTheNextRunResumes) {
  // The body stops at half and stays stopped: a lasting state to kill the program in.
  QueueArchiveFaults("stall@50%");
  StartInstaller();
  Confirm(installFolder_);
  // At 30% the last whole read before the stall is on the disk (reads of 256 KiB end
  // at 39% of the stand-in archive); the next read waits in the stall.
  ASSERT_TRUE(uidriver::WaitUntil([&] { return driver_->Progress() >= 30; }, 60000))
      << driver_->Progress();
  ASSERT_TRUE(KillInstallerHard());  // SIGKILL: no clean-up of the program's own

  EXPECT_FALSE(PathExists(Archive()));
  const std::string part = ReadFileBytes(Part());
  ASSERT_FALSE(part.empty());
  EXPECT_TRUE(part == WidgetArchive().substr(0, part.size()));
  EXPECT_TRUE(PathExists(Resume()));

  // The next run finds no archive, so it downloads, going on from the part.
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  std::vector<std::string> requests = ArchiveRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(static_cast<long>(part.size()), RangeStart(requests[1]));
  EXPECT_EQ("206", RequestLogField(requests[1], "X-Answer"));
  // The bar started where the part left off.
  std::vector<int> progress = driver_->ProgressHistory();
  progress.erase(std::remove(progress.begin(), progress.end(), 0), progress.end());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(static_cast<int>(part.size() * 100.0 / WidgetArchive().size()), progress.front());
}

TEST_F(ResilientDownloadTest, TwoBusyAnswersAreWaitedOutWithEachRetryOnTheStatusLine) {
  QueueArchiveFaults("503,503");
  StartInstaller();
  EXPECT_EQ(kDoneText, ConfirmAndAnswer(installFolder_));
  ExpectInstalled();
  EXPECT_EQ(3u, ArchiveRequests().size());
  std::vector<std::string> history = driver_->StatusHistory();
  auto first = std::find(history.begin(), history.end(), RetryStatus(1));
  auto second = std::find(history.begin(), history.end(), RetryStatus(2));
  EXPECT_TRUE(first != history.end());
  EXPECT_TRUE(second != history.end());
  EXPECT_TRUE(first < second);
  EXPECT_FALSE(StatusShown(RetryStatus(3)));
}

TEST_F(ResilientDownloadTest, AMissingArchiveIsAskedForOnceAndReportedAtOnce) {
  QueueArchiveFaults("404");
  StartInstaller();
  EXPECT_EQ(FailureText(), ConfirmAndAnswer(installFolder_));
  EXPECT_EQ(1u, ArchiveRequests().size());
  EXPECT_FALSE(StatusShown(RetryStatus(1)));
  EXPECT_FALSE(PathExists(Part()));
  QuitThroughEscape();
}

TEST_F(ResilientDownloadTest, EveryRetryFailingShowsTheFailureAndKeepsThePartForTheNextRun) {
  // Each answer, the ranges too, stops a tenth of the way through what it sends.
  QueueArchiveFaults("close@10%,close@10%,close@10%,close@10%,close@10%");
  StartInstaller();
  EXPECT_EQ(FailureText(), ConfirmAndAnswer(installFolder_));
  EXPECT_EQ(5u, ArchiveRequests().size());
  for (int retry = 1; retry <= 4; ++retry) EXPECT_TRUE(StatusShown(RetryStatus(retry))) << retry;
  EXPECT_FALSE(PathExists(Archive()));
  const std::string part = ReadFileBytes(Part());
  ASSERT_FALSE(part.empty());
  EXPECT_TRUE(part == WidgetArchive().substr(0, part.size()));
  QuitThroughEscape();
  EXPECT_TRUE(PathExists(Part()));
}

TEST_F(ResilientDownloadTest, QuittingDuringAWaitEndsTheProgramPromptlyAndKeepsThePart) {
  // After the cut, the server asks for a minute's wait before the second retry.
  QueueArchiveFaults("close@50%,503ra60");
  StartInstaller();
  Confirm(installFolder_);
  ASSERT_TRUE(driver_->WaitForStatus(RetryStatus(2), 60000));
  // Well below the minute the program would otherwise wait.
  QuitThroughEscape();
  EXPECT_FALSE(PathExists(Archive()));
  const std::string part = ReadFileBytes(Part());
  EXPECT_EQ(WidgetArchive().size() / 2, part.size());
  EXPECT_TRUE(part == WidgetArchive().substr(0, part.size()));
  EXPECT_EQ(2u, ArchiveRequests().size());
}

TEST_F(ResilientDownloadTest, AnArchiveTheDiskCannotHoldIsToldBeforeItsDownloadAndLeavesNothing) {
  ASSERT_TRUE(SmallVolumeMapped()) << "the small volume is not mapped as D: (the fixture mounts one)";
  const std::string folder = "D:\\QuillonWidget";
  RemoveTree(folder);
  // More than the drive holds: the record says so before a byte of it comes.
  ServeArchive(std::string(3 * 1024 * 1024, 'z'));
  StartInstaller();
  const std::string text = ConfirmAndAnswer(folder);
  EXPECT_EQ(0u, text.find("Quillon위젯을 설치할 디스크 공간이 부족합니다. 필요한 공간: ")) << text;
  EXPECT_TRUE(ArchiveRequests().empty());
  EXPECT_FALSE(StatusShown(RetryStatus(1)));
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip.part"));
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip.resume"));
  QuitThroughEscape();
  RemoveTree(folder);
}

TEST_F(ResilientDownloadTest, ADiskThatFillsDuringTheDownloadIsNamedOnTheStatusLine) {
  ASSERT_TRUE(SmallVolumeMapped()) << "the small volume is not mapped as D: (the fixture mounts one)";
  const std::string folder = "D:\\QuillonWidget";
  // What fills the volume goes with the test, whatever its end.
  struct Filler {
    ~Filler() { ::DeleteFileA(path.c_str()); }
    std::string path;
  } filler{"D:\\filler.bin"};
  RemoveTree(folder);
  // Room for it when the record is checked; the server asks for 8 s before the retry, and
  // in that wait something else takes the rest of the volume.
  ServeArchive(std::string(1024 * 1024, 'z'));
  QueueArchiveFaults("503ra8");
  StartInstaller();
  Confirm(folder);
  ASSERT_TRUE(driver_->WaitForStatus(RetryStatus(1), 60000));
  {
    winfx::ScopedHandle fill(::CreateFileA(filler.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(fill.IsValid());
    const std::string block(4096, 'f');
    DWORD written = 0;
    while (::WriteFile(fill.Get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size()) {
    }
  }
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 60000);
  ASSERT_NE(nullptr, box);
  EXPECT_EQ(FailureText(), driver_->AnswerBox(box, IDOK));
  EXPECT_EQ("Quillon_Widget.zip 다운로드 실패 (디스크 공간 부족)...", driver_->Status());
  EXPECT_EQ(2u, ArchiveRequests().size());
  // Nothing more can be written there: no part is kept.
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip"));
  EXPECT_FALSE(PathExists(folder + "\\Quillon_Widget.zip.part"));
  QuitThroughEscape();
  RemoveTree(folder);
}

}  // namespace
