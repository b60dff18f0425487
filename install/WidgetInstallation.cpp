#include "install/WidgetInstallation.h"

#include <memory>

#include "app/ProductConstants.h"
#include "archive/ArchiveSignature.h"
#include "install/CStagedInstall.h"
#include "winfx/Format.h"
#include "winfx/RunningProgram.h"
#include "winfx/WidePath.h"

namespace {

using Failure = InstallationScreen::Failure;
using winfx::JoinPath;

// The durations of the steps and the reason of a refused signature, in the log.
constexpr char kVerifyTimeLine[] = "[install] 서명 확인 %.1f ms";
constexpr char kVerifyFailedLine[] = "[install] 서명 확인 실패 : %s";
constexpr char kExtractTimeLine[] = "[install] 압축해제 %.1f ms";
constexpr char kMoveTimeLine[] = "[install] 파일 이동 %.1f ms";

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(Now().QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

WidgetInstallation::WidgetInstallation(std::string folder, const unsigned char* publicKey,
                                       InstallationScreen* screen, CSetupUtil* log,
                                       bool archiveWasThere)
    : m_folder(std::move(folder)),
      m_archive(JoinPath(m_folder, product::kArchiveFile)),
      m_signature(JoinPath(m_folder, product::kArchiveSignatureFile)),
      m_publicKey(publicKey),
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
  // ended: nothing can swap it in between.
  winfx::ScopedHandle checked;
  if (!VerifyArchive(&checked)) return false;
  if (!m_zip.Open(m_archive.c_str())) {
    checked.Reset();
    // A download that is no zip is of no use to the next run; a file that was there
    // before the confirmation is not the installer's to remove unless it was checked.
    if (!m_archiveWasThere || m_publicKey != nullptr) DeleteArchive();
    return Fail(Failure::kNoArchive);
  }
  if (!CheckFreeSpace()) {
    m_zip.Close();
    return false;
  }
  m_screen.OnExtracting();
  const LARGE_INTEGER extractStart = Now();
  const bool prepared = staged.PrepareStaging();
  const int extracted = prepared ? m_zip.ExtractAll(staged.StagingFolder().c_str()) : 0;
  const DWORD error = prepared ? ::GetLastError() : ERROR_CANNOT_MAKE;
  m_zip.Close();
  checked.Reset();
  m_log.WriteLog(winfx::Format(kExtractTimeLine, MillisecondsSince(extractStart)));
  if (!extracted) {
    // Nothing of the new version reaches the folder. The archive stays only for a fault
    // of this machine's; any other would end the next run the same way.
    staged.DiscardStaging();
    if (!IsLocalFault(error)) DeleteArchive();
    return Fail(Failure::kExtractFailed);
  }
  // A file may also be held by something that is no program of its own: checked again.
  if (!CloseProgramsUsing(staged.TargetsInUse()) || !staged.TargetsInUse().empty()) {
    // Nothing is moved; the archive stays for the next run.
    staged.DiscardStaging();
    return Fail(Failure::kWidgetRunning);
  }
  const LARGE_INTEGER moveStart = Now();
  const bool moved = staged.MoveIntoPlace();
  const DWORD moveError = moved ? ERROR_SUCCESS : ::GetLastError();
  m_log.WriteLog(winfx::Format(kMoveTimeLine, MillisecondsSince(moveStart)));
  if (!moved) {
    if (!IsLocalFault(moveError)) DeleteArchive();
    return Fail(Failure::kMoveFailed);
  }
  staged.RemoveOldFiles();
  DeleteArchive();
  return true;
}

bool WidgetInstallation::RecoverLeftovers(CStagedInstall* staged) {
  // A widget started from the half-moved folder holds files the recovery must take back:
  // it is closed first, with the operator's leave, as before the moves. On Cancel nothing
  // is touched and the next run asks again.
  if (!CloseProgramsUsing(staged->LeftoversInUse()) || !staged->LeftoversInUse().empty()) {
    return Fail(Failure::kWidgetRunning);
  }
  return staged->RecoverLeftovers() || Fail(Failure::kLeftoversStay);
}

bool WidgetInstallation::VerifyArchive(winfx::ScopedHandle* checked) {
  if (m_publicKey == nullptr) return true;
  checked->Reset(::CreateFileW(winfx::WidePath(m_archive).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const DWORD openError = *checked ? ERROR_SUCCESS : ::GetLastError();
  // No archive at all (its download never started): nothing to check or to remove.
  if (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND) {
    return Fail(Failure::kNoArchive);
  }
  const LARGE_INTEGER start = Now();
  std::string signature;
  ArchiveSignature::Verdict verdict = ArchiveSignature::ReadSignatureFile(m_signature, &signature);
  if (verdict == ArchiveSignature::Verdict::kGenuine) {
    verdict = *checked ? ArchiveSignature(m_publicKey).Verify(checked->Get(), signature)
                       : ArchiveSignature::Verdict::kArchiveUnreadable;
  }
  m_log.WriteLog(winfx::Format(kVerifyTimeLine, MillisecondsSince(start)));
  if (verdict == ArchiveSignature::Verdict::kGenuine) return true;
  // The pair is at fault, not this machine: the next run fetches both afresh.
  checked->Reset();
  DeleteArchive();
  m_log.WriteLog(winfx::Format(kVerifyFailedLine, ArchiveSignature::VerdictName(verdict)));
  return Fail(Failure::kNotSigned);
}

bool WidgetInstallation::CheckFreeSpace() {
  unsigned long long total = 0;
  unsigned long entries = 0;
  ULARGE_INTEGER available;
  // Without these figures the extraction itself finds out (and reports) what is wrong.
  if (!m_zip.GetTotalSize(&total, &entries) ||
      !::GetDiskFreeSpaceExW(winfx::WidePath(m_folder).c_str(), &available, nullptr, nullptr)) {
    return true;
  }
  const unsigned long long needed = total + entries * kSpacePerEntry + kSpaceMargin;
  if (available.QuadPart >= needed) return true;
  m_screen.OnNoSpace(needed, available.QuadPart);
  return false;
}

bool WidgetInstallation::CloseProgramsUsing(const std::vector<winfx::WideString>& files) {
  if (files.empty()) return true;
  if (!m_screen.AllowClosingWidget()) return false;
  std::vector<std::unique_ptr<winfx::RunningProgram>> programs;
  for (const winfx::WideString& file : files) {
    programs.push_back(std::make_unique<winfx::RunningProgram>(file));
    programs.back()->AskToClose();
  }
  const DWORD start = ::GetTickCount();
  bool ended = true;
  for (const auto& program : programs) {
    const DWORD spent = ::GetTickCount() - start;
    ended = program->WaitForEnd(spent < kCloseWaitMs ? kCloseWaitMs - spent : 0) && ended;
  }
  return ended;
}

void WidgetInstallation::DeleteArchive() {
  ::DeleteFileW(winfx::WidePath(m_archive).c_str());
  ::DeleteFileW(winfx::WidePath(m_signature).c_str());
}

bool WidgetInstallation::Fail(Failure failure) {
  m_screen.OnFailure(failure);
  return false;
}
