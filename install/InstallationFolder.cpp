#include "install/InstallationFolder.h"

#include <aclapi.h>

#include <vector>

#include "app/ProductConstants.h"
#include "archive/ReleaseRecord.h"
#include "install/CStagedInstall.h"
#include "winfx/FileTree.h"
#include "winfx/Format.h"
#include "winfx/SecurityDescriptor.h"

namespace {

using winfx::JoinPath;
using winfx::SecurityDescriptor;
using winfx::WideString;
using Reason = InstallationFolder::Reason;

// Lines of the daily log: a refused folder (its reason's number and the system's error),
// and a folder whose permissions were set anew.
constexpr char kRefusedLine[] = "[install] 설치폴더 사용 불가 %s (이유 %d, err : %d)";
constexpr char kProtectedLine[] = "[install] 설치폴더 권한을 다시 설정했습니다. %s";
constexpr char kEmptyFolderRemovedLine[] = "[install] 설치프로그램의 이름을 가진 빈 폴더를 지웠습니다. %s";

// SYSTEM and the administrators, who may do anything on the machine anyway, and
// CREATOR OWNER, which only passes rights on to whoever made an entry below.
constexpr wchar_t kSystemSid[] = L"S-1-5-18";
constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";
constexpr wchar_t kCreatorOwnerSid[] = L"S-1-3-0";

// Rights that let a holder change what the folder holds or who may.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool SameText(const WideString& a, const wchar_t* b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsTrusted(const WideString& sid, const WideString& user) {
  return SameText(sid, kSystemSid) || SameText(sid, kAdministratorsSid) || SameText(sid, user.c_str());
}

// True when dacl lets anyone but the trusted ones change the folder: no DACL at all, or an
// allowing entry (of any kind but the plain one, to be safe) for another with such rights.
bool OpenToOthers(PACL dacl, const WideString& user) {
  if (dacl == nullptr) return true;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return true;
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    const auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    const WideString sid = SecurityDescriptor::SidText(const_cast<DWORD*>(&ace->SidStart));
    if ((ace->Mask & kChangeRights) != 0 && !IsTrusted(sid, user) && !SameText(sid, kCreatorOwnerSid)) {
      return true;
    }
  }
  return false;
}

// Length of path's root ("\\?\C:\", "\\?\UNC\server\share\"): the levels below it are
// checked.
size_t RootLength(const WideString& path) {
  const WideString unc = L"\\\\?\\UNC\\";
  if (path.compare(0, unc.size(), unc) != 0) return 7;
  const size_t server = path.find(L'\\', unc.size());
  const size_t share = server == WideString::npos ? server : path.find(L'\\', server + 1);
  return share == WideString::npos ? path.size() : share + 1;
}

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Makes path and every missing parent, each with the protected permissions; the system's
// error, ERROR_SUCCESS when it exists (as something) afterwards.
DWORD MakeFolders(const WideString& path, size_t rootLength) {
  if (InstallationFolder::MakeProtectedFolder(path)) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS) return ERROR_SUCCESS;
  const size_t cut = path.find_last_of(L'\\');
  if (error != ERROR_PATH_NOT_FOUND || cut == WideString::npos || cut < rootLength) return error;
  const DWORD parent = MakeFolders(path.substr(0, cut), rootLength);
  if (parent != ERROR_SUCCESS) return parent;
  return InstallationFolder::MakeProtectedFolder(path) ? ERROR_SUCCESS : ::GetLastError();
}

Reason ReasonOfError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD ? Reason::kNoPermission
                                                                            : Reason::kCannotMake;
}

}  // namespace

WideString InstallationFolder::ProtectedSddl(const WideString& sid) {
  return L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + L")(A;OICI;0x1200a9;;;BU)";
}

