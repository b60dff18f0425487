// InstallationScreen: what the installation's steps tell the operator and ask, implemented
// by the screen (which keeps its texts) and by tests that record it.
#pragma once

#include <string>

class InstallationScreen {
 public:
  // Why the installation stopped; each is told once, as the last word of a failed run.
  enum class Failure {
    kLeftoversStay,    // what a killed run left could not be put right (path: the work
                       // folders left, full paths joined by ", ")
    kNoArchive,        // the archive is missing or is no zip archive
    kNotSigned,        // the archive does not carry the vendor's signature
    kExtractFailed,    // an entry could not be extracted
    kWidgetRunning,    // files to replace are in use and the operator kept them so
    kFileInUse,        // a file to replace or to put back is held by another program
                       // (path: its full path)
    kMoveFailed,       // the new version could not be moved into place
    kTooDeep,          // a folder to put right or move is nested deeper than walks go
  };

  virtual ~InstallationScreen() = default;

  // The extraction begins.
  virtual void OnExtracting() = 0;
  // The installation ended in failure; path names what it is about, where the failure
  // says so, else it is empty.
  virtual void OnFailure(Failure failure, const std::string& path) = 0;
  // Files to replace or to put back are in use (a running widget): true when the operator
  // allows closing the programs that use them.
  virtual bool AllowClosingWidget() = 0;
};
