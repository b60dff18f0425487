// Drives a running QuillonSetup.exe through its real windows: the install screen's
// controls, its message boxes, and a record of what its status line and progress bar
// showed. Used by the end-to-end tests and by the demo's driver program.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/uidriver/ControlWatch.h"
#include "tools/uidriver/UiDriver.h"
#include "tools/uidriver/WatchProtocol.h"

namespace uidriver {

// The installer's windows as an operator sees them.
constexpr char kHubCaption[] = "LumoPOS 설치";
constexpr char kScreenCaption[] = "프로그램 설치 [단계1] (1.0.0.0)";
constexpr char kQuitCaption[] = "확인";
constexpr int kInstallButton = IDOK;
constexpr int kQuitButton = IDCANCEL;
constexpr int kProgressBar = 1001;
constexpr int kFolderEdit = 1002;
constexpr int kStatusLine = 1005;
constexpr int kBrowseButton = 1006;
constexpr int kBrowserControl = 1007;

// How long a screen or box may take to appear before it counts as never coming. It takes a
// second or two; the bound is far above that because a loaded machine's disk can hold up
// all file work for tens of seconds (38 s seen), and a wait shorter than such a stall
// fails a test whose installer is merely held up. A run that passes waits no longer.
constexpr DWORD kAppearBoundMs = 120000;

class InstallerDriver {
 public:
  // exe: the installer; its message boxes carry the exe's base name as caption.
  explicit InstallerDriver(const std::string& exe);
  ~InstallerDriver();
  InstallerDriver(const InstallerDriver&) = delete;
  InstallerDriver& operator=(const InstallerDriver&) = delete;

  // Starts the installer and waits for its install screen; false when it does not appear.
  // folder: its current folder (empty: this program's).
  bool Start(DWORD timeoutMs = kAppearBoundMs, const std::string& folder = "");
  HWND Screen() const { return screen_; }
  const Process& Program() const { return *process_; }
  // The application message-box caption: the exe's file name without extension.
  const std::string& AppCaption() const { return appCaption_; }

  std::string FolderText() const { return ItemText(screen_, kFolderEdit); }
  void TypeFolder(const std::string& text) { SetItemText(screen_, kFolderEdit, text); }
  std::string Status() const;
  int Progress() const { return ProgressPosition(screen_, kProgressBar); }
  bool InstallEnabled() const { return IsItemEnabled(screen_, kInstallButton); }
  bool QuitEnabled() const { return IsItemEnabled(screen_, kQuitButton); }
  bool FolderEditEnabled() const { return IsItemEnabled(screen_, kFolderEdit); }
  bool BrowseEnabled() const { return IsItemEnabled(screen_, kBrowseButton); }

  // The window with the keyboard focus in the installer's user-interface thread, or null.
  HWND FocusedWindow() const;

  void ClickInstall() { ClickItem(screen_, kInstallButton); }
  void ClickQuit() { ClickItem(screen_, kQuitButton); }
  void ClickBrowse() { ClickItem(screen_, kBrowseButton); }
  // The Esc key pressed on the screen (or on the box it shows).
  bool PressEscape() { return PressKey(VK_ESCAPE); }
  // The Enter key pressed on the screen (or on the box it shows).
  bool PressEnter() { return PressKey(VK_RETURN); }
  // Presses key vk (down and up, SendInput) as a person would: into the foreground window,
  // which is first made the installer's window of window (by default the screen, or the
  // box it shows). The key goes wherever the installer's focus is. False when the window
  // did not come to the foreground or the input was refused.
  bool PressKey(UINT vk, HWND window = nullptr);

  // A visible message box (or other dialog) of the installer with this caption; null
  // after timeoutMs.
  HWND WaitForBox(const std::string& caption, DWORD timeoutMs = kAppearBoundMs) const;
  // Records the box's text, presses button (IDOK, IDCANCEL) and returns the text.
  std::string AnswerBox(HWND box, int button);
  // Every box text answered so far, in order, as "caption: text".
  const std::vector<std::string>& AnsweredBoxes() const { return answered_; }

  // Starts a new record of the status line and the progress bar: every text the status
  // line is given and every position the bar is set to, in order, as it happens (a hook on
  // the installer's user-interface thread, see ControlWatch). False when the hook cannot
  // be set.
  bool StartRecording();
  // Ends the recording; what was recorded stays readable.
  void StopRecording();
  std::vector<std::string> StatusHistory() const;
  std::vector<int> ProgressHistory() const;
  // Every recorded change of either control, in order, with its time.
  std::vector<ControlWatch::Change> Changes() const { return watch_.Changes(); }
  // Waits until the status line has been given text since recording started; false after
  // timeoutMs.
  bool WaitForStatus(const std::string& text, DWORD timeoutMs = 60000) const;
  // Waits until the progress bar has been set to percent or more since recording started;
  // false after timeoutMs.
  bool WaitForProgress(int percent, DWORD timeoutMs = 60000) const;

  // Saves a picture of window (by default the screen; or a box of the installer) as a 24-bit
  // BMP, once every paint pending for it and its controls has ended: the watch hook runs the
  // pending paints and copies the window's own pixels in the installer's user-interface
  // thread, so no picture shows half a paint. The client area only, or the whole window with
  // its frame and caption. Starts recording when it is not on. False when nothing was written.
  bool SavePicture(const std::string& bmpPath, bool wholeWindow, HWND window = nullptr);
  // Hands the screen WM_DPICHANGED with dpi and the suggested window rectangle, inside the
  // installer's process, as Windows does when the screen moves to a monitor of another scale
  // (Wine never sends it). Returns once the screen has handled it; false when it could not
  // be delivered. Starts recording when it is not on. To another window of the installer's
  // (the hub) when window is given.
  bool SendDpiChanged(UINT dpi, const RECT& suggested, HWND window = nullptr);

  // Has the installer's moves of staged files into place stop before the nth (see
  // MovePause.h; the test makes the MovePauseEvents of the installer's process first).
  // False when the request could not be delivered.
  bool PauseMovesAt(int nth);

  // Waits for the installer to end; true when it has.
  bool WaitForExit(DWORD timeoutMs) const { return process_ && process_->WaitForExit(timeoutMs); }
  // Ends the installer at once if it still runs.
  void Kill();

 private:
  // Has the watch hook carry out request (WatchProtocol.h) on window; true once it was
  // handled.
  bool SendHookRequest(HWND window, WPARAM kind, const WatchRequest& request);

  std::string exe_;
  std::string appCaption_;
  std::unique_ptr<Process> process_;
  HWND screen_ = nullptr;
  std::vector<std::string> answered_;
  ControlWatch watch_;
  HWND statusLine_ = nullptr;
  HWND progressBar_ = nullptr;
};

}  // namespace uidriver
