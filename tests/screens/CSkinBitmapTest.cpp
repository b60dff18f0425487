// CSkinBitmap with the installer's own banner resource, drawn onto a real, visible window;
// the window's pixels are read back and compared with the resource's bits.
#include "screens/CSkinBitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "screens/BannerPicture.h"
#include "tests/support/Picture.h"
#include "winfx/ScopedGdi.h"

namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 80;
constexpr uint32_t kBackground = 0xFF00FF;  // 0xRRGGBB; the banner has no pure magenta
constexpr UINT kMissingBitmap = 999;

// The bitmap resource as stored: its header and its pixels as 0xRRGGBB, top row first.
struct StoredBitmap {
  BITMAPINFOHEADER header = {};
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[y * header.biWidth + x]; }
};

StoredBitmap ReadStoredBanner() {
  StoredBitmap stored;
  HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDB_BANNER), RT_BITMAP);
  HGLOBAL loaded = found ? ::LoadResource(nullptr, found) : nullptr;
  const BYTE* data = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  if (data == nullptr) return stored;
  stored.header = *reinterpret_cast<const BITMAPINFOHEADER*>(data);
  const BITMAPINFOHEADER& h = stored.header;
  if (h.biBitCount != 24 || h.biCompression != BI_RGB || h.biHeight <= 0) return stored;
  const BYTE* bits = data + h.biSize;
  const int stride = (h.biWidth * 3 + 3) & ~3;
  for (int y = 0; y < h.biHeight; ++y) {
    const BYTE* row = bits + (h.biHeight - 1 - y) * stride;  // stored bottom-up
    for (int x = 0; x < h.biWidth; ++x) {
      stored.pixels.push_back(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    }
  }
  return stored;
}

// A visible top-level window that paints nothing itself, so what a test draws stays.
class TestWindow {
 public:
  TestWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcA;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SkinBitmapTestWindow";
    ::RegisterClassA(&windowClass);
    hwnd_ = ::CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0,
                              kWindowWidth, kWindowHeight, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
    ::UpdateWindow(hwnd_);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
  }
  ~TestWindow() { ::DestroyWindow(hwnd_); }

  HWND Get() const { return hwnd_; }

  void Clear() const {
    winfx::ScopedGetDC client(hwnd_);
    winfx::ScopedBrush brush(::CreateSolidBrush(RGB(0xFF, 0x00, 0xFF)));
    RECT all = {0, 0, kWindowWidth, kWindowHeight};
    ::FillRect(client.Get(), &all, brush.Get());
  }

  // The client area's pixels as 0xRRGGBB, top row first.
  std::vector<uint32_t> Pixels() const {
    winfx::ScopedGetDC client(hwnd_);
    winfx::ScopedCreatedDC memory(::CreateCompatibleDC(client.Get()));
    winfx::ScopedBitmap copy(::CreateCompatibleBitmap(client.Get(), kWindowWidth, kWindowHeight));
    if (!memory || !copy) return {};
    {
      winfx::ScopedSelectObject selected(memory.Get(), copy.Get());
      ::BitBlt(memory.Get(), 0, 0, kWindowWidth, kWindowHeight, client.Get(), 0, 0, SRCCOPY);
    }
    return testing_support::Picture::FromBitmap(copy.Get()).Pixels();
  }

 private:
  HWND hwnd_ = nullptr;
};

// Where a draw put the banner: the window rectangle (x, y, width, height) that shows
// the banner from (srcX, srcY) on.
struct Placement {
  int x, y, width, height, srcX, srcY;
};

// The window's pixels expected after drawing with placement onto a cleared window.
std::vector<uint32_t> Expected(const StoredBitmap& banner, const Placement& p) {
  std::vector<uint32_t> pixels(kWindowWidth * kWindowHeight, kBackground);
  for (int y = p.y; y < p.y + p.height; ++y) {
    for (int x = p.x; x < p.x + p.width; ++x) {
      pixels[y * kWindowWidth + x] = banner.At(p.srcX + x - p.x, p.srcY + y - p.y);
    }
  }
  return pixels;
}

// "" when the pixels agree, else the number of differing pixels and the first of them.
std::string Differences(const std::vector<uint32_t>& expected,
                        const std::vector<uint32_t>& actual) {
  if (expected.size() != actual.size()) return "window could not be read";
  int count = 0;
  char first[96] = "";
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == actual[i]) continue;
    if (count++ == 0) {
      std::snprintf(first, sizeof(first), "first at (%d, %d): expected %06X, got %06X",
                    static_cast<int>(i % kWindowWidth), static_cast<int>(i / kWindowWidth),
                    expected[i], actual[i]);
    }
  }
  return count == 0 ? "" : std::to_string(count) + " pixels differ, " + first;
}

class SkinBitmapTest : public ::testing::Test {
 protected:
  // Clears the window, draws banner_ with these arguments, and compares the window with
  // the resource's pixels placed as expected.
  std::string DrawAndCompare(const Placement& expected, int width, int height) {
    window_.Clear();
    if (banner_.Draw(window_.Get(), expected.x, expected.y, width, height, expected.srcX,
                     expected.srcY) == 0) {
      return "Draw returned 0";
    }
    return Differences(Expected(stored_, expected), window_.Pixels());
  }

  StoredBitmap stored_ = ReadStoredBanner();
  TestWindow window_;
  CSkinBitmap banner_{IDB_BANNER};
};

