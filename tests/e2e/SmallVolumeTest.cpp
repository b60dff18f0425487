// The real QuillonSetup.exe installing onto a volume too small for the widget (a tmpfs
// mapped as drive D: by the ctest fixture small_volume).
#include <gtest/gtest.h>

#include "tests/support/InstallerFixture.h"

namespace {

using testing_support::InstallerFixture;
using testing_support::IsFolder;
using testing_support::ListTree;
using testing_support::ReadFileBytes;
using testing_support::RemoveTree;
using testing_support::WriteFileBytes;

constexpr char kSmallVolume[] = "D:\\";
constexpr char kSpaceText[] = "Quillon위젯을 설치할 디스크 공간이 부족합니다. 필요한 공간: ";

class SmallVolumeTest : public InstallerFixture {
 protected:
  SmallVolumeTest() : folder_(std::string(kSmallVolume) + "QuillonWidget") {}
  ~SmallVolumeTest() override { RemoveTree(folder_); }

  std::string folder_;
};

TEST_F(SmallVolumeTest, TooLittleSpaceIsReportedAndNothingIsWritten) {
  ASSERT_TRUE(IsFolder(kSmallVolume)) << "the small volume is not mapped as D:";
  ASSERT_TRUE(ListTree(kSmallVolume).empty());
  // The archive is already in the folder (as a download would have left it): the volume
  // holds it but not the widget extracted from it.
  ASSERT_TRUE(::CreateDirectoryA(folder_.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder_ + "\\Quillon_Widget.zip", WidgetArchive()));
  StartInstaller();
  Confirm(folder_);
  HWND box = driver_->WaitForBox(driver_->AppCaption(), 120000);
  ASSERT_NE(nullptr, box);
  std::string text = driver_->AnswerBox(box, IDOK);
  EXPECT_EQ(0u, text.find(kSpaceText)) << text;
  EXPECT_NE(std::string::npos, text.find("MB, 남은 공간: ")) << text;
  EXPECT_EQ("디스크 공간 부족...", driver_->Status());

  // The archive stays for the next run, and nothing else was written on the volume (the
  // installer's lock file goes with it, the record too: the next run fetches it afresh).
  QuitThroughQuitButton();
  const std::vector<std::string> onVolume = {"QuillonWidget\\", "QuillonWidget\\Quillon_Widget.zip"};
  EXPECT_EQ(onVolume, ListTree(kSmallVolume));
  EXPECT_EQ(WidgetArchive(), ReadFileBytes(folder_ + "\\Quillon_Widget.zip"));
}

}  // namespace
