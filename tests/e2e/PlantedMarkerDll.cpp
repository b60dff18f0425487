// A DLL to plant beside a program under the name of a system DLL. Whatever loads it leaves the
// file "<its own path>.loaded" beside it, and the load succeeds.
#include <windows.h>

#include "winfx/ScopedHandle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  constexpr wchar_t kSuffix[] = L".loaded";
  wchar_t path[MAX_PATH + sizeof(kSuffix) / sizeof(wchar_t)];
  const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  ::lstrcpyW(path + length, kSuffix);
  winfx::ScopedHandle marker(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return TRUE;
}