TEST_F(SkinBitmapTest, BannerIsA24Bit600By52BitmapAndLoadsWithItsSize) {
  EXPECT_EQ(24, stored_.header.biBitCount);
  EXPECT_EQ(600, stored_.header.biWidth);
  EXPECT_EQ(52, stored_.header.biHeight);
  EXPECT_EQ(static_cast<DWORD>(BI_RGB), stored_.header.biCompression);

  EXPECT_EQ(600, banner_.GetWidth());
  EXPECT_EQ(52, banner_.GetHeight());
  // Only the low 16 bits of the identifier count.
  CSkinBitmap highBitsSet;
  EXPECT_EQ(1, highBitsSet.LoadFromResource(0x10000 | IDB_BANNER));
  EXPECT_EQ(600, highBitsSet.GetWidth());
  EXPECT_EQ(52, highBitsSet.GetHeight());
}

TEST_F(SkinBitmapTest, AMissingResourceOrWindowDrawsNothing) {
  CSkinBitmap missing(kMissingBitmap);
  EXPECT_EQ(0, missing.GetWidth());
  EXPECT_EQ(0, missing.GetHeight());
  EXPECT_EQ(nullptr, missing.GetHandleUnsafe());
  EXPECT_EQ(0, missing.LoadFromResource(kMissingBitmap));
  EXPECT_EQ(0, missing.LoadFromResource(0));

  window_.Clear();
  EXPECT_EQ(0, missing.Draw(window_.Get(), 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(std::vector<uint32_t>(kWindowWidth * kWindowHeight, kBackground), window_.Pixels());
  // No window: not the screen's context either.
  EXPECT_EQ(0, banner_.Draw(nullptr, 0, 0, 0, 0, 0, 0));
}

TEST_F(SkinBitmapTest, AFailedLoadKeepsWhatWasLoaded) {
  HBITMAP loaded = banner_.GetHandleUnsafe();
  EXPECT_EQ(0, banner_.LoadFromResource(kMissingBitmap));
  EXPECT_EQ(loaded, banner_.GetHandleUnsafe());
  EXPECT_EQ(600, banner_.GetWidth());
  EXPECT_EQ(52, banner_.GetHeight());
  EXPECT_EQ("", DrawAndCompare({0, 0, 600, 52, 0, 0}, 0, 0));
}

TEST_F(SkinBitmapTest, ZeroSizesDrawTheWholeBitmapAndLeaveItIntact) {
  EXPECT_EQ("", DrawAndCompare({7, 3, 600, 52, 0, 0}, 0, 0));
  // The bitmap survives drawing: it is still a bitmap and draws the same again.
  EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), ::GetObjectType(banner_.GetHandleUnsafe()));
  EXPECT_EQ("", DrawAndCompare({0, 0, 600, 52, 0, 0}, 0, 0));
}

TEST_F(SkinBitmapTest, ASmallerWidthOrHeightClips) {
  EXPECT_EQ("", DrawAndCompare({0, 0, 100, 52, 0, 0}, 100, 0));
  EXPECT_EQ("", DrawAndCompare({0, 0, 600, 20, 0, 0}, 0, 20));
}

TEST_F(SkinBitmapTest, ASourceOffsetShiftsThePicture) {
  const Placement shifted = {10, 5, 150, 40, 420, 6};
  // The part of the banner chosen (the widget tiles) differs from its unshifted
  // neighbourhood, so a shift that went wrong shows.
  ASSERT_NE("", Differences(Expected(stored_, shifted),
                            Expected(stored_, {10, 5, 150, 40, 410, 6})));
  EXPECT_EQ("", DrawAndCompare(shifted, 150, 40));
}

// The banner drawn for another scale: taken over with its size and drawn into a context
// (as the screen's paint context).
TEST_F(SkinBitmapTest, ADrawnBitmapIsTakenOverWithItsSizeAndDrawnIntoAContext) {
  const BannerPicture picture(kWindowWidth, 55);
  CSkinBitmap drawn;
  ASSERT_EQ(1, drawn.Attach(picture.ToBitmap()));
  EXPECT_EQ(kWindowWidth, drawn.GetWidth());
  EXPECT_EQ(55, drawn.GetHeight());

  window_.Clear();
  {
    winfx::ScopedGetDC client(window_.Get());
    EXPECT_NE(0, drawn.Draw(client.Get(), 0, 10));
  }
  std::vector<uint32_t> expected(kWindowWidth * kWindowHeight, kBackground);
  for (int y = 10; y < 10 + 55; ++y) {
    for (int x = 0; x < kWindowWidth; ++x) expected[y * kWindowWidth + x] = picture.At(x, y - 10);
  }
  EXPECT_EQ("", Differences(expected, window_.Pixels()));
}

TEST_F(SkinBitmapTest, AttachingNothingKeepsWhatIsHeld) {
  HBITMAP loaded = banner_.GetHandleUnsafe();
  EXPECT_EQ(0, banner_.Attach(winfx::ScopedBitmap()));
  EXPECT_EQ(loaded, banner_.GetHandleUnsafe());
  EXPECT_EQ(600, banner_.GetWidth());
  EXPECT_EQ(52, banner_.GetHeight());
  // Nothing held, or no context: nothing drawn.
  winfx::ScopedGetDC client(window_.Get());
  EXPECT_EQ(0, CSkinBitmap().Draw(client.Get(), 0, 0));
  EXPECT_EQ(0, banner_.Draw(static_cast<HDC>(nullptr), 0, 0));
}

TEST_F(SkinBitmapTest, DestructionDeletesTheBitmap) {
  auto holder = std::make_unique<CSkinBitmap>(IDB_BANNER);
  HBITMAP bitmap = holder->GetHandleUnsafe();
  ASSERT_EQ(static_cast<DWORD>(OBJ_BITMAP), ::GetObjectType(bitmap));
  holder.reset();
  EXPECT_EQ(0u, ::GetObjectType(bitmap));
}

}  // namespace
