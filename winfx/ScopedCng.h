// Scoped owners of the handles of the system's cryptography (CNG): an algorithm provider,
// a key and a hash object.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "winfx/ScopedHandle.h"

namespace winfx {

struct CngAlgorithmTraits {
  using Handle = BCRYPT_ALG_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using ScopedCngAlgorithm = ScopedGeneric<CngAlgorithmTraits>;

struct CngKeyTraits {
  using Handle = BCRYPT_KEY_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptDestroyKey(h); }
};
using ScopedCngKey = ScopedGeneric<CngKeyTraits>;

struct CngHashTraits {
  using Handle = BCRYPT_HASH_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::BCryptDestroyHash(h); }
};
using ScopedCngHash = ScopedGeneric<CngHashTraits>;

}  // namespace winfx
