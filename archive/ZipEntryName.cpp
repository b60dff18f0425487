#include "archive/ZipEntryName.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include <zlib.h>

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

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsPlainComponent(const WideText& component) {
  if (component.empty()) return false;
  if (component.back() == L'.' || component.back() == L' ') return false;
  for (size_t i = 0; i < component.size(); ++i) {
    const wchar_t c = component[i];
    if (c < 0x20 || std::wcschr(kForbiddenCharacters, c) != nullptr) return false;
    // Half of a character is no name a file system keeps as it is.
    if (IsHighSurrogate(c) && (i + 1 == component.size() || !IsLowSurrogate(component[++i]))) {
      return false;
    }
    if (IsLowSurrogate(c)) return false;
    // Wine, and Windows' Macintosh file services, keep characters no name may hold as
    // these private-use ones, and turn them back on the disk.
    if (c >= 0xF000 && c <= 0xF0FF) return false;
  }
  return !IsDeviceName(component);
}

unsigned ReadLittleEndian(const std::string& bytes, size_t at, size_t size) {
  unsigned value = 0;
  for (size_t i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The name a valid Unicode Path field in extra gives for stored, into *name; false when
// there is none (absent, another version, a CRC of another name, no valid UTF-8).
bool UnicodePathName(const std::string& stored, const std::string& extra, WideText* name) {
  constexpr size_t kHeader = 4;             // id and size, two bytes each
  constexpr size_t kVersionAndCrc = 1 + 4;  // before the UTF-8 name
  for (size_t at = 0; at + kHeader <= extra.size();) {
    const unsigned id = ReadLittleEndian(extra, at, 2);
    const size_t size = ReadLittleEndian(extra, at + 2, 2);
    const size_t data = at + kHeader;
    if (data + size > extra.size()) return false;
    if (id == kZipUnicodePathField && size > kVersionAndCrc &&
        static_cast<unsigned char>(extra[data]) == kZipUnicodePathVersion) {
      const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(stored.data()),
                              static_cast<uInt>(stored.size()));
      return ReadLittleEndian(extra, data + 1, 4) == crc &&
             winfx::Utf8ToWide(extra.substr(data + kVersionAndCrc, size - kVersionAndCrc), name);
    }
    at = data + size;
  }
  return false;
}

}  // namespace

std::string ToWindowsSeparators(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

ZipEntryNameKind DecodeZipEntryName(const std::string& stored, unsigned long flag,
                                    const std::string& extra, WideText* name) {
  bool decoded = false;
  if (flag & kZipFlagUtf8Name) {
    decoded = winfx::Utf8ToWide(stored, name);
  } else {
    decoded = UnicodePathName(stored, extra, name) || winfx::ToWide(stored, name);
  }
  if (!decoded) {
    name->clear();
    return ZipEntryNameKind::kNotPlainName;
  }
  std::replace(name->begin(), name->end(), L'/', L'\\');
  return ClassifyZipEntryName(*name);
}

ZipEntryNameKind ClassifyZipEntryName(const std::string& name) {
  WideText wide;
  // The name as the ...A functions will see it.
  if (name.empty() || !winfx::ToWide(name, &wide)) return ZipEntryNameKind::kNotPlainName;
  return ClassifyZipEntryName(wide);
}

ZipEntryNameKind ClassifyZipEntryName(const WideText& name) {
  if (name.empty()) return ZipEntryNameKind::kNotPlainName;
  WideText wide = name;

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
