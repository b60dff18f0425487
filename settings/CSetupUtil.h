// CSetupUtil: bound to one folder, it reads that folder's DEBUG switch from "info.ini",
// appends to the folder's daily log when the switch is on, and carries the shell
// operations the installer needs (file presence test, shortcuts).
#pragma once

#include <windows.h>

#include <string>

class CSetupUtil {
 public:
  // Unbound: empty folder, logging off.
  CSetupUtil();
  virtual ~CSetupUtil();

  // Binds the object to folder (no trailing backslash) and reads its DEBUG switch.
  // May be called again to rebind.
  void Init(std::string folder);

  // The largest info.ini that is read; a larger one counts as missing.
  static constexpr DWORD kMaxSettingsSize = 64 * 1024;

  // [COMMON] key of the folder's info.ini as an integer (atoi of the text; at most 254
  // bytes of the value are seen). A missing file or key, or a file larger than
  // kMaxSettingsSize, gives atoi(defaultValue).
  int GetCommonInt(std::string key, std::string defaultValue);

  // Appends "[YYYY/MM/DD hh:mm:ss] text" and CR LF to <folder>\log\YYYYMMDD_log.txt when
  // DEBUG is on. Never creates the log folder, never writes through a link of the folder's
  // or the file's name; a line that cannot be written is lost.
  void WriteLog(std::string text);

  // 1 when a find-first search for path finds a file or folder (wildcards act as in
  // such a search), 0 otherwise.
  int FileExists(std::string path);

  // Writes a shell link to target, with description and the target's folder as working
  // folder, into the desktop, Quick Launch and Programs folders whose flag is non-zero.
  // linkName is "\<name>.lnk". With overwrite 0 an existing link is left alone. Creates
  // nothing when any of the three folders cannot be resolved; a place whose link path
  // does not fit MAX_PATH with its terminator (259 characters at most) gets no link.
  void CreateShortcut(std::string target, std::string linkName, std::string description,
                      int desktop, int quickLaunch, int programs, int overwrite);

  const std::string& Folder() const { return m_folder; }
  bool IsLogging() const { return m_debug != 0; }

  // Replaces the clock of WriteLog (local time) in tests; null restores GetLocalTime.
  using ClockForTesting = void (*)(SYSTEMTIME* now);
  static void SetClockForTesting(ClockForTesting clock);

 private:
  std::string SettingsPath() const;

  std::string m_folder;
  int m_debug;
};
