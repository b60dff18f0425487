#include "tools/uidriver/ControlWatch.h"

#include <algorithm>
#include <chrono>
#include <cstddef>

#include "tools/uidriver/WatchProtocol.h"
#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"
#include "winfx/WindowClass.h"

namespace uidriver {

double ControlWatch::Now() {
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

ControlWatch::~ControlWatch() { Stop(); }

std::string ControlWatch::HookDllPath() {
  // The build tree's DLL; under Wine its Unix path is reached through drive Z:.
  std::string path = UIDRIVER_WATCH_DLL;
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
  }
  return path;
}

bool ControlWatch::Start(DWORD processId, DWORD threadId) {
  Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.clear();
    started_ = false;
    hooked_ = false;
  }
  thread_ = std::thread(&ControlWatch::Run, this, processId, threadId);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return started_; });
  return hooked_;
}

void ControlWatch::Stop() {
  if (!thread_.joinable()) return;
  DWORD id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = watchThreadId_;
  }
  if (id != 0) ::PostThreadMessageA(id, WM_QUIT, 0, 0);
  thread_.join();
}

bool ControlWatch::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return watchThreadId_ != 0;
}

void ControlWatch::Run(DWORD processId, DWORD threadId) {
  winfx::RegisterWindowClass(kWatchWindowClass, &ControlWatch::WindowProc);
  char title[32];
  WatchWindowTitle(processId, title);
  winfx::ScopedWindow window(::CreateWindowExW(0, winfx::ToWide(kWatchWindowClass).c_str(),
                                               winfx::ToWide(title).c_str(), 0, 0, 0, 0, 0,
                                               HWND_MESSAGE, nullptr, nullptr, this));
  winfx::ScopedModule dll(::LoadLibraryA(HookDllPath().c_str()));
  // Through void*: a FARPROC and a HOOKPROC have different signatures.
  auto proc = dll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                        ::GetProcAddress(dll.Get(), kWatchHookProc)))
                  : nullptr;
  winfx::ScopedHook hook(window && proc != nullptr
                             ? ::SetWindowsHookExA(WH_CALLWNDPROC, proc, dll.Get(), threadId)
                             : nullptr);
  // The thread's message queue exists once the window does; Stop may post to it from now.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = true;
    hooked_ = hook.IsValid();
    watchThreadId_ = hook ? ::GetCurrentThreadId() : 0;
  }
  changed_.notify_all();
  if (!hook) return;

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  // The hook goes first, so the watched program reports no more before the window goes.
  hook.Reset();
  window.Reset();
  std::lock_guard<std::mutex> lock(mutex_);
  watchThreadId_ = 0;
}

LRESULT CALLBACK ControlWatch::WindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return ::DefWindowProcW(window, message, wParam, lParam);  // sets the title
    }
    case WM_COPYDATA: {
      auto* self = reinterpret_cast<ControlWatch*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
      if (self != nullptr) self->Record(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return TRUE;
    }
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

void ControlWatch::Record(const COPYDATASTRUCT& copy) {
  if (copy.dwData != kWatchDataTag || copy.cbData < offsetof(WatchRecord, text) + 1) return;
  const auto* record = static_cast<const WatchRecord*>(copy.lpData);
  const size_t textSize = copy.cbData - offsetof(WatchRecord, text);
  Change change;
  change.window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(record->window));
  change.message = record->message;
  change.value = static_cast<int>(record->wParam);
  if (record->unicode) {
    const auto* wide = reinterpret_cast<const wchar_t*>(record->text);
    change.text = winfx::ToShownAnsi(winfx::WideString(wide, wcsnlen(wide, textSize / sizeof(wchar_t))));
  } else {
    change.text.assign(record->text, strnlen(record->text, textSize));
  }
  change.seconds = Now();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changes_.push_back(std::move(change));
  }
  changed_.notify_all();
}

std::vector<ControlWatch::Change> ControlWatch::Changes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return changes_;
}

bool ControlWatch::WaitFor(const std::function<bool(const Change&)>& match, DWORD timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  size_t seen = 0;
  auto found = [&] {
    for (; seen < changes_.size(); ++seen) {
      if (match(changes_[seen])) return true;
    }
    return false;
  };
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), found);
}

}  // namespace uidriver
