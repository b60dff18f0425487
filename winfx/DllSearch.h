// Where a program's DLLs come from. Windows looks beside the program first for every DLL that
// is not one of its KnownDLLs, and a program started from a Downloads folder finds there
// whatever else the browser dropped. So a program on this layer imports only KnownDLLs (see
// cmake/DelayLoad.cmake), restricts the search before anything else (WinMain does), and loads
// every other DLL from the system folder by its full path: the DLLs linked for delay-loading
// through the delay-load hook defined with these functions, others through LoadSystemLibrary.
#pragma once

#include <windows.h>

namespace winfx {

// Exit code of a program that needs a DLL of the system which the system folder lacks: it
// ends at once rather than look for the DLL anywhere else.
constexpr UINT kSystemLibraryMissingExitCode = ERROR_MOD_NOT_FOUND;

// Makes every later load of a DLL by name, the system's own loads on demand included, search
// the system folder alone (SetDefaultDllDirectories). Where Windows lacks that (Windows 7
// without its 2011 loader update) it takes at least the current folder out of the search.
// Either way it then loads from the system folder, for good, the DLLs that the system's own
// DLLs are known to load by name later. Returns true when the system folder alone is searched.
bool RestrictDllSearch();

// Loads the DLL name ("wininet.dll") by its full path in the system folder, its own imports
// from there too; null when the system folder has no such DLL. Free it with FreeLibrary.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace winfx
