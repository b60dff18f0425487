// InstallationScreen: what the installation's steps tell the operator and ask, implemented
// by the screen (which keeps its texts) and by tests that record it.
#pragma once

class InstallationScreen {
 public:
  // Why the installation stopped; each is told once, as the last word of a failed run.
  enum class Failure {
    kLeftoversStay,    // what a killed run left could not be put right
    kNoArchive,        // the archive is missing or is no zip archive
    kNotSigned,        // the archive does not carry the vendor's signature
    kExtractFailed,    // an entry could not be extracted
    kWidgetRunning,    // files to replace stay in use
    kMoveFailed,       // the new version could not be moved into place
    kTooDeep,          // a folder to put right or move is nested deeper than walks go
  };

  virtual ~InstallationScreen() = default;

  // The extraction begins.
  virtual void OnExtracting() = 0;
  // The installation ended in failure.
  virtual void OnFailure(Failure failure) = 0;
  // Files to replace or to put back are in use (a running widget): true when the operator
  // allows closing the programs that use them.
  virtual bool AllowClosingWidget() = 0;
};
