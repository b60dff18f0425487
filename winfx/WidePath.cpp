#include "winfx/WidePath.h"

#include <windows.h>

namespace winfx {

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

// text in codePage as wide text; false for any byte sequence that is no text there.
bool Decode(UINT codePage, const std::string& text, WideString* wide) {
  wide->clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<size_t>(length), L'\0');
  if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, &(*wide)[0], length) !=
      length) {
    wide->clear();
    return false;
  }
  return true;
}

}  // namespace

bool ToWide(const std::string& ansi, WideString* wide) { return Decode(kTextCodePage, ansi, wide); }

WideString ToWide(const std::string& ansi) {
  WideString wide;
  ToWide(ansi, &wide);
  return wide;
}

bool Utf8ToWide(const std::string& utf8, WideString* wide) { return Decode(CP_UTF8, utf8, wide); }

std::string ToUtf8(const WideString& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length <= 0 ||
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], length, nullptr, nullptr) != length) {
    return std::string();
  }
  return utf8;
}

std::string ToShownAnsi(const WideString& wide) {
  bool exact = false;
  return ToAnsi(wide, &exact);
}

std::string ToAnsi(const WideString& wide, bool* exact) {
  *exact = true;
  if (wide.empty()) return std::string();
  BOOL replaced = FALSE;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                           0, nullptr, &replaced);
  std::string ansi(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length <= 0 || ::WideCharToMultiByte(kTextCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, &ansi[0],
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
  return ExtendedLengthPath(wide);
}

WideString ExtendedLengthPath(const WideString& wide) {
  if (wide.empty()) return WideString();
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
  return WidePath(wide);
}

WideString WidePath(const WideString& path) {
  return path.size() < MAX_PATH ? path : ExtendedLengthPath(path);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.empty() || name.empty() ? std::string() : folder + "\\" + name;
}

WideString JoinPath(const WideString& folder, const WideString& name) {
  return folder.empty() || name.empty() ? WideString() : folder + L"\\" + name;
}

}  // namespace winfx
