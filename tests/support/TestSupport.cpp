#include "tests/support/TestSupport.h"

#include "tests/support/WideFiles.h"

#include <algorithm>
#include <cstdio>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace testing_support {

namespace {

constexpr char kTestRoot[] = "C:\\quillon-tests";

void ListInto(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  WIN32_FIND_DATAA data;
  std::string pattern = root + (relative.empty() ? "" : "\\" + relative) + "\\*";
  winfx::ScopedFindHandle find(::FindFirstFileA(pattern.c_str(), &data));
  if (!find) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(path + "\\");
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) ListInto(root, path, out);
    } else {
      out->push_back(path);
    }
  } while (::FindNextFileA(find.Get(), &data));
}

}  // namespace

TempFolder::TempFolder(const std::string& name) {
  static int counter = 0;
  ::CreateDirectoryA(kTestRoot, nullptr);
  char suffix[64];
  std::snprintf(suffix, sizeof(suffix), "-%lu-%d", ::GetCurrentProcessId(), ++counter);
  path_ = std::string(kTestRoot) + "\\" + name + suffix;
  RemoveTree(path_);
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool RemoveTree(const std::string& ansiPath) {
  // Wide throughout: names without an ANSI form go too.
  const std::wstring path = AnsiToUtf16(ansiPath);
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileW(path.c_str()) != FALSE;
  std::vector<std::wstring> entries = ListWideTree(path);
  // Deepest entries first, so every folder is empty when its turn comes.
  std::sort(entries.begin(), entries.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const std::wstring& entry : entries) {
    std::wstring full = path + L"\\" + entry;
    if (full.back() == L'\\') full.pop_back();
    const DWORD kind = ::GetFileAttributesW(full.c_str());
    if (kind == INVALID_FILE_ATTRIBUTES || (kind & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (kind & FILE_ATTRIBUTE_DIRECTORY) {
      ::RemoveDirectoryW(full.c_str());
    } else {
      ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(full.c_str());
    }
  }
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

std::string UnixPath(const std::string& path) {
  using UnixFileName = char*(CDECL*)(LPCWSTR);
  auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  winfx::WideString wide;
  if (unixFileName == nullptr || !winfx::ToWide(path, &wide)) return "";
  char* name = unixFileName(wide.c_str());
  if (name == nullptr) return "";
  std::string unixPath = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return unixPath;
}

bool RunLinuxProgram(const std::string& commandLine) {
  std::string command = commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  winfx::ScopedHandle ownProcess(process.hProcess), ownThread(process.hThread);
  return true;
}

namespace {

// Waits up to 20 s, a few milliseconds at a time, until path shows (or is gone).
bool WaitForPath(const std::string& path, bool shown) {
  for (int i = 0; i < 2000; ++i) {
    if (PathExists(path) == shown) return true;
    ::Sleep(10);
  }
  return false;
}

}  // namespace

LinuxLink::LinuxLink(const std::string& link, const std::string& target)
    : link_(link), unixLink_(UnixPath(link)) {
  const std::string unixTarget = UnixPath(target);
  made_ = !unixLink_.empty() && !unixTarget.empty() &&
          RunLinuxProgram("Z:\\bin\\ln -s \"" + unixTarget + "\" \"" + unixLink_ + "\"") &&
          WaitForPath(link_, true);
}

LinuxLink::~LinuxLink() {
  if (made_ && RunLinuxProgram("Z:\\bin\\rm -f \"" + unixLink_ + "\"")) WaitForPath(link_, false);
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesW(AnsiToUtf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(AnsiToUtf16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string& path) {
  winfx::ScopedHandle file(::CreateFileW(winfx::WidePath(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  std::string bytes;
  char block[65536];
  DWORD got = 0;
  while (::ReadFile(file.Get(), block, sizeof(block), &got, nullptr) && got > 0) {
    bytes.append(block, got);
  }
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  winfx::ScopedHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> entries;
  ListInto(root, "", &entries);
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool FileState::operator==(const FileState& other) const {
  return bytes == other.bytes && ::CompareFileTime(&written, &other.written) == 0;
}

std::map<std::string, FileState> FileStates(const std::string& root) {
  std::map<std::string, FileState> files;
  for (const std::string& relative : ListTree(root)) {
    if (relative.back() == '\\') continue;
    std::string path = root + "\\" + relative;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    files[relative] = FileState{ReadFileBytes(path), data.ftLastWriteTime};
  }
  return files;
}

std::string RequestLogField(const std::string& line, const std::string& name) {
  const std::string field = "\t" + name + ": ";
  size_t start = line.find(field);
  if (start == std::string::npos) return "";
  start += field.size();
  return line.substr(start, line.find('\t', start) - start);
}

std::string FromUnixPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string TodaysLogPath(const std::string& folder) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char name[32];
  std::snprintf(name, sizeof(name), "%04d%02d%02d_log.txt", now.wYear, now.wMonth, now.wDay);
  return folder + "\\log\\" + name;
}

std::string CopyInto(const std::string& file, const std::string& folder) {
  std::string name = file.substr(file.find_last_of('\\') + 1);
  std::string target = folder + "\\" + name;
  return ::CopyFileA(file.c_str(), target.c_str(), FALSE) ? target : std::string();
}

}  // namespace testing_support
