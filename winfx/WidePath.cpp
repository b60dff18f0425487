#include "winfx/WidePath.h"

#include <windows.h>

namespace winfx {

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

}  // namespace

bool ToWide(const std::string& ansi, WideString* wide) {
  wide->clear();
  if (ansi.empty()) return true;
  const int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(),
                                           static_cast<int>(ansi.size()), nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<size_t>(length), L'\0');
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), static_cast<int>(ansi.size()),
                            &(*wide)[0], length) != length) {
    wide->clear();
    return false;
  }
  return true;
}

std::string ToAnsi(const WideString& wide, bool* exact) {
  *exact = true;
  if (wide.empty()) return std::string();
  BOOL replaced = FALSE;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                           0, nullptr, &replaced);
  std::string ansi(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length <= 0 || ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &ansi[0],
                                           length, nullptr, &replaced) != length) {
    *exact = false;
    return std::string();
  }
  *exact = replaced == FALSE;
  return ansi;
}

WideString ExtendedLengthPath(const std::string& path) {
  WideString wide;
  if (path.empty() || !ToWide(path, &wide)) return WideString();
  if (wide.compare(0, 4, kExtendedPrefix) == 0) return wide;
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return WideString();
  WideString full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return WideString();
  full.resize(length);
  // "\\server\share\..." is "\\?\UNC\server\share\..."; "C:\..." is "\\?\C:\...".
  if (full.compare(0, 2, L"\\\\") == 0) return kExtendedUncPrefix + full.substr(2);
  return kExtendedPrefix + full;
}

WideString WidePath(const std::string& path) {
  WideString wide;
  if (!ToWide(path, &wide)) return WideString();
  return wide.size() < MAX_PATH ? wide : ExtendedLengthPath(path);
}

}  // namespace winfx