bool InstallationFolder::MakeProtectedFolder(const WideString& path) {
  SecurityDescriptor descriptor;
  if (!descriptor.FromSddl(ProtectedSddl(SecurityDescriptor::CurrentUserSid()))) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
  return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

WideString InstallationFolder::LongPath(const std::string& folder) {
  WideString path = winfx::ExtendedLengthPath(folder);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

InstallationFolder::Reason InstallationFolder::Take(const std::string& folder, CSetupUtil* log) {
  Release();
  m_folder = folder;
  m_ownName.clear();
  const WideString path = LongPath(folder);
  Reason reason = Reason::kCannotMake;
  if (!path.empty()) {
    const DWORD made = MakeFolders(path, RootLength(path));
    reason = made == ERROR_SUCCESS ? Check(path, log) : ReasonOfError(made);
    if (made != ERROR_SUCCESS) ::SetLastError(made);
  }
  if (reason == Reason::kTaken) return reason;
  const DWORD error = ::GetLastError();
  Release();
  log->WriteLog(winfx::Format(kRefusedLine, folder.c_str(), static_cast<int>(reason), static_cast<int>(error)));
  return reason;
}

InstallationFolder::Reason InstallationFolder::Check(const WideString& path, CSetupUtil* log) {
  if (!m_held.Open(path)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED ? Reason::kNoPermission : Reason::kLink;
  }
  const DWORD attributes = m_held.Attributes();
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Reason::kCannotMake;  // a file of its name
  }
  // What was opened is what the path names through plain folders only: no level is a
  // reparse point, and the system's own name of the folder held is the path (in its long
  // form) itself.
  if (!IsPlainFolder(attributes)) return Reason::kLink;
  for (size_t cut = path.find(L'\\', RootLength(path)); cut != WideString::npos;
       cut = path.find(L'\\', cut + 1)) {
    if (!IsPlainFolder(::GetFileAttributesW(path.substr(0, cut).c_str()))) return Reason::kLink;
  }
  std::vector<wchar_t> longPath(path.size() + MAX_PATH);
  const DWORD length = ::GetLongPathNameW(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
  const WideString expected = length > 0 && length < longPath.size() ? WideString(longPath.data(), length) : path;
  if (!SameText(m_held.FinalPath(), expected.c_str())) return Reason::kLink;

  const WideString user = SecurityDescriptor::CurrentUserSid();
  SecurityDescriptor security;
  if (!security.ReadFrom(m_held.GetHandleUnsafe()) ||
      !IsTrusted(SecurityDescriptor::SidText(security.Owner()), user)) {
    return Reason::kForeignOwner;
  }
  if (OpenToOthers(security.Dacl(), user)) {
    SecurityDescriptor protectedOne;
    if (!protectedOne.FromSddl(ProtectedSddl(user)) ||
        ::SetSecurityInfo(m_held.GetHandleUnsafe(), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, protectedOne.Dacl(), nullptr) != ERROR_SUCCESS ||
        !security.ReadFrom(m_held.GetHandleUnsafe()) || OpenToOthers(security.Dacl(), user)) {
      return Reason::kOpenToOthers;
    }
    log->WriteLog(winfx::Format(kProtectedLine, m_folder.c_str()));
  }
  const Reason ownNames = CheckOwnNames(log);
  if (ownNames != Reason::kTaken) return ownNames;
  switch (m_lock.Acquire(JoinPath(m_folder, CStagedInstall::kLockName))) {
    case winfx::FileLock::Result::kHeld:
      return Reason::kTaken;
    case winfx::FileLock::Result::kTaken:
      return Reason::kLocked;
    case winfx::FileLock::Result::kFailed:
      break;
  }
  return Reason::kLockFailed;
}

void InstallationFolder::Release() {
  m_lock.Release();
  m_held.Release();
}

InstallationFolder::Reason InstallationFolder::CheckOwnNames(CSetupUtil* log) {
  const std::vector<std::string> folders = {CStagedInstall::kStagingName, CStagedInstall::kBackupName};
  std::vector<std::string> files = {CStagedInstall::kLockName, ReleaseRecord::kKeptRecordName,
                                    ReleaseRecord::kKeptSignatureName};
  for (const char* file :
       {product::kArchiveFile, product::kReleaseRecordFile, product::kReleaseSignatureFile}) {
    for (const char* suffix : {"", product::kPartSuffix, product::kResumeSuffix}) {
      files.push_back(std::string(file) + suffix);
    }
  }
  const std::vector<std::string>* const lists[] = {&files, &folders};
  // Links first: nothing is touched in a folder where one of the names leads elsewhere.
  for (const std::vector<std::string>* names : lists) {
    for (const std::string& name : *names) {
      if (!winfx::FileTree::LeadsElsewhere(winfx::WidePath(JoinPath(m_folder, name)))) continue;
      m_ownName = name;
      return Reason::kOwnNameLink;
    }
  }
  for (const std::vector<std::string>* names : lists) {
    const winfx::EntryKind wrong = names == &folders ? winfx::EntryKind::kFile : winfx::EntryKind::kFolder;
    for (const std::string& name : *names) {
      const WideString path = winfx::WidePath(JoinPath(m_folder, name));
      if (winfx::FileTree::KindOf(path) != wrong) continue;
      // An empty folder where a file belongs holds nothing of anyone's.
      if (wrong == winfx::EntryKind::kFolder && ::RemoveDirectoryW(path.c_str())) {
        log->WriteLog(winfx::Format(kEmptyFolderRemovedLine, JoinPath(m_folder, name).c_str()));
        continue;
      }
      m_ownName = name;
      return Reason::kOwnNameInTheWay;
    }
  }
  return Reason::kTaken;
}
