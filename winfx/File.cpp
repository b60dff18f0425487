#include "winfx/File.h"

namespace winfx {

bool File::Create(const std::string& path) {
  Close();
  handle_.Reset(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return handle_.IsValid();
}

bool File::Write(const void* data, DWORD size) {
  if (!handle_.IsValid()) return false;
  DWORD written = 0;
  return ::WriteFile(handle_.Get(), data, size, &written, nullptr) && written == size;
}

bool File::Close() {
  if (!handle_.IsValid()) return true;
  return ::CloseHandle(handle_.Release()) != FALSE;
}

}  // namespace winfx
