// SecurityDescriptor: a self-relative security descriptor the program owns (LocalFree'd),
// made from SDDL text or read from an open object; and the SID of the process's user.
#pragma once

#include <windows.h>

#include "winfx/WidePath.h"

namespace winfx {

class SecurityDescriptor {
 public:
  SecurityDescriptor() = default;
  ~SecurityDescriptor() { Reset(); }
  SecurityDescriptor(const SecurityDescriptor&) = delete;
  SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;

  // The descriptor sddl describes; false (and none held) when it is no valid SDDL.
  bool FromSddl(const WideString& sddl);
  // The owner and DACL of the object handle names (a file or folder opened with
  // READ_CONTROL); false (and none held) when they cannot be read.
  bool ReadFrom(HANDLE handle);

  bool IsValid() const { return descriptor_ != nullptr; }
  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }
  // The owner; null when there is none or no descriptor.
  PSID Owner() const;
  // The DACL; null when there is none (which grants everyone everything) or no descriptor.
  PACL Dacl() const;
  // The descriptor's owner, group and DACL with their flags as SDDL; "" without one.
  WideString ToSddl() const;

  // sid as SDDL ("S-1-5-18"); "" when it cannot be converted.
  static WideString SidText(PSID sid);
  // The process token's user as SDDL ("S-1-5-21-..."); "" when it cannot be read.
  static WideString CurrentUserSid();

 private:
  void Reset();

  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace winfx
