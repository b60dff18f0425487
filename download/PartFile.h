// PartFile: the body of a download on its way, kept beside the file it will become. The
// bytes so far are in "<target>.part"; what a later request needs to go on from them (the
// server's validator of that body and its total length) is in "<target>.resume". The
// target's own name only ever receives a complete body, by a rename.
//
// The worker of a transfer writes it; the user-interface thread may release it while the
// worker is blocked elsewhere. Every operation takes the object's lock.
#pragma once

#include <windows.h>

#include <string>

#include "app/ProductConstants.h"
#include "winfx/CriticalSection.h"
#include "winfx/File.h"
#include "winfx/Sha256.h"

class PartFile {
 public:
  // Suffixes of the part and of its companion, appended to the target's path.
  static constexpr const char* kPartSuffix = product::kPartSuffix;
  static constexpr const char* kResumeSuffix = product::kResumeSuffix;

  explicit PartFile(std::string targetPath);
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Opens the part for appending, creating it when missing, and reads the companion. A
  // companion whose validator is no header value (DownloadRules::IsValidatorText), or that
  // is larger than a companion is (2 KiB), is removed unread and the part emptied. A part
  // that has another name as well (a hard link) is deleted and made anew, so it is never
  // resumed (winfx::File). False when the part cannot be opened, or the part's or the
  // companion's name is a link (nothing is created, written or removed then).
  bool Open();

  // Bytes the part holds.
  ULONGLONG Held() const;
  // The validator and total length kept for the held bytes; "" and 0 when none was kept.
  std::string Validator() const;
  ULONGLONG Total() const;
  // True when the held bytes can be gone on from: some bytes, a validator, and a known
  // total that they do not exceed.
  bool CanResume() const;

  // Empties the part for a new body and keeps validator and total for it (validator ""
  // when the server gave none, total 0 when it announced none; a validator that is no
  // header value is not kept). False when the part or the companion cannot be written.
  bool StartOver(const std::string& validator, ULONGLONG total);
  // Adds the held bytes, read back from the part, to sha; false when they could not be
  // read or hashed (or the part is released).
  bool HashHeld(winfx::Sha256* sha) const;
  // Appends size bytes; false when not all could be written or the part is released.
  bool Append(const void* data, DWORD size);

  // Closes the part, renames it to the target (replacing an existing file, written through
  // to the disk) and removes the companion. False when that failed; the part then stays.
  bool Finish();
  // Closes the part; it stays with its companion when it can be resumed, else both go.
  void CloseForLater();
  // Closes and removes the part and its companion.
  void Remove();
  // Undoes Open when nothing was ever written: a part that Open created goes again.
  void Abandon();
  // Closes the part and leaves both files as they are; every later operation does
  // nothing and fails. For a transfer that is being stopped from another thread.
  void Release();

  const std::string& PartPath() const { return partPath_; }
  const std::string& ResumePath() const { return resumePath_; }

 private:
  bool CanResumeLocked() const;
  bool WriteCompanionLocked();
  // Reads validator and total from the companion (none when it is missing or unreadable);
  // false when its validator is no header value or it is too large to be one.
  bool ReadCompanionLocked();
  void RemoveLocked();

  const std::string targetPath_;
  const std::string partPath_;
  const std::string resumePath_;

  mutable winfx::CriticalSection lock_;
  winfx::File file_;
  bool released_ = false;
  bool created_ = false;
  ULONGLONG held_ = 0;
  std::string validator_;
  ULONGLONG total_ = 0;
};
