// The application object: exactly one exists (a global of the program), and the
// program's entry point runs its InitInstance. A dialog application does all its work
// inside InitInstance and returns false, so no message loop of the application's own runs.
#pragma once

#include <windows.h>

#include <memory>

namespace winfx {

class Dialog;
class OleInitialization;

class WinApp {
 public:
  WinApp();
  virtual ~WinApp();

  WinApp(const WinApp&) = delete;
  WinApp& operator=(const WinApp&) = delete;

  // The one application object, or null when there is none (in tests).
  static WinApp* Current();

  // Runs the program: InitInstance, then (only when it returns true) a message loop.
  // Returns the process exit code.
  int Run();

  // The main window owns modal dialogs run without an explicit owner; null while the
  // main dialog is not running.
  HWND MainWindow() const;
  void SetMainDialog(const Dialog* dialog) { mainDialog_ = dialog; }

 protected:
  // Returns false to end the program at once.
  virtual bool InitInstance() = 0;

  // Lets dialogs host ActiveX controls: initialises OLE for the thread (released when the
  // application object goes) and registers the control host window class. Returns false
  // when OLE cannot be initialised; dialogs then show empty control areas.
  bool EnableControlContainer();

 private:
  const Dialog* mainDialog_ = nullptr;
  std::unique_ptr<OleInitialization> ole_;
};

}  // namespace winfx
