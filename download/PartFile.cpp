#include "download/PartFile.h"

#include <cstdlib>
#include <utility>

#include "download/DownloadRules.h"
#include "winfx/FileTree.h"
#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace {

// The companion is two lines: the validator, then the total length in decimal. A larger
// file is none of this installer's and is not read.
constexpr DWORD kCompanionLimit = 2048;

// The companion's text into *text ("" when it is missing or unreadable); false when it is
// larger than a companion can be (nothing of it is read then).
bool ReadSmallFile(const std::string& path, std::string* text) {
  return winfx::ReadCappedFile(winfx::WidePath(path), kCompanionLimit, text) != winfx::CappedRead::kTooLarge;
}

}  // namespace

PartFile::PartFile(std::string targetPath)
    : targetPath_(std::move(targetPath)),
      partPath_(targetPath_ + kPartSuffix),
      resumePath_(targetPath_ + kResumeSuffix) {}

bool PartFile::Open() {
  winfx::ScopedLock lock(lock_);
  // A link of the part's or the companion's name would have the transfer write (and
  // truncate, and delete) what it leads to: such leftovers are left alone.
  if (released_ || winfx::FileTree::LeadsElsewhere(winfx::WidePath(partPath_)) ||
      winfx::FileTree::LeadsElsewhere(winfx::WidePath(resumePath_))) {
    return false;
  }
  if (!file_.OpenForAppend(partPath_, &created_)) return false;
  if (!file_.Size(&held_)) {
    file_.Close();
    if (created_) ::DeleteFileW(winfx::WidePath(partPath_).c_str());
    return false;
  }
  if (!ReadCompanionLocked()) {
    // Such a validator would go out as header lines of its own: the bytes it describes are
    // of no use.
    ::DeleteFileW(winfx::WidePath(resumePath_).c_str());
    if (!file_.Truncate()) {
      file_.Close();
      return false;
    }
    held_ = 0;
  }
  return true;
}

ULONGLONG PartFile::Held() const {
  winfx::ScopedLock lock(lock_);
  return held_;
}

std::string PartFile::Validator() const {
  winfx::ScopedLock lock(lock_);
  return validator_;
}

ULONGLONG PartFile::Total() const {
  winfx::ScopedLock lock(lock_);
  return total_;
}

bool PartFile::CanResume() const {
  winfx::ScopedLock lock(lock_);
  return CanResumeLocked();
}

bool PartFile::CanResumeLocked() const {
  return held_ > 0 && !validator_.empty() && total_ > 0 && held_ <= total_;
}

bool PartFile::StartOver(const std::string& validator, ULONGLONG total) {
  winfx::ScopedLock lock(lock_);
  if (released_) return false;
  // The old companion goes first: a part must never be described by another body's
  // validator, whatever happens to the process between the steps.
  ::DeleteFileW(winfx::WidePath(resumePath_).c_str());
  validator_.clear();
  total_ = 0;
  if (!file_.Truncate()) return false;
  held_ = 0;
  if (DownloadRules::IsValidatorText(validator)) validator_ = validator;
  total_ = total;
  return validator_.empty() || WriteCompanionLocked();
}

bool PartFile::HashHeld(winfx::Sha256* sha) const {
  winfx::ScopedLock lock(lock_);
  if (released_) return false;
  if (held_ == 0) return true;
  // The part's own handle writes; this one only reads what it wrote.
  winfx::ScopedHandle file(::CreateFileW(winfx::WidePath(partPath_).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  return file && ::GetFileSizeEx(file.Get(), &size) &&
         static_cast<ULONGLONG>(size.QuadPart) == held_ && sha->AddFile(file.Get());
}

bool PartFile::Append(const void* data, DWORD size) {
  winfx::ScopedLock lock(lock_);
  if (released_ || !file_.Write(data, size)) return false;
  held_ += size;
  return true;
}

bool PartFile::Finish() {
  winfx::ScopedLock lock(lock_);
  // The body reaches the disk before its name does: after a power cut the archive's name
  // never stands for bytes that were not written.
  if (released_ || !file_.Flush() || !file_.Close()) return false;
  if (!::MoveFileExW(winfx::WidePath(partPath_).c_str(), winfx::WidePath(targetPath_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  ::DeleteFileW(winfx::WidePath(resumePath_).c_str());
  released_ = true;  // nothing of this transfer's is left to touch
  return true;
}

void PartFile::CloseForLater() {
  winfx::ScopedLock lock(lock_);
  if (released_) return;
  file_.Close();
  if (!CanResumeLocked()) RemoveLocked();
  released_ = true;
}

void PartFile::Remove() {
  winfx::ScopedLock lock(lock_);
  if (released_) return;
  RemoveLocked();
  released_ = true;
}

void PartFile::Abandon() {
  winfx::ScopedLock lock(lock_);
  if (released_) return;
  file_.Close();
  if (created_ && held_ == 0) ::DeleteFileW(winfx::WidePath(partPath_).c_str());
  released_ = true;
}

void PartFile::Release() {
  winfx::ScopedLock lock(lock_);
  file_.Close();
  released_ = true;
}

void PartFile::RemoveLocked() {
  file_.Close();
  ::DeleteFileW(winfx::WidePath(partPath_).c_str());
  ::DeleteFileW(winfx::WidePath(resumePath_).c_str());
}

bool PartFile::WriteCompanionLocked() {
  const std::string text = validator_ + "\r\n" + std::to_string(total_) + "\r\n";
  winfx::File companion;
  return companion.Create(resumePath_) &&
         companion.Write(text.data(), static_cast<DWORD>(text.size())) && companion.Close();
}

bool PartFile::ReadCompanionLocked() {
  validator_.clear();
  total_ = 0;
  std::string text;
  // Larger than this installer writes it: no companion of its own.
  if (!ReadSmallFile(resumePath_, &text)) return false;
  const size_t firstEnd = text.find("\r\n");
  if (firstEnd == std::string::npos || firstEnd == 0) return true;
  const std::string validator = text.substr(0, firstEnd);
  if (!DownloadRules::IsValidatorText(validator)) return false;
  const size_t secondEnd = text.find("\r\n", firstEnd + 2);
  if (secondEnd == std::string::npos) return true;
  const std::string totalText = text.substr(firstEnd + 2, secondEnd - firstEnd - 2);
  if (totalText.empty() || totalText.find_first_not_of("0123456789") != std::string::npos) {
    return true;
  }
  validator_ = validator;
  total_ = std::strtoull(totalText.c_str(), nullptr, 10);
  return true;
}
