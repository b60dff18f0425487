// Helpers shared by the test programs: real folders and files in the Wine prefix, paths
// of the build tree, and running other Windows programs.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// A fresh, empty folder C:\quillon-tests\<name>-<pid>-<n>, removed with everything in it
// when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "\" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

// Removes a file or a folder tree; true when nothing is left at path. A link (reparse
// point) below path is left where it is, with its folders: under Wine a removal acts on
// what it points to.
bool RemoveTree(const std::string& path);

// A symbolic link made from the Linux side ("ln -s"), which Wine shows as a link to a
// folder (CreateSymbolicLink makes nothing there), removed the same way when the object
// goes. Each waits until the link shows, or is gone.
class LinuxLink {
 public:
  // link (a path that does not exist yet) to target (an existing folder).
  LinuxLink(const std::string& link, const std::string& target);
  ~LinuxLink();
  LinuxLink(const LinuxLink&) = delete;
  LinuxLink& operator=(const LinuxLink&) = delete;

  // False when not under Wine, or the link did not show.
  bool Made() const { return made_; }

 private:
  std::string link_;
  std::string unixLink_;
  bool made_ = false;
};

bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);

// Whole file as bytes (a path of MAX_PATH or more too); "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Creates or replaces path with bytes; false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Files and folders below root, as relative paths with "\" (folders end in "\"), sorted;
// a link is listed, never entered.
std::vector<std::string> ListTree(const std::string& root);

// A file's content and last-write time.
struct FileState {
  std::string bytes;
  FILETIME written;
  bool operator==(const FileState& other) const;
};
// Every file below root by relative path ("\"), with its state; folders are left out.
std::map<std::string, FileState> FileStates(const std::string& root);

// The value of field name in a line of the vendor server's request log ("GET /path",
// then tab-separated "name: value" fields), or "" when the line has none.
std::string RequestLogField(const std::string& line, const std::string& name);

// Runs the Linux program of commandLine ("Z:\\bin\\chmod 0777 ...") through Wine's Z:
// drive, without waiting for it: Wine gives no handle to wait on, the caller waits for
// what it does. False when it cannot be started.
bool RunLinuxProgram(const std::string& commandLine);
// Wine's name of path on the Linux side; "" when not under Wine.
std::string UnixPath(const std::string& path);

// A Unix path of the build machine as a Windows path on Wine's Z: drive.
std::string FromUnixPath(const std::string& unixPath);

// Today's log file name inside folder\log, from the local clock.
std::string TodaysLogPath(const std::string& folder);

// Copies file to folder (same name); returns the new path or "" on failure.
std::string CopyInto(const std::string& file, const std::string& folder);

}  // namespace testing_support
