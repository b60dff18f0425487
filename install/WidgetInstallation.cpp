#include "install/WidgetInstallation.h"

#include <memory>

#include "app/ProductConstants.h"
#include "archive/ReleaseRecord.h"
#include "install/CStagedInstall.h"
#include "winfx/FileTree.h"
#include "winfx/Format.h"
#include "winfx/RunningProgram.h"
#include "winfx/Saturating.h"
#include "winfx/Sha256.h"
#include "winfx/Stopwatch.h"
#include "winfx/WidePath.h"

namespace {

using Failure = InstallationScreen::Failure;
using winfx::JoinPath;

// The durations of the steps and the reason of a refused archive, in the log.
constexpr char kVerifyTimeLine[] = "[install] 서명 확인 %.1f ms";
constexpr char kVerifyFailedLine[] = "[install] 서명 확인 실패 : %s";
constexpr char kKeepFailedLine[] = "[install] 설치정보 저장 실패 : %lu";
constexpr char kExtractTimeLine[] = "[install] 압축해제 %.1f ms";
constexpr char kMoveTimeLine[] = "[install] 파일 이동 %.1f ms";

}  // namespace

unsigned long long WidgetInstallation::SpaceNeeded(unsigned long long unpacked,
                                                   unsigned long long entries) {
  // Saturated: no record's figures make the need look small.
  return winfx::SaturatingAdd(
      winfx::SaturatingAdd(unpacked, winfx::SaturatingMultiply(entries, kSpacePerEntry)), kSpaceMargin);
}

WidgetInstallation::WidgetInstallation(std::string folder, const ReleaseRecord* release,
                                       const unsigned char* digest, InstallationScreen* screen,
                                       CSetupUtil* log, bool archiveWasThere)
    : m_folder(std::move(folder)),
      m_archive(JoinPath(m_folder, product::kArchiveFile)),
      m_release(release),
      m_digest(digest),
      m_screen(*screen),
      m_log(*log),
      m_archiveWasThere(archiveWasThere) {}

bool WidgetInstallation::IsLocalFault(unsigned long error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return true;
    default:
      return false;
  }
}

bool WidgetInstallation::Run() {
  m_zip.SetLogFolder(m_folder);
  // Extracted into the staging folder, measured against the folder the files go to.
  m_zip.SetFinalFolder(m_folder);
  CStagedInstall staged(m_folder);
  // What a killed run left is put right before anything else is written.
  if (!RecoverLeftovers(&staged)) return false;
  // The checked archive stays open without sharing for writers until the extraction has
  // ended, and the extraction reads it through the handle that was checked: what is
  // extracted is what was checked, whatever the archive's name names meanwhile.
  winfx::ScopedHandle checked;
  if (!VerifyArchive(&checked)) return false;
  if (!checked || !m_zip.OpenFrom(checked.Get())) {
    checked.Reset();
    // A download that is no zip is of no use to the next run; a file that was there
    // before the confirmation is not the installer's to remove unless it was checked.
    if (!m_archiveWasThere || m_release != nullptr) DeleteArchive();
    return Fail(Failure::kNoArchive);
  }
  m_screen.OnExtracting();
  const winfx::Stopwatch extractTime;
  const bool prepared = staged.PrepareStaging();
  const int extracted = prepared ? m_zip.ExtractAll(staged.StagingFolder().c_str()) : 0;
  const DWORD error = prepared ? ::GetLastError() : ERROR_CANNOT_MAKE;
  m_zip.Close();
  checked.Reset();
  m_log.WriteLog(winfx::Format(kExtractTimeLine, extractTime.Milliseconds()));
  if (!extracted) {
    // Nothing of the new version reaches the folder. The archive stays only for a fault
    // of this machine's; any other would end the next run the same way.
    staged.DiscardStaging();
    if (!IsLocalFault(error)) DeleteArchive();
    return Fail(Failure::kExtractFailed);
  }
  Failure inUse = Failure::kWidgetRunning;
  std::string held;
  if (!FreeFilesInUse(staged, &CStagedInstall::TargetsInUse, &inUse, &held)) {
    // Nothing is moved; the archive stays for the next run.
    staged.DiscardStaging();
    return Fail(inUse, held);
  }
  const winfx::Stopwatch moveTime;
  const bool moved = staged.MoveIntoPlace();
  const DWORD moveError = moved ? ERROR_SUCCESS : ::GetLastError();
  m_log.WriteLog(winfx::Format(kMoveTimeLine, moveTime.Milliseconds()));
  if (!moved) {
    // A folder too deep to walk is the folder's state, not the archive's.
    if (moveError == winfx::FileTree::kTooDeepError) return Fail(Failure::kTooDeep);
    if (!IsLocalFault(moveError)) DeleteArchive();
    // A file that another program holds is named, so that the operator can close it.
    if (IsHeldError(moveError) && !staged.FailedPath().empty()) {
      return Fail(Failure::kFileInUse, staged.FailedPath());
    }
    return Fail(Failure::kMoveFailed);
  }
  // From here to its start, the widget's program is the one just moved in.
  m_start.Hold(m_folder, JoinPath(m_folder, product::kWidgetProgram));
  staged.RemoveOldFiles();
  // The next run compares what it is offered with this release.
  if (m_release != nullptr &&
      !ReleaseRecord::Keep(m_folder, JoinPath(m_folder, product::kReleaseRecordFile),
                           JoinPath(m_folder, product::kReleaseSignatureFile))) {
    m_log.WriteLog(winfx::Format(kKeepFailedLine, ::GetLastError()));
  }
  DeleteArchive();
  return true;
}

