#include "tests/support/WideFiles.h"

#include <algorithm>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace testing_support {

namespace {

std::wstring Decode(UINT codePage, const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(::MultiByteToWideChar(
      codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
  return wide;
}

void ListInto(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>* names) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      names->push_back(relative + name + L"\\");
      // A link is listed, never entered.
      if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      ListInto(root, relative + name + L"\\", names);
    } else {
      names->push_back(relative + name);
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
}

}  // namespace

std::wstring Utf16(const std::string& utf8) { return Decode(CP_UTF8, utf8); }

std::wstring AnsiToUtf16(const std::string& ansi) {
  const winfx::WideString wide = winfx::ToWide(ansi);
  return std::wstring(wide.begin(), wide.end());
}

std::vector<std::wstring> ListWideTree(const std::wstring& root) {
  std::vector<std::wstring> names;
  ListInto(root, L"", &names);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWideFile(const std::wstring& path) {
  winfx::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (file && ::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

bool PutWideFile(const std::wstring& root, const std::wstring& relative, const std::string& bytes,
                 WORD year) {
  ::CreateDirectoryW(root.c_str(), nullptr);
  for (size_t cut = relative.find(L'\\'); cut != std::wstring::npos; cut = relative.find(L'\\', cut + 1)) {
    ::CreateDirectoryW((root + L"\\" + relative.substr(0, cut)).c_str(), nullptr);
  }
  winfx::ScopedHandle file(::CreateFileW((root + L"\\" + relative).c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return false;
  }
  if (year == 0) return true;
  SYSTEMTIME time = {year, 3, 0, 4, 5, 6, 8, 0};
  FILETIME stamp;
  return ::SystemTimeToFileTime(&time, &stamp) && ::SetFileTime(file.Get(), nullptr, nullptr, &stamp);
}

ULONGLONG WideWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

std::map<std::wstring, std::pair<std::string, ULONGLONG>> WideFileStates(const std::wstring& root) {
  std::map<std::wstring, std::pair<std::string, ULONGLONG>> files;
  for (const std::wstring& relative : ListWideTree(root)) {
    if (relative.back() == L'\\') continue;
    const std::wstring path = root + L"\\" + relative;
    files[relative] = {ReadWideFile(path), WideWriteTime(path)};
  }
  return files;
}

}  // namespace testing_support
