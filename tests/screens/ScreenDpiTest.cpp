// The install screen of the real QuillonSetup.exe at the DPI of the Wine prefix it runs in
// (QUILLON_TEST_DPI, the prefix's LogPixels: one test program per DPI), measured the way an
// operator sees it: from pictures of its client area (the banner by its pixels, the title by
// the rows of its dark pixels) and from its controls' window rectangles. The 96-DPI figures
// come from a picture of the screen as it was before it scaled anything itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/InstallerFixture.h"
#include "tests/support/Picture.h"
#include "winfx/ScopedGdi.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::InstallerFixture;
using testing_support::Picture;

constexpr UINT kDpi = QUILLON_TEST_DPI;
constexpr char kAgreementPath[] = "/Orlo_venta/install_agree.asp";

// The screen's controls at 96 DPI, in client coordinates and in the template's order, as
// the dialog manager placed them before the screen knew of DPI (read from that installer).
constexpr RECT kControlsAt96Dpi[] = {
    {382, 428, 482, 466},  // 동의설치
    {486, 428, 586, 466},  // 끝내기
    {14, 324, 584, 348},   // the note on administrator rights
    {14, 383, 586, 400},   // progress bar
    {14, 353, 68, 368},    // 설치경로
    {72, 347, 550, 373},   // folder
    {14, 407, 586, 422},   // status line
    {552, 349, 586, 375},  // folder picker
    {14, 90, 586, 315},    // agreement page
};

// The screen's own controls (its direct children) in their order, in client coordinates.
std::vector<RECT> ControlRects(HWND screen) {
  std::vector<RECT> rects;
  for (HWND child = ::GetWindow(screen, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, screen, reinterpret_cast<POINT*>(&rect), 2);
    rects.push_back(rect);
  }
  return rects;
}

class ScreenDpiTest : public InstallerFixture {
 protected:
  void SetUp() override {
    StartInstaller();
    if (HasFatalFailure()) return;
    // The prefix's DPI, which this program shares with the installer.
    winfx::ScopedGetDC screen(nullptr);
    ASSERT_EQ(static_cast<int>(kDpi), ::GetDeviceCaps(screen.Get(), LOGPIXELSY));
    // Once the page is asked for, the screen is complete and its browser area started.
    ASSERT_TRUE(uidriver::WaitUntil([&] { return Requested(kAgreementPath); }, 20000));
    picture_ = Take("install-screen");
  }

  // A picture of the screen's client area, kept among the artifacts as NAME-<DPI>dpi.bmp.
  Picture Take(const std::string& name) {
    const std::string path = FromUnixPath(QUILLON_ARTIFACTS_DIR) + "\\" + name + "-" +
                             std::to_string(kDpi) + "dpi.bmp";
    EXPECT_TRUE(driver_->SavePicture(path, false)) << path;
    return Picture::FromBmp(path);
  }

  Picture picture_;
};

// The dialog manager's work: the template's font, and with it every control, grows with the
// DPI, within 3 % or a pixel. The font's line height grows a little faster than the DPI here
// (15, 23, 31 pixels at 96, 144, 192 DPI), so at 192 DPI the lower controls sit 3.3 % lower
// than twice their 96-DPI place: there, within 4 %.
TEST_F(ScreenDpiTest, TheControlsGrowWithTheDpi) {
  const double tolerance = kDpi >= 192 ? 0.04 : 0.03;
  const std::vector<RECT> rects = ControlRects(driver_->Screen());
  ASSERT_EQ(std::size(kControlsAt96Dpi), rects.size());
  for (size_t i = 0; i < rects.size(); ++i) {
    const RECT& at96 = kControlsAt96Dpi[i];
    const LONG expected[] = {at96.left, at96.top, at96.right, at96.bottom};
    const LONG actual[] = {rects[i].left, rects[i].top, rects[i].right, rects[i].bottom};
    for (int edge = 0; edge < 4; ++edge) {
      const double scaled = expected[edge] * kDpi / 96.0;
      EXPECT_NEAR(scaled, actual[edge], std::max(1.0, tolerance * scaled))
          << "control " << i << ", edge " << edge;
    }
  }
}

#if QUILLON_TEST_DPI == 96
TEST_F(ScreenDpiTest, EveryPixelIsAsItWasBeforeTheScreenScaledAnything) {
  const Picture reference = Picture::FromBmp(FromUnixPath(QUILLON_SCREEN_REFERENCE));
  ASSERT_FALSE(reference.Empty());
  EXPECT_EQ("", picture_.DifferencesFrom(reference));
}
#endif

}  // namespace
