#include "settings/CSetupUtil.h"

#include <cstdlib>

#include "winfx/File.h"
#include "winfx/FileTree.h"
#include "winfx/Format.h"
#include "winfx/WidePath.h"

namespace {

CSetupUtil::ClockForTesting g_clock = nullptr;

// Name of the settings file inside the bound folder.
constexpr char kSettingsFile[] = "info.ini";
constexpr char kCommonSection[] = "COMMON";
constexpr char kDebugKey[] = "DEBUG";

// The profile value is read into a zeroed 256-byte buffer with a size of 255.
constexpr DWORD kValueBufferSize = 256;
constexpr DWORD kValueReadSize = 255;

}  // namespace

CSetupUtil::CSetupUtil() : m_debug(0) {}

CSetupUtil::~CSetupUtil() = default;

void CSetupUtil::Init(std::string folder) {
  m_folder = folder;
  m_debug = GetCommonInt(kDebugKey, "0");
}

std::string CSetupUtil::SettingsPath() const { return m_folder + "\\" + kSettingsFile; }

int CSetupUtil::GetCommonInt(std::string key, std::string defaultValue) {
  const std::string path = SettingsPath();
  // The profile functions read the whole file: one larger than settings are is taken for
  // none (a folder of that name has no size and gives the default as well).
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (::GetFileAttributesExW(winfx::WidePath(path).c_str(), GetFileExInfoStandard, &data) &&
      (data.nFileSizeHigh != 0 || data.nFileSizeLow > kMaxSettingsSize)) {
    return std::atoi(defaultValue.c_str());
  }
  wchar_t value[kValueBufferSize] = {};
  ::GetPrivateProfileStringW(winfx::ToWide(kCommonSection).c_str(), winfx::ToWide(key).c_str(),
                             winfx::ToWide(defaultValue).c_str(), value, kValueReadSize,
                             winfx::WidePath(path).c_str());
  return ::_wtoi(value);
}

void CSetupUtil::WriteLog(std::string text) {
  if (m_debug == 0) return;

  // One clock reading serves both the file name and the line, so a line stamped
  // 23:59:59 lands in that day's file.
  SYSTEMTIME now;
  if (g_clock != nullptr) {
    g_clock(&now);
  } else {
    ::GetLocalTime(&now);
  }

  const std::string stamp = winfx::Format("[%04d/%02d/%02d %02d:%02d:%02d] ", now.wYear,
                                          now.wMonth, now.wDay, now.wHour, now.wMinute,
                                          now.wSecond);
  const std::string day = winfx::Format("%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
  const std::string folder = m_folder + "\\log";
  const std::string path = folder + "\\" + day + "_log.txt";
  // A link of the log folder's or the day's file's name leads out of the folder: nothing
  // is written through it.
  if (winfx::FileTree::LeadsElsewhere(winfx::WidePath(folder)) ||
      winfx::FileTree::LeadsElsewhere(winfx::WidePath(path))) {
    return;
  }

  // Appended, never through a file that has another name too (winfx::File); another
  // writer of the day's log may have it open as well.
  winfx::File file;
  bool created = false;
  const std::string line = stamp + text + "\r\n";
  if (file.OpenForAppend(path, &created, true)) file.Write(line.data(), static_cast<DWORD>(line.size()));
}

void CSetupUtil::SetClockForTesting(ClockForTesting clock) { g_clock = clock; }
