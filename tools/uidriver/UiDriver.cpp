#include "tools/uidriver/UiDriver.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <vector>

#include "tools/uidriver/BmpFile.h"
#include "winfx/Format.h"
#include "winfx/ScopedCom.h"
#include "winfx/ScopedGdi.h"
#include "winfx/WidePath.h"

namespace uidriver {

Process::Process(const std::string& exe, const std::string& arguments, const std::string& folder) {
  const winfx::WideString commandLine =
      winfx::ToWide("\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments));
  std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back(L'\0');
  const winfx::WideString wideFolder = winfx::ToWide(folder);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (::CreateProcessW(winfx::ToWide(exe).c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0,
                       nullptr, folder.empty() ? nullptr : wideFolder.c_str(), &startup, &info)) {
    process_.Reset(info.hProcess);
    thread_.Reset(info.hThread);
    id_ = info.dwProcessId;
  }
}

bool Process::IsRunning() const { return Started() && !WaitForExit(0); }

bool Process::WaitForExit(DWORD timeoutMs) const {
  return Started() && ::WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (Started()) ::GetExitCodeProcess(process_.Get(), &code);
  return code;
}

void Process::Kill() {
  if (IsRunning()) {
    ::TerminateProcess(process_.Get(), 99);
    WaitForExit(5000);
  }
}

void EndProcessesNamed(const std::string& exeName) {
  winfx::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
       more = ::Process32Next(snapshot.Get(), &entry)) {
    if (lstrcmpiA(entry.szExeFile, exeName.c_str()) != 0) continue;
    winfx::ScopedHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process && ::TerminateProcess(process.Get(), 1)) {
      ::WaitForSingleObject(process.Get(), 5000);
    }
  }
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = ::GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (::GetTickCount() - start >= timeoutMs) return condition();
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  }
}

namespace {

struct FindRequest {
  const std::string* caption;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
  FindRequest* request = reinterpret_cast<FindRequest*>(param);
  wchar_t className[16] = {};
  ::GetClassNameW(hwnd, className, 16);
  if (lstrcmpW(className, L"#32770") != 0) return TRUE;
  if (request->processId != 0) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner != request->processId) return TRUE;
  }
  if (WindowText(hwnd) != *request->caption) return TRUE;
  request->found = hwnd;
  return FALSE;
}

BOOL CALLBACK DescribeWindow(HWND hwnd, LPARAM param) {
  wchar_t className[64] = {};
  ::GetClassNameW(hwnd, className, 64);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  *reinterpret_cast<std::string*>(param) +=
      winfx::Format("%lu %s \"%s\" %s\n", owner, winfx::ToShownAnsi(className).c_str(),
                    StoredText(hwnd).c_str(), ::IsWindowVisible(hwnd) ? "visible" : "hidden");
  return TRUE;
}

}  // namespace

std::string DescribeTopWindows() {
  std::string lines;
  ::EnumWindows(&DescribeWindow, reinterpret_cast<LPARAM>(&lines));
  return lines;
}

HWND FindDialog(const std::string& caption, DWORD processId) {
  FindRequest request = {&caption, processId, nullptr};
  ::EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

HWND WaitForDialog(const std::string& caption, DWORD processId, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindDialog(caption, processId);
        return found != nullptr && ::IsWindowVisible(found);
      },
      timeoutMs);
  return found != nullptr && ::IsWindowVisible(found) ? found : nullptr;
}

std::string WindowText(HWND hwnd) { return winfx::ToShownAnsi(WideWindowText(hwnd)); }

std::string StoredText(HWND hwnd) {
  wchar_t text[1024] = {};
  ::GetWindowTextW(hwnd, text, 1024);
  return winfx::ToShownAnsi(text);
}

winfx::WideString WideWindowText(HWND hwnd) {
  wchar_t text[4096] = {};
  ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, nullptr);
  return text;
}

std::string ItemText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string& text) {
  const winfx::WideString wide = winfx::ToWide(text);
  ::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, 2000, nullptr);
}

bool IsItemEnabled(HWND dialog, int id) { return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE; }

void ClickItem(HWND dialog, int id) { ::PostMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::string MessageBoxText(HWND box) { return ItemText(box, 0xFFFF); }

int ProgressPosition(HWND dialog, int id) {
  DWORD_PTR position = 0;
  ::SendMessageTimeoutA(::GetDlgItem(dialog, id), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
  return static_cast<int>(position);
}

SIZE WindowSize(HWND hwnd) {
  RECT rect = {};
  ::GetWindowRect(hwnd, &rect);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}


std::string ShellLinkTarget(const std::string& linkPath) {
  winfx::CoInitialization com;
  winfx::ComPtr<IShellLinkW> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid()))) {
    return std::string();
  }
  winfx::ComPtr<IPersistFile> file = link.QueryInterface<IPersistFile>(IID_IPersistFile);
  if (!file || FAILED(file->Load(winfx::ToWide(linkPath).c_str(), STGM_READ))) return std::string();
  // The target's item list names it as the shell does (Wine's GetPath answers the link's
  // ANSI copy of the path, in the system's code page).
  wchar_t target[MAX_PATH] = {};
  LPITEMIDLIST list = nullptr;
  const bool listed = SUCCEEDED(link->GetIDList(&list));
  winfx::ScopedCoMem<ITEMIDLIST> item(list);
  if (!listed || !item || !::SHGetPathFromIDListW(item.Get(), target)) {
    link->GetPath(target, MAX_PATH, nullptr, 0);
  }
  return winfx::ToShownAnsi(target);
}

std::string DesktopFolder() {
  wchar_t desktop[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop);
  return winfx::ToShownAnsi(desktop);
}

bool SaveScreenshot(HWND hwnd, const std::string& bmpPath) {
  // Have the window and its controls paint now, and give the screen a moment to show it.
  ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  ::SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
  ::Sleep(300);
  RECT rect = {};
  if (!::GetWindowRect(hwnd, &rect)) return false;
  winfx::ScopedGetDC screen(nullptr);
  return SaveBmp(screen.Get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 bmpPath);
}

}  // namespace uidriver
