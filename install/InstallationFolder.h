// InstallationFolder: the folder the widget is installed into, as the installation stands
// on it from the confirmation to the end. Taking it makes it where it is missing (missing
// parents too), each new level with the protected permissions (ProtectedSddl); checks
// that it and every parent is a plain folder (no junction, symbolic link or other reparse
// point; a path that cannot be opened and compared counts as none), that it belongs to
// SYSTEM, the administrators or the installing user, and that nobody else may write,
// append, delete or change permissions in it (else the protected permissions are set,
// with a log line, or it is refused); checks the installer's own names in it for links;
// and then holds it (it cannot be renamed, removed or replaced) and its lock file until
// released. Refusals are told as a Reason, with a log line.
#pragma once

#include <windows.h>

#include <string>

#include "settings/CSetupUtil.h"
#include "winfx/FileLock.h"
#include "winfx/HeldFolder.h"
#include "winfx/WidePath.h"

class InstallationFolder {
 public:
  enum class Reason {
    kTaken,          // held and locked by this object
    kCannotMake,     // a level cannot be made: no such drive, a file of its name, a bad name
    kNoPermission,   // making it was refused (a folder under Program Files, say)
    kLink,           // it or a parent is a link, or cannot be told apart from one
    kForeignOwner,   // it belongs to another user
    kOpenToOthers,   // others may change it, and its permissions cannot be set
    kOwnNameLink,    // one of the installer's own names in it is a link (OwnName)
    kOwnNameInTheWay,  // one of them is a folder where a file belongs, or the other way
                       // round (OwnName); an empty folder in a file's place is removed
    kLocked,         // another installer holds its lock
    kLockFailed,     // its lock file cannot be made
  };

  InstallationFolder() = default;
  InstallationFolder(const InstallationFolder&) = delete;
  InstallationFolder& operator=(const InstallationFolder&) = delete;

  // Takes folder (an ANSI path, no trailing backslash) as described above, logging to
  // log. Anything held before is released first; on a refusal nothing is held.
  Reason Take(const std::string& folder, CSetupUtil* log);
  // Lets the folder and its lock go (the lock file is deleted).
  void Release();
  bool IsHeld() const { return m_held.IsHeld(); }

  // After kOwnNameLink and kOwnNameInTheWay: the name at fault.
  const std::string& OwnName() const { return m_ownName; }

  // The permissions of a folder the installer makes, as SDDL, for the user with sid:
  // SYSTEM, the administrators and the user full control, the users read and execute,
  // inherited by everything below, nothing inherited from the parent.
  static winfx::WideString ProtectedSddl(const winfx::WideString& sid);
  // Makes one folder with those permissions for this process's user. False with the last
  // error set when it is not made (ERROR_ALREADY_EXISTS: something of its name is there,
  // left as it is).
  static bool MakeProtectedFolder(const winfx::WideString& path);
  // The extended-length form of folder, an ANSI path, without trailing separators
  // ("\\?\C:" for a drive's root); "" when it is no path.
  static winfx::WideString LongPath(const std::string& folder);

 private:
  // The steps of Take once the folder exists; the folder is held from the first of them.
  Reason Check(const winfx::WideString& path, CSetupUtil* log);
  // Checks the installer's own names in the folder: each must be missing, or what it must
  // be (a file where a file belongs, a plain folder where a folder belongs). An empty
  // folder in a file's place is removed (logged). kTaken, or the reason with m_ownName set
  // to the first name at fault.
  Reason CheckOwnNames(CSetupUtil* log);

  std::string m_folder;
  winfx::HeldFolder m_held;
  winfx::FileLock m_lock;
  std::string m_ownName;
};
