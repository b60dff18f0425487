#include "winfx/File.h"

namespace winfx {

bool File::Create(const std::string& path) { return Create(WidePath(path)); }

bool File::Create(const WideString& path) {
  Close();
  handle_.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_.IsValid();
}

bool File::OpenForAppend(const std::string& path, bool* created) {
  Close();
  handle_.Reset(::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  *created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  if (!handle_.IsValid()) return false;
  LARGE_INTEGER zero = {};
  if (!::SetFilePointerEx(handle_.Get(), zero, nullptr, FILE_END)) {
    handle_.Reset();
    return false;
  }
  return true;
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
  return ::WriteFile(handle_.Get(), data, size, &written, nullptr) && written == size;
}

bool File::Flush() { return handle_.IsValid() && ::FlushFileBuffers(handle_.Get()) != FALSE; }

bool File::Close() {
  if (!handle_.IsValid()) return true;
  return ::CloseHandle(handle_.Release()) != FALSE;
}

}  // namespace winfx
