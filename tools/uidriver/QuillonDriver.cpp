// QuillonDriver: runs QuillonSetup.exe and drives it through the installation the way an
// operator would, printing each step and saving a screenshot of each screen.
//
//   QuillonDriver install SETUP_EXE FOLDER SHOTS_DIR   types FOLDER, confirms, answers boxes
//   QuillonDriver watch SETUP_EXE SHOTS_DIR            leaves the clicks to the person
//   QuillonDriver time SETUP_EXE FOLDER                installs and prints timings
//   QuillonDriver time-unwatched SETUP_EXE FOLDER      the same, the whole only, with no
//                                                      recording of the controls
//
// Output lines are "step: detail" in the ANSI code page. Exit code 0 when the installer
// ended with the widget started, 1 otherwise.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "tools/uidriver/InstallerDriver.h"

namespace {

constexpr char kWidgetWindowClass[] = "QuillonWidgetStandIn";
constexpr char kLinkName[] = "\\Quillon위젯.lnk";
constexpr char kArchiveName[] = "Quillon_Widget.zip";
constexpr DWORD kStepTimeoutMs = 120000;

void Say(const std::string& step, const std::string& detail) {
  std::printf("%s: %s\n", step.c_str(), detail.c_str());
  std::fflush(stdout);
}

class Shots {
 public:
  explicit Shots(std::string folder) : folder_(std::move(folder)) {}
  // A window of another program, as the display shows it.
  void Take(HWND hwnd, const std::string& name) {
    const std::string path = Next(name);
    if (uidriver::SaveScreenshot(hwnd, path)) Say("screenshot", path);
  }
  // A window of the installer (its screen, a box), whole, as it has painted itself once every
  // pending paint has ended.
  void Take(uidriver::InstallerDriver* driver, HWND hwnd, const std::string& name) {
    const std::string path = Next(name);
    if (driver->SavePicture(path, true, hwnd)) Say("screenshot", path);
  }

 private:
  std::string Next(const std::string& name) {
    return folder_ + "\\" + std::to_string(++count_) + "-" + name + ".bmp";
  }

