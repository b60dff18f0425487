#include "winfx/HeldFolder.h"

namespace winfx {

WideString FinalPathOf(HANDLE handle) {
  WideString name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, &name[0], static_cast<DWORD>(name.size()), 0);
    if (length == 0) return WideString();
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(length);  // the size asked for, terminator included
  }
}

bool HeldFolder::Open(const WideString& path) {
  // Without the right to change its permissions (a folder of the administrators', say) it
  // is held all the same; only a change of them then fails.
  for (DWORD access : {FILE_LIST_DIRECTORY | READ_CONTROL | WRITE_DAC, FILE_LIST_DIRECTORY | READ_CONTROL}) {
    handle_.Reset(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr));
    if (handle_ || ::GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  return handle_.IsValid();
}

DWORD HeldFolder::Attributes() const {
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle_ || !::GetFileInformationByHandle(handle_.Get(), &info)) return INVALID_FILE_ATTRIBUTES;
  return info.dwFileAttributes;
}

}  // namespace winfx
