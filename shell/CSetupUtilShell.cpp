// CSetupUtil's shell operations: the file presence test and shell links in the desktop,
// Quick Launch and Programs folders.
#include "settings/CSetupUtil.h"

#include <shlobj.h>

#include <cwchar>
#include <string>

#include "winfx/DllSearch.h"
#include "winfx/ScopedCom.h"
#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace {

// SHGetFolderPathW is looked up at run time in SHFOLDER.DLL, which also serves systems
// whose shell32 lacks it; the library is not linked, and comes from the system folder only.
using GetFolderPathFunction = HRESULT(WINAPI*)(HWND owner, int csidl, HANDLE token,
                                               DWORD flags, LPWSTR path);
constexpr char kShellFolderLibrary[] = "SHFOLDER.DLL";
constexpr char kGetFolderPathName[] = "SHGetFolderPathW";

constexpr int kDesktopCsidl = 0x0000;   // CSIDL_DESKTOP: the user's desktop folder
constexpr int kAppDataCsidl = 0x001A;   // CSIDL_APPDATA: the user's application data
constexpr int kProgramsCsidl = 0x0002;  // CSIDL_PROGRAMS: Start menu, Programs
// The Quick Launch bar's folder, below the application data folder.
constexpr wchar_t kQuickLaunchFolder[] = L"\\Microsoft\\Internet Explorer\\Quick Launch";

// One place a link may go: the flag (cleared when the place is to get nothing) and the
// full path of the link there, in a buffer of MAX_PATH characters.
struct LinkPlace {
  bool wanted;
  wchar_t path[MAX_PATH];
};

GetFolderPathFunction LookUpGetFolderPath(HMODULE library) {
  FARPROC proc = ::GetProcAddress(library, kGetFolderPathName);
  // Through a plain function pointer type: the signature is known, GetProcAddress's isn't.
  return reinterpret_cast<GetFolderPathFunction>(reinterpret_cast<void (*)()>(proc));
}

// The shell folder csidl (no window, no token, flags 0) followed by middle and name into
// place->path; false when the folder cannot be resolved. A path that does not fit the
// buffer with its terminator leaves the place unwanted.
bool ResolvePlace(GetFolderPathFunction getFolderPath, int csidl, const wchar_t* middle,
                  const winfx::WideString& name, LinkPlace* place) {
  wchar_t* path = place->path;
  if (FAILED(getFolderPath(nullptr, csidl, nullptr, 0, path))) return false;
  path[MAX_PATH - 1] = L'\0';
  const size_t folderLength = std::wcslen(path);
  const size_t middleLength = std::wcslen(middle);
  if (folderLength == 0) return false;
  if (name.empty() || folderLength + middleLength + name.size() >= MAX_PATH) {
    place->wanted = false;
  } else {
    std::wmemcpy(path + folderLength, middle, middleLength);
    std::wmemcpy(path + folderLength + middleLength, name.c_str(), name.size() + 1);
  }
  return true;
}

// Drive and folder of path, with the trailing backslash ("C:\QuillonWidget\" for
// "C:\QuillonWidget\QuillonWidget.exe"), as _splitpath's drive and dir joined.
winfx::WideString FolderOf(const winfx::WideString& path) {
  size_t end = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\' || path[i] == L'/') end = i + 1;
  }
  if (end == 0 && path.size() >= 2 && path[1] == L':') end = 2;
  return winfx::WideString(path.c_str(), end);
}

bool Exists(const wchar_t* path) {
  WIN32_FIND_DATAW data;
  winfx::ScopedFindHandle search(::FindFirstFileW(path, &data));
  return static_cast<bool>(search);
}

}  // namespace

int CSetupUtil::FileExists(std::string path) { return Exists(winfx::WidePath(path).c_str()) ? 1 : 0; }

void CSetupUtil::CreateShortcut(std::string target, std::string linkName,
                                std::string description, int desktop, int quickLaunch,
                                int programs, int overwrite) {
  if (desktop == 0 && quickLaunch == 0 && programs == 0) return;

  winfx::ScopedModule shellFolder(winfx::LoadSystemLibrary(kShellFolderLibrary));
  if (!shellFolder) return;
  GetFolderPathFunction getFolderPath = LookUpGetFolderPath(shellFolder.Get());
  if (getFolderPath == nullptr) return;

  // All three folders are resolved before anything is written, whatever the flags.
  const winfx::WideString wideLinkName = winfx::ToWide(linkName);
  LinkPlace places[] = {{desktop != 0, {}}, {quickLaunch != 0, {}}, {programs != 0, {}}};
  if (!ResolvePlace(getFolderPath, kDesktopCsidl, L"", wideLinkName, &places[0]) ||
      !ResolvePlace(getFolderPath, kAppDataCsidl, kQuickLaunchFolder, wideLinkName, &places[1]) ||
      !ResolvePlace(getFolderPath, kProgramsCsidl, L"", wideLinkName, &places[2])) {
    return;
  }
  bool anyWanted = false;
  for (LinkPlace& place : places) {
    if (place.wanted && overwrite == 0 && Exists(place.path)) place.wanted = false;
    anyWanted = anyWanted || place.wanted;
  }
  if (!anyWanted) return;

  winfx::CoInitialization com;
  winfx::ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid()))) {
    return;
  }
  const winfx::WideString wideTarget = winfx::ToWide(target);
  link->SetPath(wideTarget.c_str());
  link->SetDescription(winfx::ToWide(description).c_str());
  link->SetArguments(L"");
  link->SetWorkingDirectory(FolderOf(wideTarget).c_str());

  winfx::ComPtr<IPersistFile> file = link.QueryInterface<IPersistFile>(IID_IPersistFile);
  if (!file) return;
  for (const LinkPlace& place : places) {
    // A failed save does not keep the link from the places after it.
    if (place.wanted) file->Save(place.path, TRUE);
  }
  file.Reset();
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
