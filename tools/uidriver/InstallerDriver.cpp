#include "tools/uidriver/InstallerDriver.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace uidriver {

namespace {

std::string BaseNameWithoutExtension(const std::string& path) {
  char name[_MAX_FNAME] = {};
  _splitpath(path.c_str(), nullptr, nullptr, name, nullptr);
  return name;
}

INPUT KeyInput(UINT vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(vk);
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace

InstallerDriver::InstallerDriver(const std::string& exe)
    : exe_(exe), appCaption_(BaseNameWithoutExtension(exe)) {}

InstallerDriver::~InstallerDriver() {
  StopRecording();
  Kill();
}

bool InstallerDriver::Start(DWORD timeoutMs, const std::string& folder) {
  process_ = std::make_unique<Process>(exe_, "", folder);
  if (!process_->Started()) return false;
  screen_ = WaitForDialog(kScreenCaption, process_->Id(), timeoutMs);
  return screen_ != nullptr;
}

std::string InstallerDriver::Status() const { return StoredText(::GetDlgItem(screen_, kStatusLine)); }

HWND InstallerDriver::FocusedWindow() const {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(screen_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool InstallerDriver::PressKey(UINT vk, HWND window) {
  HWND top = window != nullptr ? ::GetAncestor(window, GA_ROOT) : ::GetLastActivePopup(screen_);
  // A box on its way out (hidden, not yet destroyed) takes no keys: the screen does.
  if (window == nullptr && top != nullptr && !::IsWindowVisible(top)) top = screen_;
  if (top == nullptr) return false;
  if (::GetForegroundWindow() != top) {
    ::SetForegroundWindow(top);
    if (!WaitUntil([&] { return ::GetForegroundWindow() == top; }, 10000)) return false;
  }
  INPUT keys[] = {KeyInput(vk, false), KeyInput(vk, true)};
  return ::SendInput(2, keys, sizeof(INPUT)) == 2;
}

HWND InstallerDriver::WaitForBox(const std::string& caption, DWORD timeoutMs) const {
  return WaitForDialog(caption, process_ ? process_->Id() : 0, timeoutMs);
}

std::string InstallerDriver::AnswerBox(HWND box, int button) {
  std::string text = MessageBoxText(box);
  answered_.push_back(WindowText(box) + ": " + text);
  HWND control = ::GetDlgItem(box, button);
  if (control != nullptr) {
    ::PostMessageA(control, BM_CLICK, 0, 0);
  } else {
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  }
  // Until the box is destroyed, not merely hidden: between the two it is still the
  // screen's last active popup, and a key pressed next would be sent to it.
  WaitUntil([&] { return !::IsWindow(box); }, 10000);
  return text;
}

bool InstallerDriver::StartRecording() {
  if (screen_ == nullptr) return false;
  // Kept, so the record can be read after the screen is gone.
  statusLine_ = ::GetDlgItem(screen_, kStatusLine);
  progressBar_ = ::GetDlgItem(screen_, kProgressBar);
  return watch_.Start(process_->Id(), ::GetWindowThreadProcessId(screen_, nullptr));
}

void InstallerDriver::StopRecording() { watch_.Stop(); }

std::vector<std::string> InstallerDriver::StatusHistory() const {
  std::vector<std::string> history;
  for (const ControlWatch::Change& change : watch_.Changes()) {
    if (change.window == statusLine_ && change.message == WM_SETTEXT) history.push_back(change.text);
  }
  return history;
}

std::vector<int> InstallerDriver::ProgressHistory() const {
  std::vector<int> history;
  for (const ControlWatch::Change& change : watch_.Changes()) {
    if (change.window == progressBar_ && change.message == PBM_SETPOS) history.push_back(change.value);
  }
  return history;
}

bool InstallerDriver::WaitForStatus(const std::string& text, DWORD timeoutMs) const {
  return watch_.WaitFor(
      [&](const ControlWatch::Change& change) {
        return change.window == statusLine_ && change.message == WM_SETTEXT && change.text == text;
      },
      timeoutMs);
}

bool InstallerDriver::WaitForProgress(int percent, DWORD timeoutMs) const {
  return watch_.WaitFor(
      [&](const ControlWatch::Change& change) {
        return change.window == progressBar_ && change.message == PBM_SETPOS &&
               change.value >= percent;
      },
      timeoutMs);
}

bool InstallerDriver::SendHookRequest(HWND window, WPARAM kind, const WatchRequest& request) {
  if (!watch_.Running() && !StartRecording()) return false;
  char name[48];
  RequestMappingName(::GetWindowThreadProcessId(window, nullptr), name);
  winfx::ScopedHandle mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                   sizeof(request), name));
  if (!mapping) return false;
  {
    winfx::ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(request)));
    if (!view) return false;
    std::memcpy(view.Get(), &request, sizeof(request));
  }
  static const UINT requestMessage = ::RegisterWindowMessageA(kRequestMessage);
  DWORD_PTR answer = 0;
  return ::SendMessageTimeoutA(window, requestMessage, kind, 0, SMTO_NORMAL, 60000, &answer) != 0;
}

bool InstallerDriver::SavePicture(const std::string& bmpPath, bool wholeWindow, HWND window) {
  WatchRequest request = {};
  if (bmpPath.size() >= sizeof(request.path)) return false;
  request.wholeWindow = wholeWindow ? 1 : 0;
  std::memcpy(request.path, bmpPath.c_str(), bmpPath.size() + 1);
  ::DeleteFileA(bmpPath.c_str());
  return SendHookRequest(window != nullptr ? window : screen_, kPictureRequest, request) &&
         ::GetFileAttributesA(bmpPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool InstallerDriver::SendDpiChanged(UINT dpi, const RECT& suggested, HWND window) {
  WatchRequest request = {};
  request.dpi = dpi;
  request.suggested = suggested;
  return SendHookRequest(window != nullptr ? window : screen_, kDpiChangeRequest, request);
}

bool InstallerDriver::PauseMovesAt(int nth) {
  WatchRequest request = {};
  request.nthMove = static_cast<DWORD>(nth);
  return SendHookRequest(screen_, kPauseMovesRequest, request);
}

void InstallerDriver::Kill() {
  if (process_) process_->Kill();
}

}  // namespace uidriver
