#include "winfx/SecurityDescriptor.h"

#include <aclapi.h>
#include <sddl.h>

#include "winfx/ScopedHandle.h"

namespace winfx {

namespace {

constexpr SECURITY_INFORMATION kOwnerAndDacl = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

}  // namespace

void SecurityDescriptor::Reset() {
  if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  descriptor_ = nullptr;
}

bool SecurityDescriptor::FromSddl(const WideString& sddl) {
  Reset();
  return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor_, nullptr) != FALSE;
}

bool SecurityDescriptor::ReadFrom(HANDLE handle) {
  Reset();
  if (::GetSecurityInfo(handle, SE_FILE_OBJECT, kOwnerAndDacl, nullptr, nullptr, nullptr, nullptr,
                        &descriptor_) != ERROR_SUCCESS) {
    descriptor_ = nullptr;
    return false;
  }
  return true;
}

PSID SecurityDescriptor::Owner() const {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (descriptor_ == nullptr || !::GetSecurityDescriptorOwner(descriptor_, &owner, &defaulted)) {
    return nullptr;
  }
  return owner;
}

PACL SecurityDescriptor::Dacl() const {
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  if (descriptor_ == nullptr || !::GetSecurityDescriptorDacl(descriptor_, &present, &dacl, &defaulted) ||
      !present) {
    return nullptr;
  }
  return dacl;
}

WideString SecurityDescriptor::ToSddl() const {
  LPWSTR text = nullptr;
  if (descriptor_ == nullptr ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor_, SDDL_REVISION_1, kOwnerAndDacl | GROUP_SECURITY_INFORMATION, &text, nullptr)) {
    return WideString();
  }
  WideString sddl(text);
  ::LocalFree(text);
  return sddl;
}

WideString SecurityDescriptor::CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return WideString();
  ScopedHandle token(raw);
  // TOKEN_USER and the SID it points to, which follows it.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } info;
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenUser, &info, sizeof(info), &size)) return WideString();
  return SidText(info.user.User.Sid);
}

WideString SecurityDescriptor::SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) return WideString();
  WideString sddl(text);
  ::LocalFree(text);
  return sddl;
}

}  // namespace winfx
