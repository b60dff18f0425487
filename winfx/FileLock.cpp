#include "winfx/FileLock.h"

#include "winfx/FileTree.h"

namespace winfx {

FileLock::Result FileLock::Acquire(const std::string& path) {
  Release();
  // A link of the lock's name would have the file it leads to deleted on close.
  if (FileTree::LeadsElsewhere(WidePath(path))) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return Result::kFailed;
  }
  file_.Reset(::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                            nullptr));
  if (file_) return Result::kHeld;
  return ::GetLastError() == ERROR_SHARING_VIOLATION ? Result::kTaken : Result::kFailed;
}

}  // namespace winfx
