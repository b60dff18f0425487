// A stand-in for the vendor's widget program, for the demo and the tests: it shows a small
// window and leaves a trace beside itself (widget_started.txt: its process id, its folder
// and its current folder), so a test can tell that the installer started it, from where and
// in which folder.
#include <windows.h>

#include <cstdio>
#include <string>

#include "winfx/ScopedGdi.h"
#include "winfx/ScopedHandle.h"

namespace {

constexpr char kWindowClass[] = "QuillonWidgetStandIn";
constexpr char kWindowTitle[] = "Quillon 위젯";
constexpr char kTraceFile[] = "widget_started.txt";

std::string OwnFolder() {
  char path[MAX_PATH + 1] = {};
  DWORD len = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, len);
  return folder.substr(0, folder.find_last_of('\\'));
}

void LeaveTrace(const std::string& folder) {
  std::string path = folder + "\\" + kTraceFile;
  winfx::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  char current[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof(current), current);
  char line[2 * MAX_PATH + 64];
  int len = std::snprintf(line, sizeof(line), "pid=%lu\r\nfolder=%s\r\ncurrent=%s\r\n",
                          ::GetCurrentProcessId(), folder.c_str(), current);
  DWORD written = 0;
  ::WriteFile(file.Get(), line, static_cast<DWORD>(len), &written, nullptr);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      winfx::ScopedPaint paint(hwnd);
      RECT client;
      ::GetClientRect(hwnd, &client);
      winfx::ScopedBkMode transparent(paint.Get(), TRANSPARENT);
      ::DrawTextA(paint.Get(), "Quillon 위젯이 실행 중입니다.", -1, &client,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  LeaveTrace(OwnFolder());

  WNDCLASSA wc = {};
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassA(&wc);
  HWND hwnd = ::CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kWindowClass, kWindowTitle,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40, 40, 320, 90, nullptr,
                                nullptr, instance, nullptr);
  ::ShowWindow(hwnd, show);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return 0;
}
