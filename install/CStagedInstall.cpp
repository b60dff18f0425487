#include "install/CStagedInstall.h"

#include <utility>

#include "archive/ZipEntryName.h"
#include "install/InstallationFolder.h"
#include "winfx/FileTree.h"
#include "winfx/Format.h"
#include "winfx/ScopedHandle.h"

namespace {

using winfx::EntryKind;
using winfx::FileTree;
using winfx::Format;
using winfx::JoinPath;
using winfx::ToWide;
using winfx::WideString;

// Lines of the installation folder's daily log.
constexpr char kPlanRefusedLine[] = "[install] 복구계획 오류 (%d번째 줄). 작업폴더를 그대로 보관합니다.";
constexpr char kPlanTooLargeLine[] = "[install] 복구계획 오류 (%I64u 바이트, 최대 %I64u). 작업폴더를 그대로 보관합니다.";
constexpr char kSetAsideLine[] = "[install] 작업폴더 보관 %s -> %s";
constexpr char kSetAsideFailedLine[] = "[install] 작업폴더 보관 실패 %s / err : %d";
constexpr char kLinkInBackupLine[] = "[install] 작업폴더에 링크가 있습니다. 그대로 보관합니다. %s";
constexpr char kLinkStaysLine[] = "[install] 링크를 옮길 수 없습니다. %s";
// Names tried for a work folder set aside within one second: "-2", "-3", ...
constexpr int kMaxAsideNames = 20;

bool Exists(const WideString& path) { return FileTree::KindOf(path) != EntryKind::kMissing; }

// The size of the file at path; 0 when it cannot be told.
unsigned long long SizeOf(const WideString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when the tree at path is nested deeper than FileTree walks.
bool IsTooDeep(const WideString& path) {
  return !FileTree::Walk(path, [](const WideString&, EntryKind) { return true; }) &&
         ::GetLastError() == FileTree::kTooDeepError;
}

bool IsFolder(const WideString& path) { return FileTree::KindOf(path) == EntryKind::kFolder; }

bool SameName(const WideString& name, const char* other) {
  return ::CompareStringOrdinal(name.c_str(), -1, ToWide(other).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// True when everything below old is below staged too, as the same kind (file or folder):
// the new version then replaces all that old holds. A link below old is never covered: its
// folder is entered, so that the link is a step of its own. False too when old cannot be
// listed.
bool Covers(const WideString& staged, const WideString& old) {
  bool covered = true;
  const bool listed = FileTree::Walk(old, [&](const WideString& relative, EntryKind kind) {
    covered = covered && kind != EntryKind::kLink && FileTree::KindOf(JoinPath(staged, relative)) == kind;
    return covered && kind == EntryKind::kFolder;
  });
  return listed && covered;
}

// True when path cannot be opened for writing because another handle holds it (a
// running program's executable, say). A read-only file (access denied) is not in use.
bool IsInUse(const WideString& path) {
  winfx::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Creates folder (one level, with the installation folder's protected permissions) and
// hides it; true when it is a folder afterwards (a link of its name is not).
bool MakeHiddenFolder(const WideString& folder) {
  if (!InstallationFolder::MakeProtectedFolder(folder) && !IsFolder(folder)) return false;
  ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return true;
}

// false with the thread's last error set to error.
bool FailWith(DWORD error) {
  ::SetLastError(error);
  return false;
}

// True when a link stands anywhere below root, or root cannot be listed: the work folders
// hold none of the installer's making, so such a one is refused.
bool HoldsLink(const WideString& root) {
  bool link = false;
  const bool listed = FileTree::Walk(root, [&](const WideString&, EntryKind kind) {
    link = link || kind == EntryKind::kLink;
    return !link && kind == EntryKind::kFolder;
  });
  return link || !listed;
}

}  // namespace

CStagedInstall::CStagedInstall(std::string folder)
    : m_folder(std::move(folder)),
      m_staging(m_folder + "\\" + kStagingName),
      m_backup(m_folder + "\\" + kBackupName),
      m_longFolder(InstallationFolder::LongPath(m_folder)),
      m_longStaging(JoinPath(m_longFolder, ToWide(kStagingName))),
      m_longBackup(JoinPath(m_longFolder, ToWide(kBackupName))),
      m_longPlan(JoinPath(m_longBackup, ToWide(kPlanName))) {
  m_log.Init(m_folder);
}

WideString CStagedInstall::InFolder(const WideString& relative) const {
  return JoinPath(m_longFolder, relative);
}

WideString CStagedInstall::InStaging(const WideString& relative) const {
  return JoinPath(m_longStaging, relative);
}

WideString CStagedInstall::InBackupFiles(const WideString& relative) const {
  return JoinPath(JoinPath(m_longBackup, ToWide(kBackupFilesName)), relative);
}

bool CStagedInstall::RecoverLeftovers() {
  if (m_longFolder.empty()) return false;
  bool restored = true;
  if (IsFolder(m_longBackup) && Exists(m_longPlan)) {
    std::vector<Step> plan;
    int refusedLine = 0;
    if (HoldsLink(m_longBackup)) {
      // Put back from behind a link, an old file would come from anywhere.
      m_log.WriteLog(Format(kLinkInBackupLine, m_backup.c_str()));
      restored = SetWorkFoldersAside();
    } else if (ReadPlan(&plan, &refusedLine)) {
      restored = RollBack(plan);
    } else if (refusedLine != 0) {
      // A plan this installer did not write could steer the moves anywhere: none of it is
      // done, and what the work folders hold is kept as it is, out of the next run's way.
      if (refusedLine == MovePlan::kTooLarge) {
        m_log.WriteLog(Format(kPlanTooLargeLine, SizeOf(m_longPlan), MovePlan::kMaxSize));
      } else {
        m_log.WriteLog(Format(kPlanRefusedLine, refusedLine));
      }
      restored = SetWorkFoldersAside();
    } else {
      restored = false;
    }
  } else {
    // No plan: the moves had not begun, or had all been made. (A file or link of the
    // backup's name is no work of this installer's: it goes, a link as itself.)
    FileTree::Remove(m_longBackup);
  }
  if (restored) DiscardStaging();
  if (!Exists(m_longBackup) && !Exists(m_longStaging)) return true;
  if (IsTooDeep(m_longBackup) || IsTooDeep(m_longStaging)) ::SetLastError(FileTree::kTooDeepError);
  return false;
}

bool CStagedInstall::PrepareStaging() {
  DiscardStaging();
  return !m_longStaging.empty() && MakeHiddenFolder(m_longStaging);
}

std::vector<CStagedInstall::Step> CStagedInstall::PlanMoves() const {
  std::vector<Step> plan;
  if (!Plan(&plan)) plan.clear();
  return plan;
}

bool CStagedInstall::Plan(std::vector<Step>* steps, std::string* stuckLink) const {
  std::vector<Step>& plan = *steps;
  const bool listed = FileTree::Walk(m_longStaging, [&](const WideString& relative, EntryKind kind) {
    const WideString target = JoinPath(m_longFolder, relative);
    const EntryKind old = FileTree::KindOf(target);
    const bool folder = kind == EntryKind::kFolder;
    // A folder holding old files that the new version does not replace is entered; one
    // that holds nothing else is replaced whole (two moves instead of two per file).
    if (folder && old == EntryKind::kFolder && !Covers(JoinPath(m_longStaging, relative), target)) {
      return true;
    }
    // Whatever is in the way (a file where a folder comes, a link) is moved aside as well.
    if (old != EntryKind::kMissing) {
      plan.push_back({StepKind::kReplace, relative});
      if (stuckLink != nullptr && stuckLink->empty() && old == EntryKind::kLink &&
          !FileTree::OpensLinkItself(target)) {
        *stuckLink = m_folder + "\\" + winfx::ToShownAnsi(relative);
      }
    } else {
      plan.push_back({folder ? StepKind::kTree : StepKind::kAdd, relative});
    }
    return false;
  });
  return listed;
}

std::vector<WideString> CStagedInstall::TargetsInUse() const {
  std::vector<WideString> inUse;
  for (const Step& step : PlanMoves()) {
    if (step.kind == StepKind::kReplace) AddInUse(step.path, &inUse);
  }
  return inUse;
}

std::vector<WideString> CStagedInstall::LeftoversInUse() const {
  std::vector<WideString> inUse;
  std::vector<Step> plan;
  int refusedLine = 0;
  if (!IsFolder(m_longBackup) || !Exists(m_longPlan) ||
      !ReadPlan(&plan, &refusedLine)) {
    return inUse;
  }
  // What the rollback removes: what the moves brought in, in place of old files too.
  for (const Step& step : plan) {
    if (step.kind != StepKind::kReplace || Exists(InBackupFiles(step.path))) {
      AddInUse(step.path, &inUse);
    }
  }
  return inUse;
}

void CStagedInstall::AddInUse(const WideString& relative, std::vector<WideString>* inUse) const {
  const WideString target = InFolder(relative);
  // The plain full path, as a running program's image name reads.
  const WideString shown = JoinPath(ToWide(m_folder), relative);
  switch (FileTree::KindOf(target)) {
    case EntryKind::kFile:
      if (IsInUse(target)) inUse->push_back(shown);
      break;
    case EntryKind::kFolder:
      FileTree::Walk(target, [&](const WideString& inside, EntryKind kind) {
        if (kind == EntryKind::kFile && IsInUse(JoinPath(target, inside))) {
          inUse->push_back(JoinPath(shown, inside));
        }
        return true;
      });
      break;
    default:  // a link is moved itself: nothing behind it is opened
      break;
  }
}

std::string CStagedInstall::WorkFoldersLeft() const {
  std::string left;
  const std::pair<const WideString*, const std::string*> folders[] = {{&m_longBackup, &m_backup},
                                                                      {&m_longStaging, &m_staging}};
  for (const auto& folder : folders) {
    if (!Exists(*folder.first)) continue;
    if (!left.empty()) left += ", ";
    left += *folder.second;
  }
  return left;
}

bool CStagedInstall::MoveIntoPlace() {
  m_failedPath.clear();
  // A version that brings folders of the installer's own names cannot be put in place.
  if (Exists(InStaging(ToWide(kStagingName))) || Exists(InStaging(ToWide(kBackupName))) ||
      Exists(InStaging(ToWide(kLockName)))) {
    DiscardStaging();
    return FailWith(ERROR_INVALID_DATA);
  }
  // A staging folder that cannot be listed, holds nothing or holds a link (the extraction
  // makes none) is no version to install.
  std::vector<Step> plan;
  std::string stuckLink;
  bool holdsSomething = false;
  FileTree::Walk(m_longStaging, [&](const WideString&, EntryKind) {
    holdsSomething = true;
    return false;
  });
  if (HoldsLink(m_longStaging) || !Plan(&plan, &stuckLink) || !holdsSomething) {
    DiscardStaging();
    return FailWith(ERROR_INVALID_DATA);
  }
  // Folders that are all there already (an archive of folders, say): nothing to move.
  if (plan.empty()) return true;
  // Nor can one go in that needs a link moved aside that cannot be moved itself.
  if (!stuckLink.empty()) {
    m_log.WriteLog(Format(kLinkStaysLine, stuckLink.c_str()));
    DiscardStaging();
    return FailWith(ERROR_ACCESS_DENIED);
  }
  FileTree::Remove(m_longBackup);
  if (!MakeHiddenFolder(m_longBackup) || !WritePlan(plan)) {
    const DWORD error = ::GetLastError();
    FileTree::Remove(m_longBackup);
    DiscardStaging();
    return FailWith(error);
  }
  for (size_t i = 0; i < plan.size(); ++i) {
    const Step& step = plan[i];
    const WideString target = InFolder(step.path);
    const WideString staged = InStaging(step.path);
    bool moved = false;
    switch (step.kind) {
      case StepKind::kTree:
      case StepKind::kAdd:
        moved = ::MoveFileExW(staged.c_str(), target.c_str(), 0) != FALSE;
        break;
      case StepKind::kReplace:
        moved = FileTree::EnsureParentFolders(m_longBackup, JoinPath(ToWide(kBackupFilesName), step.path)) &&
                FileTree::Move(target, InBackupFiles(step.path)) &&
                ::MoveFileExW(staged.c_str(), target.c_str(), 0);
        break;
    }
    if (!moved) {
      const DWORD error = ::GetLastError();
      m_failedPath = m_folder + "\\" + winfx::ToShownAnsi(step.path);
      // With the plan kept when something cannot be put back, the next run tries again.
      RollBack(plan);
      DiscardStaging();
      return FailWith(error);
    }
  }
  // Removing the plan completes the installation: from here on a leftover backup folder
  // only holds old files to remove. While it stands, the moves count as unfinished.
  if (!::DeleteFileW(m_longPlan.c_str())) {
    const DWORD error = ::GetLastError();
    RollBack(plan);
    DiscardStaging();
    return FailWith(error);
  }
  return true;
}

void CStagedInstall::DiscardStaging() { FileTree::Remove(m_longStaging); }

bool CStagedInstall::RollBack(const std::vector<Step>& plan) {
  bool restored = true;
  for (auto step = plan.rbegin(); step != plan.rend(); ++step) {
    const WideString target = InFolder(step->path);
    switch (step->kind) {
      case StepKind::kTree:
      case StepKind::kAdd:
        // Neither was there before the moves began.
        if (!FileTree::Remove(target)) restored = false;
        break;
      case StepKind::kReplace: {
        // An old file still in place was never moved aside. Once it was, what is in its
        // place is the new one.
        const WideString aside = InBackupFiles(step->path);
        if (!Exists(aside)) break;
        FileTree::Remove(target);
        if (!FileTree::Move(aside, target)) restored = false;
        break;
      }
    }
  }
  if (restored) RemoveWorkFolders();
  return restored;
}

bool CStagedInstall::WritePlan(const std::vector<Step>& plan) {
  return MovePlan::Write(m_longPlan, plan);
}

bool CStagedInstall::ReadPlan(std::vector<Step>* plan, int* refusedLine) const {
  return MovePlan::Read(
      m_longPlan,
      [this](const WideString& relative) { return IsPlanPath(relative); }, plan, refusedLine);
}

bool CStagedInstall::IsPlanPath(const WideString& relative) const {
  const ZipEntryNameKind kind = ClassifyZipEntryName(relative);
  if (kind != ZipEntryNameKind::kFile && kind != ZipEntryNameKind::kFolder) return false;
  const WideString path = kind == ZipEntryNameKind::kFolder ? relative.substr(0, relative.size() - 1)
                                                            : relative;
  const WideString first = path.substr(0, path.find(L'\\'));
  if (SameName(first, kStagingName) || SameName(first, kBackupName) || SameName(first, kLockName)) {
    return false;
  }
  // Every folder on the way is a real one (or missing), in place and among the old files
  // moved aside: a link or a file there would lead the step elsewhere.
  for (size_t cut = path.find(L'\\'); cut != WideString::npos; cut = path.find(L'\\', cut + 1)) {
    const WideString folder = path.substr(0, cut);
    for (const WideString& on : {InFolder(folder), InBackupFiles(folder)}) {
      const EntryKind found = FileTree::KindOf(on);
      if (found != EntryKind::kMissing && found != EntryKind::kFolder) return false;
    }
  }
  return true;
}

bool CStagedInstall::SetWorkFoldersAside() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  const std::string stamp = Format("-%04d%02d%02d-%02d%02d%02d", now.wYear, now.wMonth, now.wDay,
                                   now.wHour, now.wMinute, now.wSecond);
  bool setAside = true;
  for (const char* name : {kBackupName, kStagingName}) {
    const WideString from = JoinPath(m_longFolder, ToWide(name));
    if (!Exists(from)) continue;
    for (int n = 1;; ++n) {
      const std::string aside = std::string(name) + stamp + (n > 1 ? Format("-%d", n) : "");
      if (FileTree::Move(from, JoinPath(m_longFolder, ToWide(aside)))) {
        m_log.WriteLog(Format(kSetAsideLine, name, aside.c_str()));
        break;
      }
      const DWORD error = ::GetLastError();
      if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || n == kMaxAsideNames) {
        m_log.WriteLog(Format(kSetAsideFailedLine, name, static_cast<int>(error)));
        setAside = false;
        break;
      }
    }
  }
  return setAside;
}

void CStagedInstall::RemoveOldFiles() { RemoveWorkFolders(); }

void CStagedInstall::RemoveWorkFolders() {
  // The plan goes first: a backup whose plan is gone is never taken for unfinished moves,
  // and one whose plan stays keeps every old file the plan needs.
  if (Exists(m_longPlan) && !::DeleteFileW(m_longPlan.c_str())) return;
  FileTree::Remove(m_longBackup);
  DiscardStaging();
}
