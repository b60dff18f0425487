// Child window base with its own message dispatch. A derived window handles its messages
// in one place, an override of HandleMessage (a switch that calls one named handler per
// message and passes the rest to DefaultHandling).
#pragma once

#include <windows.h>

namespace winfx {

class ChildWindow {
 public:
  // The default window class of this layer, registered on first use.
  static constexpr char kClassName[] = "WinFxWindow";

  ChildWindow();
  // Destroys the window if it still exists (without the derived handlers, which are gone
  // by then: a derived class that handles WM_DESTROY destroys its window itself).
  virtual ~ChildWindow();

  ChildWindow(const ChildWindow&) = delete;
  ChildWindow& operator=(const ChildWindow&) = delete;

  // Creates the window, without a title, as child `id` of parent with the given style and
  // rectangle (parent coordinates); with no parent, style WS_POPUP and id 0 it is a
  // top-level window. Returns false when no window was created.
  bool Create(HWND parent, UINT id, DWORD style, const RECT& rect);

  // Destroys the window if it exists; GetHwnd() is null afterwards.
  void Destroy();

  // The window, or null before Create and after destruction.
  HWND GetHwnd() const { return hwnd_; }

 protected:
  // The message dispatch of the window; the base passes everything to DefaultHandling.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // The system's default handling of a message (DefWindowProc).
  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
};

}  // namespace winfx
