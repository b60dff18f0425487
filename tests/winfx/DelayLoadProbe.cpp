// A program that binds a delay-loaded function while its own folder still comes first in the
// DLL search, as on a Windows 7 without SetDefaultDllDirectories: it only takes the current
// folder out (SetDllDirectoryW(L"")) and never calls RestrictDllSearch. Its exit code:
//   delay_load_probe system   0 when InternetCrackUrlA (wininet.dll, delay-loaded) worked
//   delay_load_probe absent   what calling into quillon_absent.dll, which no system folder
//                             holds, ends with
//   delay_load_probe by-name  0 when LoadLibraryA("wininet.dll") loaded a DLL of that name
#include <windows.h>
#include <wininet.h>

#include <string>

extern "C" __declspec(dllimport) int WINAPI QuillonAbsentProbe();

int main(int argc, char** argv) {
  ::SetDllDirectoryW(L"");
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "absent") return QuillonAbsentProbe();
  if (mode == "by-name") return ::LoadLibraryA("wininet.dll") != nullptr ? 0 : 1;
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = 1;
  return ::InternetCrackUrlA("http://127.0.0.1:47/", 0, 0, &parts) && parts.nPort == 47 ? 0 : 1;
}
