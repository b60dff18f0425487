// UiDriverWatch.dll: a WH_CALLWNDPROC hook that the UI driver sets on the user-interface
// thread of a program it drives. Loaded into that program, it reports each WM_SETTEXT and
// PBM_SETPOS sent to one of the thread's windows to the driver's watch window, synchronously,
// before the window handles it, and carries out the driver's requests (a picture of a window,
// a DPI change, a pause of the moves into place) in that thread. It changes nothing in the
// watched program by itself.
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <vector>

#include "tools/uidriver/BmpFile.h"
#include "tools/uidriver/MovePause.h"
#include "tools/uidriver/WatchProtocol.h"
#include "winfx/ScopedGdi.h"
#include "winfx/ScopedHandle.h"

namespace {

// A watch window that ignores us for this long is taken as gone; the watched program
// goes on.
constexpr UINT kReportTimeoutMs = 10000;

// The driver's watch window for this process, found again whenever it is gone (the
// driver may stop and start watching).
HWND g_receiver = nullptr;

HWND Receiver() {
  if (g_receiver != nullptr && ::IsWindow(g_receiver)) return g_receiver;
  char title[32];
  uidriver::WatchWindowTitle(::GetCurrentProcessId(), title);
  g_receiver = ::FindWindowExA(HWND_MESSAGE, nullptr, uidriver::kWatchWindowClass, title);
  return g_receiver;
}

void Report(const CWPSTRUCT& call) {
  HWND receiver = Receiver();
  if (receiver == nullptr) return;
  // The hook gets the message as it was sent: a Unicode window's text as UTF-16.
  const bool unicode = ::IsWindowUnicode(call.hwnd) != FALSE;
  const bool hasText = call.message == WM_SETTEXT && call.lParam != 0;
  const void* text = hasText ? reinterpret_cast<const void*>(call.lParam) : L"";
  const size_t textSize =
      unicode || !hasText
          ? (std::wcslen(static_cast<const wchar_t*>(text)) + 1) * sizeof(wchar_t)
          : std::strlen(static_cast<const char*>(text)) + 1;
  std::vector<char> data(offsetof(uidriver::WatchRecord, text) + textSize + sizeof(wchar_t));
  auto* record = reinterpret_cast<uidriver::WatchRecord*>(data.data());
  record->window = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(call.hwnd));
  record->message = call.message;
  record->wParam = static_cast<DWORD>(call.wParam);
  record->unicode = unicode || !hasText ? 1 : 0;
  std::memcpy(record->text, text, textSize);

  COPYDATASTRUCT copy = {uidriver::kWatchDataTag, static_cast<DWORD>(data.size()), data.data()};
  DWORD_PTR answer = 0;
  ::SendMessageTimeoutA(receiver, WM_COPYDATA, reinterpret_cast<WPARAM>(call.hwnd),
                        reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kReportTimeoutMs, &answer);
}

void TakePicture(HWND window, const uidriver::WatchRequest& request) {
  // The pending paints run now, in this thread: the picture is never taken halfway through.
  ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT rect = {};
  if (request.wholeWindow) {
    ::GetWindowRect(window, &rect);
  } else {
    ::GetClientRect(window, &rect);
  }
  winfx::ScopedGetDC pixels(window, request.wholeWindow != 0);
  uidriver::SaveBmp(pixels.Get(), 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                    request.path);
}

void ChangeDpi(HWND window, const uidriver::WatchRequest& request) {
  RECT suggested = request.suggested;
  ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(request.dpi, request.dpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

// The driver's request for this thread, read from its file mapping.
bool ReadRequest(uidriver::WatchRequest* request) {
  char name[48];
  uidriver::RequestMappingName(::GetCurrentThreadId(), name);
  winfx::ScopedHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, name));
  if (!mapping) return false;
  winfx::ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(*request)));
  if (!view) return false;
  std::memcpy(request, view.Get(), sizeof(*request));
  request->path[sizeof(request->path) - 1] = '\0';
  return true;
}

void CarryOut(HWND window, WPARAM kind) {
  uidriver::WatchRequest request;
  if (!ReadRequest(&request)) return;
  if (kind == uidriver::kPictureRequest) TakePicture(window, request);
  if (kind == uidriver::kDpiChangeRequest) ChangeDpi(window, request);
  if (kind == uidriver::kPauseMovesRequest) uidriver::PauseStagedMovesAt(static_cast<int>(request.nthMove));
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK WatchCallWndProc(int code, WPARAM wParam,
                                                                   LPARAM lParam) {
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call->message == WM_SETTEXT || call->message == PBM_SETPOS) Report(*call);
    static const UINT requestMessage = ::RegisterWindowMessageA(uidriver::kRequestMessage);
    if (call->message == requestMessage) CarryOut(call->hwnd, call->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
