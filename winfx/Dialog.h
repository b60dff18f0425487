// Modal dialog base over a dialog template resource. A derived dialog handles its
// messages in one place, an override of HandleMessage (a switch that calls one named
// handler per message and passes the rest to this class).
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "winfx/WidePath.h"

namespace winfx {

class Dialog {
 public:
  explicit Dialog(UINT templateId);
  virtual ~Dialog();

  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Creates the dialog from its template and runs it modally: the owner (by default the
  // application's main window) is disabled meanwhile, and every message of the thread
  // passes PreTranslateMessage and the dialog's keyboard handling before it is
  // dispatched. Returns the value given to EndDialog, or -1 when the dialog cannot be
  // created or the thread is told to quit.
  INT_PTR DoModal(HWND owner = nullptr);

  // Ends the modal run with result; the window is destroyed when the run returns.
  void EndDialog(INT_PTR result);

  HWND GetHwnd() const { return hwnd_; }
  HWND GetItem(int id) const { return ::GetDlgItem(hwnd_, id); }
  // Control texts cross as UTF-16; the narrow forms are code page 949 (WidePath.h), and
  // GetItemText shows a character without a form there as "?".
  std::string GetItemText(int id) const;
  WideString GetItemTextWide(int id) const;
  void SetItemText(int id, const std::string& text);
  void SetItemText(int id, const WideString& text);
  void EnableItem(int id, bool enable);

  // Gives the keyboard focus to control id, as Tab would (WM_NEXTDLGCTL: the default button
  // follows it).
  void FocusItem(int id);
  // Called before the controls ids are disabled: when one of them (or nothing) holds the
  // focus, it moves to keep when that control is enabled and not among ids, else to the
  // next enabled tab stop that is not among them. A disabled control never keeps the focus,
  // which would leave the keys of the thread nowhere.
  void MoveFocusBeforeDisabling(std::initializer_list<int> ids, int keep);

  // Timers of this window; each delivers WM_TIMER with its id.
  void SetTimer(UINT_PTR id, UINT milliseconds);
  void KillTimer(UINT_PTR id);

  // Centres the dialog on its owner, or on the work area when it has none.
  void CenterWindow();

 protected:
  // The message dispatch of the dialog. Returns TRUE when the message was handled
  // (use Result() to hand back a value), FALSE for the default dialog handling.
  // The base handles WM_INITDIALOG (OnInitDialog) and the IDOK/IDCANCEL commands.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Returns TRUE to let the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // IDOK (Enter, default button): ends the run with IDOK.
  virtual void OnOK() { EndDialog(IDOK); }
  // IDCANCEL (Esc, Cancel button): ends the run with IDCANCEL.
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Called for each message of the modal run before the dialog's keyboard handling;
  // true when it was handled (it is then not dispatched). The base gives keys aimed at
  // a hosted ActiveX control (AxHostWindow) to that control first, except Enter and Esc,
  // which act on the dialog.
  virtual bool PreTranslateMessage(MSG* msg);

  // Hands back value as the message's result and marks it handled.
  INT_PTR Result(LRESULT value);

  UINT TemplateId() const { return templateId_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND hwnd_ = nullptr;
  bool ended_ = false;
  INT_PTR result_ = -1;
};

}  // namespace winfx