bool WidgetInstallation::StartWidget() { return m_start.Start(&m_log); }

bool WidgetInstallation::RecoverLeftovers(CStagedInstall* staged) {
  // A widget started from the half-moved folder holds files the recovery must take back:
  // it is closed first, with the operator's leave, as before the moves. On Cancel nothing
  // is touched and the next run asks again.
  Failure inUse = Failure::kWidgetRunning;
  std::string held;
  if (!FreeFilesInUse(*staged, &CStagedInstall::LeftoversInUse, &inUse, &held)) return Fail(inUse, held);
  if (staged->RecoverLeftovers()) return true;
  if (::GetLastError() == winfx::FileTree::kTooDeepError) return Fail(Failure::kTooDeep);
  return Fail(Failure::kLeftoversStay, staged->WorkFoldersLeft());
}

bool WidgetInstallation::VerifyArchive(winfx::ScopedHandle* checked) {
  checked->Reset(::CreateFileW(winfx::WidePath(m_archive).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (m_release == nullptr) return true;
  const DWORD openError = *checked ? ERROR_SUCCESS : ::GetLastError();
  // No archive at all (its download never started): nothing to check or to remove.
  if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) {
    return Fail(Failure::kNoArchive);
  }
  const winfx::Stopwatch verifyTime;
  unsigned char digest[ReleaseRecord::kDigestSize];
  const char* refusal = *checked ? m_release->Mismatch(checked->Get(), m_digest, digest) : "UNREADABLE";
  m_log.WriteLog(winfx::Format(kVerifyTimeLine, verifyTime.Milliseconds()));
  if (refusal == nullptr) return true;
  // The pair is at fault, not this machine: the next run fetches both afresh.
  checked->Reset();
  DeleteArchive();
  m_log.WriteLog(winfx::Format(kVerifyFailedLine, refusal));
  return Fail(Failure::kNotSigned);
}

bool WidgetInstallation::IsHeldError(unsigned long error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool WidgetInstallation::FreeFilesInUse(const CStagedInstall& staged, InUseList list, Failure* failure,
                                        std::string* path) {
  const std::vector<winfx::WideString> files = (staged.*list)();
  if (files.empty()) return true;
  if (!m_screen.AllowClosingWidget()) {
    *failure = Failure::kWidgetRunning;
    return false;
  }
  CloseProgramsUsing(files);
  // A file may also be held by something that is no program of its own: checked again.
  const std::vector<winfx::WideString> left = (staged.*list)();
  if (left.empty()) return true;
  *failure = Failure::kFileInUse;
  *path = winfx::ToShownAnsi(left.front());
  return false;
}

void WidgetInstallation::CloseProgramsUsing(const std::vector<winfx::WideString>& files) {
  std::vector<std::unique_ptr<winfx::RunningProgram>> programs;
  for (const winfx::WideString& file : files) {
    programs.push_back(std::make_unique<winfx::RunningProgram>(file));
    programs.back()->AskToClose();
  }
  const DWORD start = ::GetTickCount();
  for (const auto& program : programs) {
    const DWORD spent = ::GetTickCount() - start;
    program->WaitForEnd(spent < kCloseWaitMs ? kCloseWaitMs - spent : 0);
  }
}

void WidgetInstallation::DeleteArchive() {
  for (const char* name : {product::kArchiveFile, product::kReleaseRecordFile,
                           product::kReleaseSignatureFile}) {
    ::DeleteFileW(winfx::WidePath(JoinPath(m_folder, name)).c_str());
  }
}

bool WidgetInstallation::Fail(Failure failure, const std::string& path) {
  m_screen.OnFailure(failure, path);
  return false;
}