  std::string folder_;
  int count_ = 0;
};

// After the installer: the link, the widget and what it left behind.
int ReportOutcome(Shots* shots) {
  std::string link = uidriver::DesktopFolder() + kLinkName;
  std::string target = uidriver::ShellLinkTarget(link);
  Say("desktop link", target.empty() ? link + " (missing)" : link + " -> " + target);
  HWND widget = nullptr;
  uidriver::WaitUntil([&] { return (widget = ::FindWindowA(kWidgetWindowClass, nullptr)) != nullptr; },
                      20000);
  if (widget == nullptr) {
    Say("widget", "not running");
    return 1;
  }
  DWORD pid = 0;
  ::GetWindowThreadProcessId(widget, &pid);
  Say("widget", "running, window \"" + uidriver::WindowText(widget) + "\", process " + std::to_string(pid));
  ::Sleep(300);
  shots->Take(widget, "widget");
  return 0;
}

int Install(const std::string& setup, const std::string& folder, Shots* shots) {
  uidriver::InstallerDriver driver(setup);
  Say("start", setup);
  if (!driver.Start()) {
    Say("error", "the install screen did not appear");
    return 1;
  }
  Say("screen", uidriver::WindowText(driver.Screen()));
  Say("folder shown", driver.FolderText());
  shots->Take(&driver, driver.Screen(), "install-screen");

  driver.TypeFolder(folder);
  Say("folder typed", folder);
  if (!driver.StartRecording()) Say("warning", "the status line and the progress bar are not recorded");
  driver.ClickInstall();
  Say("click", "동의설치");

  HWND box = driver.WaitForBox(driver.AppCaption(), kStepTimeoutMs);
  if (box == nullptr) {
    Say("error", "no message box appeared; status \"" + driver.Status() + "\"");
    return 1;
  }
  shots->Take(&driver, driver.Screen(), "installed");
  shots->Take(&driver, box, "message-box");
  std::string text = driver.AnswerBox(box, IDOK);
  driver.StopRecording();
  // Every text the status line was given and every position of the bar, in order.
  for (const std::string& status : driver.StatusHistory()) Say("status", "\"" + status + "\"");
  std::string positions;
  for (int value : driver.ProgressHistory()) positions += (positions.empty() ? "" : " ") + std::to_string(value);
  Say("progress", positions.empty() ? std::string("-") : positions);
  Say("message box", text);
  if (!driver.WaitForExit(30000)) {
    Say("error", "the installer did not end");
    return 1;
  }
  Say("installer", "ended");
  return ReportOutcome(shots);
}

// The installer's peak working set so far, in bytes (0 when it cannot be read).
SIZE_T PeakWorkingSet(DWORD processId) {
  winfx::ScopedHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!process || !::GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
}

// When the status line was first given text, on the recorder's clock; -1 when never.
double StatusTime(const uidriver::InstallerDriver& driver, const std::string& text) {
  HWND status = ::GetDlgItem(driver.Screen(), uidriver::kStatusLine);
  for (const uidriver::ControlWatch::Change& change : driver.Changes()) {
    if (change.window == status && change.message == WM_SETTEXT && change.text == text) {
      return change.seconds;
    }
  }
  return -1;
}

// When the progress bar was first set to position or beyond, on the recorder's clock; -1
// when never.
double ProgressTime(const uidriver::InstallerDriver& driver, int position) {
  HWND bar = ::GetDlgItem(driver.Screen(), uidriver::kProgressBar);
  for (const uidriver::ControlWatch::Change& change : driver.Changes()) {
    if (change.window == bar && change.message == PBM_SETPOS && change.value >= position) {
      return change.seconds;
    }
  }
  return -1;
}

// From the click on "동의설치" to the message box, in phases taken from the status line's
// recorded changes: the download (to the extraction's status), the steps up to "설치완료..."
// (extraction and move into place; the installer's log splits them), and the shortcut with
// the box. Then the widget's window and the peak memory. One figure per line. Unwatched,
// only the whole: recording costs the installer's thread a report to this process for
// every status and progress change.
int Time(const std::string& setup, const std::string& folder, bool watched) {
  uidriver::InstallerDriver driver(setup);
  if (!driver.Start()) {
    Say("error", "the install screen did not appear");
    return 1;
  }
  driver.TypeFolder(folder);
  if (watched && !driver.StartRecording()) {
    Say("error", "the status line cannot be recorded");
    return 1;
  }
  const double start = uidriver::ControlWatch::Now();
  driver.ClickInstall();
  HWND box = driver.WaitForBox(driver.AppCaption(), 30 * 60 * 1000);
  const double boxShown = uidriver::ControlWatch::Now();
  if (box == nullptr) {
    Say("error", "no message box appeared");
    return 1;
  }
  // A peak: read once, it covers the whole run so far.
  const SIZE_T peak = PeakWorkingSet(driver.Program().Id());
  const double extracting = StatusTime(driver, "압축해제중입니다.기다려 주세요...");
  const double done = StatusTime(driver, "설치완료...");
  const double named = StatusTime(driver, kArchiveName);
  const double first = ProgressTime(driver, 1);
  const double last = ProgressTime(driver, 100);
  std::string text = driver.AnswerBox(box, IDOK);
  bool started = uidriver::WaitUntil(
      [] { return ::FindWindowA(kWidgetWindowClass, nullptr) != nullptr; }, 60000);
  const double widgetShown = uidriver::ControlWatch::Now();
  std::printf("message box: %s\n", text.c_str());
  if (extracting > 0 && done > 0) {
    std::printf("download: %.2f s\n", extracting - start);
    // The download phase split up: the folder's checks and the release record until the
    // archive's name shows, its transfer to the first and the last percent, and what
    // follows the last percent until the extraction's status.
    if (named > 0 && first > 0 && last > 0) {
      std::printf("download, click to the archive's name: %.3f s\n", named - start);
      std::printf("download, archive's name to its first percent: %.3f s\n", first - named);
      std::printf("download, first to last percent: %.3f s\n", last - first);
      std::printf("download, last percent to the extraction: %.3f s\n", extracting - last);
    }
    std::printf("extraction and move into place: %.2f s\n", done - extracting);
    std::printf("shortcut and box: %.2f s\n", boxShown - done);
  }
  std::printf("click to message box: %.2f s\n", boxShown - start);
  std::printf("click to widget window: %.2f s\n", widgetShown - start);
  std::printf("installer peak working set: %.1f MiB\n", static_cast<double>(peak) / (1024.0 * 1024.0));
  std::fflush(stdout);
  return started ? 0 : 1;
}

int Watch(const std::string& setup, Shots* shots) {
  uidriver::InstallerDriver driver(setup);
  Say("start", setup);
  if (!driver.Start()) {
    Say("error", "the install screen did not appear");
    return 1;
  }
  shots->Take(&driver, driver.Screen(), "install-screen");
  Say("waiting", "for the person at the screen to install");
  driver.WaitForExit(INFINITE);
  Say("installer", "ended");
  return ReportOutcome(shots);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "install" && argc == 5) {
    Shots shots(argv[4]);
    return Install(argv[2], argv[3], &shots);
  }
  if ((mode == "time" || mode == "time-unwatched") && argc == 4) {
    return Time(argv[2], argv[3], mode == "time");
  }
  if (mode == "watch" && argc == 4) {
    Shots shots(argv[3]);
    return Watch(argv[2], &shots);
  }
  std::fprintf(stderr,
               "usage: QuillonDriver install SETUP_EXE FOLDER SHOTS_DIR\n"
               "       QuillonDriver watch SETUP_EXE SHOTS_DIR\n"
               "       QuillonDriver time SETUP_EXE FOLDER\n"
               "       QuillonDriver time-unwatched SETUP_EXE FOLDER\n");
  return 2;
}
