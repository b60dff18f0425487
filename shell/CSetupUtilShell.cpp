// CSetupUtil's shell operations: the file presence test and shell links in the desktop,
// Quick Launch and Programs folders.
#include "settings/CSetupUtil.h"

#include <shlobj.h>

#include <string>

#include "winfx/DllSearch.h"
#include "winfx/ScopedCom.h"
#include "winfx/ScopedHandle.h"

namespace {

// SHGetFolderPathA is looked up at run time in SHFOLDER.DLL, which also serves systems
// whose shell32 lacks it; the library is not linked, and comes from the system folder only.
using GetFolderPathFunction = HRESULT(WINAPI*)(HWND owner, int csidl, HANDLE token,
                                               DWORD flags, LPSTR path);
constexpr char kShellFolderLibrary[] = "SHFOLDER.DLL";
constexpr char kGetFolderPathName[] = "SHGetFolderPathA";

constexpr int kDesktopCsidl = 0x0000;   // CSIDL_DESKTOP: the user's desktop folder
constexpr int kAppDataCsidl = 0x001A;   // CSIDL_APPDATA: the user's application data
constexpr int kProgramsCsidl = 0x0002;  // CSIDL_PROGRAMS: Start menu, Programs
// The Quick Launch bar's folder, below the application data folder.
constexpr char kQuickLaunchFolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

// One place a link may go: the flag (cleared when the place is to get nothing) and the
// full path of the link there.
struct LinkPlace {
  bool wanted;
  std::string path;
};

GetFolderPathFunction LookUpGetFolderPath(HMODULE library) {
  FARPROC proc = ::GetProcAddress(library, kGetFolderPathName);
  // Through a plain function pointer type: the signature is known, GetProcAddress's isn't.
  return reinterpret_cast<GetFolderPathFunction>(reinterpret_cast<void (*)()>(proc));
}

// Path of the shell folder csidl (no window, no token, flags 0); false when it cannot
// be resolved.
bool ResolveFolder(GetFolderPathFunction getFolderPath, int csidl, std::string* folder) {
  char buffer[MAX_PATH] = {};
  if (FAILED(getFolderPath(nullptr, csidl, nullptr, 0, buffer))) return false;
  buffer[MAX_PATH - 1] = '\0';
  *folder = buffer;
  return !folder->empty();
}

// Drive and folder of path, with the trailing backslash ("C:\QuillonWidget\" for
// "C:\QuillonWidget\QuillonWidget.exe"), as _splitpath's drive and dir joined. Second
// bytes of double-byte characters are never taken for separators.
std::string FolderOf(const std::string& path) {
  size_t end = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      end = i + 1;
    }
  }
  if (end == 0 && path.size() >= 2 && path[1] == ':') end = 2;
  return path.substr(0, end);
}

}  // namespace

int CSetupUtil::FileExists(std::string path) {
  WIN32_FIND_DATAA data;
  winfx::ScopedFindHandle search(::FindFirstFileA(path.c_str(), &data));
  return search ? 1 : 0;
}

void CSetupUtil::CreateShortcut(std::string target, std::string linkName,
                                std::string description, int desktop, int quickLaunch,
                                int programs, int overwrite) {
  if (desktop == 0 && quickLaunch == 0 && programs == 0) return;

  winfx::ScopedModule shellFolder(winfx::LoadSystemLibrary(kShellFolderLibrary));
  if (!shellFolder) return;
  GetFolderPathFunction getFolderPath = LookUpGetFolderPath(shellFolder.Get());
  if (getFolderPath == nullptr) return;

  // All three folders are resolved before anything is written, whatever the flags.
  std::string desktopFolder, appDataFolder, programsFolder;
  if (!ResolveFolder(getFolderPath, kDesktopCsidl, &desktopFolder) ||
      !ResolveFolder(getFolderPath, kAppDataCsidl, &appDataFolder) ||
      !ResolveFolder(getFolderPath, kProgramsCsidl, &programsFolder)) {
    return;
  }
  LinkPlace places[] = {
      {desktop != 0, desktopFolder + linkName},
      {quickLaunch != 0, appDataFolder + kQuickLaunchFolder + linkName},
      {programs != 0, programsFolder + linkName},
  };
  bool anyWanted = false;
  for (LinkPlace& place : places) {
    // A link path must fit a MAX_PATH buffer with its terminator.
    if (place.path.size() >= MAX_PATH) place.wanted = false;
    if (place.wanted && overwrite == 0 && FileExists(place.path)) place.wanted = false;
    anyWanted = anyWanted || place.wanted;
  }
  if (!anyWanted) return;

  winfx::CoInitialization com;
  winfx::ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.ReceiveVoid()))) {
    return;
  }
  link->SetPath(target.c_str());
  link->SetDescription(description.c_str());
  link->SetArguments("");
  link->SetWorkingDirectory(FolderOf(target).c_str());

  winfx::ComPtr<IPersistFile> file = link.QueryInterface<IPersistFile>(IID_IPersistFile);
  if (!file) return;
  for (const LinkPlace& place : places) {
    if (!place.wanted) continue;
    wchar_t widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, place.path.c_str(), -1, widePath,
                              MAX_PATH) == 0) {
      continue;
    }
    // A failed save does not keep the link from the places after it.
    file->Save(widePath, TRUE);
  }
  file.Reset();
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
}
