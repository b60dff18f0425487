#include "tools/uidriver/InstallerDriver.h"

#include <commctrl.h>

#include <cstdlib>
#include <memory>

namespace uidriver {

namespace {

std::string BaseNameWithoutExtension(const std::string& path) {
  char name[_MAX_FNAME] = {};
  _splitpath(path.c_str(), nullptr, nullptr, name, nullptr);
  return name;
}

// The text of a window of another process without sending it a message: it does not
// wait while that process's user-interface thread is busy (extracting, say).
std::string StoredText(HWND hwnd) {
  char text[1024] = {};
  ::GetWindowTextA(hwnd, text, sizeof(text));
  return text;
}

}  // namespace

InstallerDriver::InstallerDriver(const std::string& exe)
    : exe_(exe), appCaption_(BaseNameWithoutExtension(exe)) {}

InstallerDriver::~InstallerDriver() {
  StopRecording();
  Kill();
}

bool InstallerDriver::Start(DWORD timeoutMs) {
  process_ = std::make_unique<Process>(exe_, "");
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

void InstallerDriver::PressKey(UINT vk, HWND target) {
  if (target == nullptr) target = ::GetDlgItem(screen_, kFolderEdit);
  const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  ::PostMessageA(target, WM_KEYDOWN, vk, scan | 0x00000001);
  ::PostMessageA(target, WM_KEYUP, vk, scan | 0xC0000001);
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
  WaitUntil([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, 10000);
  return text;
}

void InstallerDriver::StartRecording() {
  StopRecording();
  {
    std::lock_guard<std::mutex> lock(recordMutex_);
    statusHistory_.clear();
    progressHistory_.clear();
  }
  recording_ = true;
  recorder_ = std::thread(&InstallerDriver::RecordLoop, this);
}

void InstallerDriver::StopRecording() {
  recording_ = false;
  if (recorder_.joinable()) recorder_.join();
}

void InstallerDriver::RecordLoop() {
  HWND status = ::GetDlgItem(screen_, kStatusLine);
  HWND progress = ::GetDlgItem(screen_, kProgressBar);
  while (recording_ && ::IsWindow(status)) {
    std::string text = StoredText(status);
    DWORD_PTR position = 0;
    bool answered = ::SendMessageTimeoutA(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 20,
                                          &position) != 0;
    {
      std::lock_guard<std::mutex> lock(recordMutex_);
      if (statusHistory_.empty() || statusHistory_.back() != text) statusHistory_.push_back(text);
      int value = static_cast<int>(position);
      if (answered && (progressHistory_.empty() || progressHistory_.back() != value)) {
        progressHistory_.push_back(value);
      }
    }
    ::Sleep(1);
  }
}

std::vector<std::string> InstallerDriver::StatusHistory() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return statusHistory_;
}

std::vector<int> InstallerDriver::ProgressHistory() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return progressHistory_;
}

void InstallerDriver::Kill() {
  if (process_) process_->Kill();
}

}  // namespace uidriver
