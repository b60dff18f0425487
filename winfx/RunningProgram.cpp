#include "winfx/RunningProgram.h"

#include <tlhelp32.h>

#include "winfx/Wait.h"

namespace winfx {

namespace {

struct CloseRequest {
  const std::vector<DWORD>* ids;
  int posted;
};

BOOL CALLBACK CloseIfOwned(HWND hwnd, LPARAM param) {
  CloseRequest* request = reinterpret_cast<CloseRequest*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  for (DWORD id : *request->ids) {
    // Posted: a program busy elsewhere must not hold up the caller.
    if (id == owner && ::PostMessageA(hwnd, WM_CLOSE, 0, 0)) ++request->posted;
  }
  return TRUE;
}

}  // namespace

RunningProgram::RunningProgram(const WideString& exePath) {
  // Both sides as full paths: a path typed with "/" or ".." still names the same file.
  wchar_t full[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameW(exePath.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return;
  ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
       more = ::Process32Next(snapshot.Get(), &entry)) {
    ScopedHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                       entry.th32ProcessID));
    if (!process) continue;
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.Get(), 0, image, &size)) continue;
    if (::CompareStringOrdinal(image, -1, full, -1, TRUE) != CSTR_EQUAL) continue;
    m_ids.push_back(entry.th32ProcessID);
    m_processes.push_back(std::move(process));
  }
}

bool RunningProgram::IsRunning() const { return !WaitForEnd(0); }

int RunningProgram::AskToClose() const {
  CloseRequest request = {&m_ids, 0};
  ::EnumWindows(&CloseIfOwned, reinterpret_cast<LPARAM>(&request));
  return request.posted;
}

bool RunningProgram::WaitForEnd(DWORD timeoutMs) const {
  const DWORD start = ::GetTickCount();
  for (const ScopedHandle& process : m_processes) {
    const DWORD spent = ::GetTickCount() - start;
    const DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
    // Sent messages are handled meanwhile: a program that sends to the caller's windows
    // while it closes must not wait for the caller.
    if (!WaitHandlingSentMessages(process.Get(), left)) return false;
  }
  return true;
}

}  // namespace winfx
