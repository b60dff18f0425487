// What the real QuillonSetup.exe carries for screens of every scale, read from the file
// through the system's own loaders: its icon's images and its manifest's DPI settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/TestSupport.h"
#include "winfx/ScopedHandle.h"

namespace {

std::string InstallerExe() { return testing_support::FromUnixPath(QUILLON_SETUP_EXE); }

// The icon group's directory entry, as a resource stores it (GRPICONDIRENTRY).
#pragma pack(push, 2)
struct IconDirectoryEntry {
  BYTE width;  // 0 stands for 256
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(AppResourcesTest, TheIconHasAnImageForEverySizeFrom100To200Percent) {
  winfx::ScopedModule exe(::LoadLibraryExA(InstallerExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(exe);
  HRSRC found = ::FindResourceA(exe.Get(), MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON);
  ASSERT_NE(nullptr, found);
  const BYTE* group = static_cast<const BYTE*>(::LockResource(::LoadResource(exe.Get(), found)));
  ASSERT_NE(nullptr, group);
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  const auto* entries = reinterpret_cast<const IconDirectoryEntry*>(group + 6);
  std::vector<int> sides;
  for (WORD i = 0; i < count; ++i) sides.push_back(entries[i].width == 0 ? 256 : entries[i].width);
  EXPECT_EQ((std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}), sides);

  // Each loads at its own size (every image is PNG-compressed), none scaled from another.
  for (int side : sides) {
    winfx::ScopedIcon icon(static_cast<HICON>(::LoadImageA(
        exe.Get(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, side, side, LR_DEFAULTCOLOR)));
    ASSERT_TRUE(icon) << side;
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(icon.Get(), &info)) << side;
    BITMAP colour = {};
    ::GetObjectA(info.hbmColor, sizeof(colour), &colour);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    EXPECT_EQ(side, colour.bmWidth);
    EXPECT_EQ(side, colour.bmHeight);
  }
}

// The system reads the manifest's DPI settings (per-monitor v2, per-monitor before it); a
// setting in the wrong namespace would be ignored without a word.
TEST(AppResourcesTest, TheManifestAsksForPerMonitorDpiAwareness) {
  const std::string exe = InstallerExe();
  ACTCTXA context = {};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = exe.c_str();
  context.lpResourceName = MAKEINTRESOURCEA(1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
  HANDLE activation = ::CreateActCtxA(&context);
  ASSERT_NE(INVALID_HANDLE_VALUE, activation);
  auto setting = [&](const wchar_t* space, const wchar_t* name) {
    wchar_t value[128] = {};
    SIZE_T written = 0;
    if (!::QueryActCtxSettingsW(0, activation, space, name, value, ARRAYSIZE(value), &written)) {
      return std::wstring(L"(none)");
    }
    return std::wstring(value);
  };
  EXPECT_EQ(L"PerMonitorV2, PerMonitor",
            setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"));
  EXPECT_EQ(L"true/pm", setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"));
  ::ReleaseActCtx(activation);
}

}  // namespace
