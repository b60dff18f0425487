#include "winfx/File.h"

namespace winfx {

bool File::Create(const std::string& path) { return Create(WidePath(path)); }

bool File::Create(const WideString& path) {
  bool created = false;
  if (!OpenOwn(path, FILE_SHARE_READ, &created)) return false;
  if (created || Truncate()) return true;
  handle_.Reset();
  return false;
}

bool File::OpenForAppend(const std::string& path, bool* created, bool shareWrite) {
  LARGE_INTEGER zero = {};
  if (!OpenOwn(WidePath(path), shareWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, created)) {
    return false;
  }
  if (!::SetFilePointerEx(handle_.Get(), zero, nullptr, FILE_END)) {
    handle_.Reset();
    return false;
  }
  return true;
}

bool File::OpenOwn(const WideString& path, DWORD share, bool* created) {
  Close();
  // Opened as it is first: a truncation would already reach the other name's file.
  handle_.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  *created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle_ || !::GetFileInformationByHandle(handle_.Get(), &info)) {
    handle_.Reset();
    return false;
  }
  if (info.nNumberOfLinks <= 1) return true;
  handle_.Reset();
  *created = true;
  if (!::DeleteFileW(path.c_str())) return false;
  handle_.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_.IsValid();
}
bool File::Size(ULONGLONG* size) const {
  LARGE_INTEGER value;
  if (!handle_.IsValid() || !::GetFileSizeEx(handle_.Get(), &value)) return false;
  *size = static_cast<ULONGLONG>(value.QuadPart);
  return true;
}

bool File::Truncate() {
  LARGE_INTEGER zero = {};
  return handle_.IsValid() && ::SetFilePointerEx(handle_.Get(), zero, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(handle_.Get());
}

bool File::Write(const void* data, DWORD size) {
  if (!handle_.IsValid()) return false;
  DWORD written = 0;
  if (!::WriteFile(handle_.Get(), data, size, &written, nullptr)) return false;
  // A write that takes less than it was given has met the end of the disk's room.
  if (written != size) ::SetLastError(ERROR_HANDLE_DISK_FULL);
  return written == size;
}

bool File::Flush() { return handle_.IsValid() && ::FlushFileBuffers(handle_.Get()) != FALSE; }

bool File::Close() {
  if (!handle_.IsValid()) return true;
  return ::CloseHandle(handle_.Release()) != FALSE;
}

CappedRead ReadCappedFile(const WideString& path, unsigned long long limit, std::string* bytes) {
  bytes->clear();
  ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return CappedRead::kMissing;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.Get(), &size)) return CappedRead::kUnreadable;
  if (static_cast<unsigned long long>(size.QuadPart) > limit) return CappedRead::kTooLarge;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes->empty() &&
      (!::ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &got, nullptr) ||
       got != bytes->size())) {
    bytes->clear();
    return CappedRead::kUnreadable;
  }
  return CappedRead::kRead;
}

}  // namespace winfx
