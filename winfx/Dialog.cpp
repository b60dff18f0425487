#include "winfx/Dialog.h"

#include <memory>

#include "winfx/AxHostWindow.h"
#include "winfx/WinApp.h"

namespace winfx {

Dialog::Dialog(UINT templateId) : templateId_(templateId) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal(HWND owner) {
  if (owner == nullptr && WinApp::Current() != nullptr) owner = WinApp::Current()->MainWindow();
  ended_ = false;
  result_ = -1;
  HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_),
                                   owner, &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr) return -1;
  // EnableWindow answers whether the window was disabled before.
  const bool reenableOwner = owner != nullptr && !::EnableWindow(owner, FALSE);
  if (!ended_) ::ShowWindow(hwnd, SW_SHOW);

  MSG msg;
  while (!ended_) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to the loop outside this one.
      if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (PreTranslateMessage(&msg) || ::IsDialogMessageW(hwnd, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  // The owner is enabled first, so that it is activated when the dialog goes.
  if (reenableOwner) ::EnableWindow(owner, TRUE);
  ::DestroyWindow(hwnd);
  hwnd_ = nullptr;
  return ended_ ? result_ : -1;
}

void Dialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  // Wakes the modal loop, which may be waiting for a message.
  ::PostMessageW(hwnd_, WM_NULL, 0, 0);
}

bool Dialog::PreTranslateMessage(MSG* msg) {
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  if (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE) return false;
  for (HWND w = msg->hwnd; w != nullptr && w != hwnd_; w = ::GetParent(w)) {
    if (AxHostWindow* host = AxHostWindow::FromHwnd(w)) return host->TranslateAccelerator(msg);
  }
  return false;
}

std::string Dialog::GetItemText(int id) const { return ToShownAnsi(GetItemTextWide(id)); }

WideString Dialog::GetItemTextWide(int id) const {
  HWND item = GetItem(id);
  const int length = ::GetWindowTextLengthW(item);
  if (length <= 0) return WideString();
  std::unique_ptr<wchar_t[]> text(new wchar_t[length + 1]);
  return WideString(text.get(), static_cast<size_t>(::GetWindowTextW(item, text.get(), length + 1)));
}

void Dialog::SetItemText(int id, const std::string& text) { SetItemText(id, ToWide(text)); }

void Dialog::SetItemText(int id, const WideString& text) {
  ::SetDlgItemTextW(hwnd_, id, text.c_str());
}

void Dialog::EnableItem(int id, bool enable) { ::EnableWindow(GetItem(id), enable ? TRUE : FALSE); }

void Dialog::FocusItem(int id) {
  HWND item = GetItem(id);
  if (item != nullptr) ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void Dialog::MoveFocusBeforeDisabling(std::initializer_list<int> ids, int keep) {
  auto goes = [&](HWND window) {
    for (int id : ids) {
      HWND item = GetItem(id);
      if (item != nullptr && (window == item || ::IsChild(item, window))) return true;
    }
    return false;
  };
  HWND focus = ::GetFocus();
  if (focus != nullptr && !goes(focus)) return;
  HWND next = GetItem(keep);
  // Else the enabled tab stops in their order from the focus on, once round at most.
  HWND first = nullptr;
  while (next == nullptr || goes(next) || !::IsWindowEnabled(next)) {
    next = ::GetNextDlgTabItem(hwnd_, next != nullptr ? next : focus, FALSE);
    if (next == nullptr || next == first) return;
    if (first == nullptr) first = next;
  }
  ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
}

void Dialog::SetTimer(UINT_PTR id, UINT milliseconds) { ::SetTimer(hwnd_, id, milliseconds, nullptr); }

void Dialog::KillTimer(UINT_PTR id) { ::KillTimer(hwnd_, id); }

void Dialog::CenterWindow() {
  RECT self;
  ::GetWindowRect(hwnd_, &self);
  RECT area;
  HWND owner = ::GetWindow(hwnd_, GW_OWNER);
  RECT ownerRect;
  // An owner shrunk to nothing (the hub) still gives a centre point.
  if (owner != nullptr && ::IsWindowVisible(owner) && ::GetWindowRect(owner, &ownerRect)) {
    area = ownerRect;
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  int width = self.right - self.left;
  int height = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR Dialog::Result(LRESULT value) {
  ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, value);
  return TRUE;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 0) {
        switch (LOWORD(wParam)) {
          case IDOK:
            OnOK();
            return TRUE;
          case IDCANCEL:
            OnCancel();
            return TRUE;
        }
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  INT_PTR handled = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
  }
  return handled;
}

}  // namespace winfx
