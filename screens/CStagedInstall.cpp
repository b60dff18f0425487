#include "screens/CStagedInstall.h"

#include <algorithm>

#include "archive/CZipExtractor.h"
#include "winfx/File.h"
#include "winfx/ScopedHandle.h"

namespace {

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Calls visit(relativePath, isFolder) for everything below root, each folder before what
// it holds; a folder for which visit returns false is not entered, and neither is a link
// (a junction or symbolic link is visited as a file: what it points to is not ours).
// Relative paths use "\". False when a folder could not be listed completely.
template <typename Visit>
bool Walk(const std::string& root, const std::string& relative, const Visit& visit) {
  const std::string folder = relative.empty() ? root : Join(root, relative);
  WIN32_FIND_DATAA data;
  winfx::ScopedFindHandle search(::FindFirstFileA(Join(folder, "*").c_str(), &data));
  if (!search) return ::GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty folder
  std::vector<std::pair<std::string, bool>> entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    entries.emplace_back(name, isFolder);
  } while (::FindNextFileA(search.Get(), &data));
  if (::GetLastError() != ERROR_NO_MORE_FILES) return false;
  // A stable order, whatever the file system's.
  std::sort(entries.begin(), entries.end());
  for (const auto& entry : entries) {
    const std::string path = relative.empty() ? entry.first : Join(relative, entry.first);
    if (visit(path, entry.second) && entry.second && !Walk(root, path, visit)) return false;
  }
  return true;
}

// True when everything below old is below staged too, as the same kind (file or folder):
// the new version then replaces all that old holds. False too when old cannot be listed.
bool Covers(const std::string& staged, const std::string& old) {
  bool covered = true;
  const bool listed = Walk(old, "", [&](const std::string& relative, bool isFolder) {
    const DWORD attributes = ::GetFileAttributesA(Join(staged, relative).c_str());
    covered = covered && attributes != INVALID_FILE_ATTRIBUTES &&
              ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == isFolder;
    return covered && isFolder;
  });
  return listed && covered;
}

// True when path cannot be opened for writing because another handle holds it (a
// running program's executable, say).
bool IsInUse(const std::string& path) {
  winfx::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Removes path, a file or a folder with everything in it; read-only files too. A link is
// removed itself, never what it points to.
void RemoveTree(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::DeleteFileA(path.c_str());
    return;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    ::RemoveDirectoryA(path.c_str());
    return;
  }
  std::vector<std::string> children;
  Walk(path, "", [&](const std::string& relative, bool) {
    children.push_back(relative);
    return false;
  });
  for (const std::string& child : children) RemoveTree(Join(path, child));
  ::RemoveDirectoryA(path.c_str());
}

// Creates folder (one level) and hides it; true when it exists as a folder afterwards.
bool MakeHiddenFolder(const std::string& folder) {
  if (!::CreateDirectoryA(folder.c_str(), nullptr) && !IsFolder(folder)) return false;
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return true;
}

// false with the thread's last error set to error.
bool FailWith(DWORD error) {
  ::SetLastError(error);
  return false;
}

// The test seam of the moves (see kPauseEventForTesting). Bounded: an event of that name
// made by anything else cannot hold an installation for longer than this.
constexpr DWORD kPauseLimitMs = 120000;

void PauseForTesting() {
  winfx::ScopedHandle pause(::OpenEventA(SYNCHRONIZE, FALSE, CStagedInstall::kPauseEventForTesting));
  if (!pause) return;
  winfx::ScopedHandle paused(
      ::OpenEventA(EVENT_MODIFY_STATE, FALSE, CStagedInstall::kPausedEventForTesting));
  if (paused) ::SetEvent(paused.Get());
  ::WaitForSingleObject(pause.Get(), kPauseLimitMs);
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
  winfx::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
  *ok = file.IsValid();
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (*ok && (*ok = ::ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) != FALSE) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

}  // namespace

CStagedInstall::CStagedInstall(std::string folder)
    : m_folder(std::move(folder)),
      m_staging(Join(m_folder, kStagingName)),
      m_backup(Join(m_folder, kBackupName)) {}

bool CStagedInstall::RecoverLeftovers() {
  bool restored = true;
  if (IsFolder(m_backup)) {
    if (Exists(Join(m_backup, kPlanName))) {
      std::vector<Step> plan;
      restored = ReadPlan(&plan) && RollBack(plan);
    } else {
      // No plan: the moves had not begun, or had all been made.
      RemoveTree(m_backup);
    }
  }
  if (restored) DiscardStaging();
  return !Exists(m_backup) && !Exists(m_staging);
}

bool CStagedInstall::PrepareStaging() {
  DiscardStaging();
  return MakeHiddenFolder(m_staging);
}

std::vector<CStagedInstall::Step> CStagedInstall::PlanMoves() const {
  std::vector<Step> plan;
  if (!Plan(&plan)) plan.clear();
  return plan;
}

bool CStagedInstall::Plan(std::vector<Step>* steps) const {
  std::vector<Step>& plan = *steps;
  return Walk(m_staging, "", [&](const std::string& relative, bool isFolder) {
    const std::string target = Join(m_folder, relative);
    // A folder holding old files that the new version does not replace is entered; one
    // that holds nothing else is replaced whole (two moves instead of two per file).
    if (isFolder && IsFolder(target) && !Covers(Join(m_staging, relative), target)) return true;
    // Whatever is in the way (a file where a folder comes, say) is moved aside as well.
    if (Exists(target)) {
      plan.push_back({StepKind::kReplace, relative});
    } else {
      plan.push_back({isFolder ? StepKind::kTree : StepKind::kAdd, relative});
    }
    return false;
  });
}

