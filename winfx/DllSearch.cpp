#include "winfx/DllSearch.h"

#include <delayimp.h>

namespace winfx {

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD flags);

// DLLs that the system's own DLLs load by their plain name while a program with windows runs
// (themes, desktop composition, alpha blending, version, shell and profile helpers). Loaded
// from the system folder at the start and kept for the life of the process, so that those
// later loads find them loaded: where the search cannot be restricted, and under Wine, whose
// own DLLs bind their delay-loaded imports without the restriction (comctl32 takes msimg32
// from the program's folder when it first draws a themed control).
constexpr const char* kLoadedOnDemand[] = {"uxtheme.dll", "dwmapi.dll",  "msimg32.dll",
                                           "version.dll", "userenv.dll", "propsys.dll",
                                           "cryptbase.dll"};

// SetDefaultDllDirectories, or null where Windows lacks it; the LOAD_LIBRARY_SEARCH_* flags
// of LoadLibraryEx came with it.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  // Through a plain function pointer type: the signature is known, GetProcAddress's isn't.
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(proc));
}

// Called by the delay-load helper (__delayLoadHelper2) at each step of binding a function.
// Before it would load the DLL by its plain name, which searches the program's folder first
// wherever the search could not be restricted, the DLL comes from the system folder instead;
// one the system folder lacks ends the program, so no search by name ever follows.
FARPROC WINAPI OnDelayLoadNotice(unsigned notice, PDelayLoadInfo info) {
  if (notice != dliNotePreLoadLibrary) return nullptr;
  HMODULE library = LoadSystemLibrary(info->szDll);
  if (library == nullptr) ::TerminateProcess(::GetCurrentProcess(), kSystemLibraryMissingExitCode);
  return reinterpret_cast<FARPROC>(library);
}

}  // namespace

bool RestrictDllSearch() {
  SetDefaultDllDirectoriesFunction setDefaultDllDirectories = FindSetDefaultDllDirectories();
  const bool restricted = setDefaultDllDirectories != nullptr &&
                          setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Otherwise the program's own folder stays first in the search: the delay-load hook and
  // LoadSystemLibrary never search by name, and the preloads below cover the system's own
  // loads that are known.
  if (!restricted) ::SetDllDirectoryW(L"");
  for (const char* name : kLoadedOnDemand) LoadSystemLibrary(name);
  return restricted;
}

HMODULE LoadSystemLibrary(const char* name) {
  wchar_t path[MAX_PATH];
  UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  path[length++] = L'\\';
  // System DLL names are plain ASCII.
  for (; *name != '\0'; ++name) {
    if (length + 1 >= MAX_PATH) return nullptr;
    path[length++] = static_cast<unsigned char>(*name);
  }
  path[length] = L'\0';
  // Both ways the DLL's own imports are searched for in the system folder first: with the
  // search flags, there alone.
  const DWORD flags = FindSetDefaultDllDirectories() != nullptr ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                                                : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path, nullptr, flags);
}

}  // namespace winfx

// The helper's notice hook (declared by <delayimp.h>): defined here, it replaces the C
// runtime's empty one. Linked with RestrictDllSearch, so every program on this layer has it.
PfnDliHook __pfnDliNotifyHook2 = winfx::OnDelayLoadNotice;
