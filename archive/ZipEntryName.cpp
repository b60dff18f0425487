#include "archive/ZipEntryName.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "winfx/WidePath.h"

namespace {

using WideText = winfx::WideString;

// Characters no Windows file name may hold, besides control characters and ":".
constexpr wchar_t kForbiddenCharacters[] = L"<>\"|?*";

// Names Windows opens as devices, with or without an extension; COM and LPT also with the
// superscript digits one to three.
constexpr const wchar_t* kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
constexpr const wchar_t* kNumberedDevices[] = {L"COM", L"LPT"};
constexpr wchar_t kDeviceDigits[] = L"0123456789\u00B9\u00B2\u00B3";

std::vector<WideText> SplitComponents(const WideText& path) {
  std::vector<WideText> components;
  size_t start = 0;
  for (;;) {
    size_t end = path.find(L'\\', start);
    components.push_back(path.substr(start, end == WideText::npos ? end : end - start));
    if (end == WideText::npos) return components;
    start = end + 1;
  }
}

bool SameAsciiLetters(const WideText& text, const wchar_t* upper) {
  size_t i = 0;
  for (; upper[i] != L'\0'; ++i) {
    if (i >= text.size()) return false;
    wchar_t c = text[i];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    if (c != upper[i]) return false;
  }
  return i == text.size();
}

// Windows treats a component as a device when the part before its first dot, without
// trailing blanks, is a device name.
bool IsDeviceName(const WideText& component) {
  WideText base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (const wchar_t* device : kDeviceNames) {
    if (SameAsciiLetters(base, device)) return true;
  }
  if (base.size() != 4) return false;
  for (const wchar_t* prefix : kNumberedDevices) {
    if (SameAsciiLetters(base.substr(0, 3), prefix) &&
        base[3] != L'\0' && std::wcschr(kDeviceDigits, base[3]) != nullptr) {
      return true;
    }
  }
  return false;
}

bool IsPlainComponent(const WideText& component) {
  if (component.empty()) return false;
  if (component.back() == L'.' || component.back() == L' ') return false;
  for (wchar_t c : component) {
    if (c < 0x20 || std::wcschr(kForbiddenCharacters, c) != nullptr) return false;
  }
  return !IsDeviceName(component);
}

}  // namespace

std::string ToWindowsSeparators(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

ZipEntryNameKind ClassifyZipEntryName(const std::string& name) {
  WideText wide;
  // The name as the ...A functions will see it.
  if (name.empty() || !winfx::ToWide(name, &wide)) return ZipEntryNameKind::kNotPlainName;

  // ":" names a drive or a stream of another file; a leading "\" the root of the drive.
  if (wide.front() == L'\\' || wide.find(L':') != WideText::npos) {
    return ZipEntryNameKind::kLeavesFolder;
  }
  const bool folder = wide.back() == L'\\';
  if (folder) wide.pop_back();
  const std::vector<WideText> components = SplitComponents(wide);
  for (const WideText& component : components) {
    if (component == L"..") return ZipEntryNameKind::kLeavesFolder;
  }
  for (const WideText& component : components) {
    if (!IsPlainComponent(component)) return ZipEntryNameKind::kNotPlainName;
  }
  return folder ? ZipEntryNameKind::kFolder : ZipEntryNameKind::kFile;
}