std::vector<std::string> CStagedInstall::TargetsInUse() const {
  std::vector<std::string> inUse;
  for (const Step& step : PlanMoves()) {
    if (step.kind != StepKind::kReplace) continue;
    const std::string target = Join(m_folder, step.path);
    if (!IsFolder(target)) {
      if (IsInUse(target)) inUse.push_back(target);
      continue;
    }
    Walk(target, "", [&](const std::string& relative, bool isFolder) {
      if (!isFolder && IsInUse(Join(target, relative))) inUse.push_back(Join(target, relative));
      return true;
    });
  }
  return inUse;
}

bool CStagedInstall::MoveIntoPlace() {
  // A version that brings folders of the installer's own names cannot be put in place.
  if (Exists(Join(m_staging, kStagingName)) || Exists(Join(m_staging, kBackupName)) ||
      Exists(Join(m_staging, kLockName))) {
    DiscardStaging();
    return FailWith(ERROR_INVALID_DATA);
  }
  // A staging folder that cannot be listed, or holds nothing, is no version to install.
  std::vector<Step> plan;
  if (!Plan(&plan) || plan.empty()) {
    DiscardStaging();
    return FailWith(ERROR_INVALID_DATA);
  }
  RemoveTree(m_backup);
  if (!MakeHiddenFolder(m_backup) || !WritePlan(plan)) {
    const DWORD error = ::GetLastError();
    RemoveTree(m_backup);
    DiscardStaging();
    return FailWith(error);
  }
  const std::string backupFiles = Join(m_backup, kBackupFilesName);
  for (size_t i = 0; i < plan.size(); ++i) {
    if (i == plan.size() / 2) PauseForTesting();
    const Step& step = plan[i];
    const std::string target = Join(m_folder, step.path);
    const std::string staged = Join(m_staging, step.path);
    bool moved = false;
    switch (step.kind) {
      case StepKind::kTree:
      case StepKind::kAdd:
        moved = ::MoveFileExA(staged.c_str(), target.c_str(), 0) != FALSE;
        break;
      case StepKind::kReplace: {
        const std::string aside = Join(backupFiles, step.path);
        moved = CZipExtractor::EnsureParentFolder(aside.c_str()) &&
                ::MoveFileExA(target.c_str(), aside.c_str(), 0) &&
                ::MoveFileExA(staged.c_str(), target.c_str(), 0);
        break;
      }
    }
    if (!moved) {
      const DWORD error = ::GetLastError();
      // With the plan kept when something cannot be put back, the next run tries again.
      RollBack(plan);
      DiscardStaging();
      return FailWith(error);
    }
  }
  // Removing the plan completes the installation: from here on a leftover backup folder
  // only holds old files to remove. While it stands, the moves count as unfinished.
  if (!::DeleteFileA(Join(m_backup, kPlanName).c_str())) {
    const DWORD error = ::GetLastError();
    RollBack(plan);
    DiscardStaging();
    return FailWith(error);
  }
  return true;
}

void CStagedInstall::DiscardStaging() { RemoveTree(m_staging); }

bool CStagedInstall::RollBack(const std::vector<Step>& plan) {
  const std::string backupFiles = Join(m_backup, kBackupFilesName);
  bool restored = true;
  for (auto step = plan.rbegin(); step != plan.rend(); ++step) {
    const std::string target = Join(m_folder, step->path);
    switch (step->kind) {
      case StepKind::kTree:
      case StepKind::kAdd:
        // Neither was there before the moves began.
        RemoveTree(target);
        if (Exists(target)) restored = false;
        break;
      case StepKind::kReplace: {
        // An old file still in place was never moved aside. Once it was, what is in its
        // place is the new one.
        const std::string aside = Join(backupFiles, step->path);
        if (!Exists(aside)) break;
        RemoveTree(target);
        if (!::MoveFileExA(aside.c_str(), target.c_str(), 0)) restored = false;
        break;
      }
    }
  }
  if (restored) RemoveWorkFolders();
  return restored;
}

bool CStagedInstall::WritePlan(const std::vector<Step>& plan) {
  std::string text;
  for (const Step& step : plan) {
    text += static_cast<char>(step.kind);
    text += '\t';
    text += step.path;
    text += "\r\n";
  }
  const std::string path = Join(m_backup, kPlanName);
  const std::string partial = path + ".part";
  winfx::File file;
  if (!file.Create(partial) || !file.Write(text.data(), static_cast<DWORD>(text.size())) ||
      !file.Flush() || !file.Close()) {
    return false;
  }
  return ::MoveFileExA(partial.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool CStagedInstall::ReadPlan(std::vector<Step>* plan) const {
  bool read = false;
  const std::string text = ReadWholeFile(Join(m_backup, kPlanName), &read);
  if (!read) return false;
  // One step a line (a string stream would link the whole of iostreams into the program).
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 3 || line[1] != '\t') return false;
    const char kind = line[0];
    if (kind != 'T' && kind != 'R' && kind != 'N') return false;
    plan->push_back({static_cast<StepKind>(kind), line.substr(2)});
  }
  return true;
}

void CStagedInstall::RemoveOldFiles() { RemoveWorkFolders(); }

void CStagedInstall::RemoveWorkFolders() {
  // The plan goes first: a backup whose plan is gone is never taken for unfinished moves,
  // and one whose plan stays keeps every old file the plan needs.
  const std::string plan = Join(m_backup, kPlanName);
  if (Exists(plan) && !::DeleteFileA(plan.c_str())) return;
  RemoveTree(m_backup);
  DiscardStaging();
}
