#include "tools/uidriver/UiDriver.h"

#include <commctrl.h>

#include <vector>

namespace uidriver {

Process::Process(const std::string& exe, const std::string& arguments, const std::string& folder) {
  std::string commandLine = "\"" + exe + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (::CreateProcessA(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
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
  char className[16] = {};
  ::GetClassNameA(hwnd, className, sizeof(className));
  if (lstrcmpA(className, "#32770") != 0) return TRUE;
  if (request->processId != 0) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner != request->processId) return TRUE;
  }
  if (WindowText(hwnd) != *request->caption) return TRUE;
  request->found = hwnd;
  return FALSE;
}

}  // namespace

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

std::string WindowText(HWND hwnd) {
  char text[4096] = {};
  LRESULT len = ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                                      SMTO_ABORTIFHUNG, 2000, nullptr);
  (void)len;
  return text;
}

std::string ItemText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string& text) {
  ::SendMessageTimeoutA(::GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 2000, nullptr);
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

}  // namespace uidriver
