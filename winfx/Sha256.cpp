#include "winfx/Sha256.h"

#include <vector>

namespace winfx {

Sha256::Sha256() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    algorithm_.Reset(algorithm);
  }
  Reset();
}

bool Sha256::Reset() {
  hash_.Reset();
  BCRYPT_HASH_HANDLE hash = nullptr;
  failed_ = !algorithm_ ||
            !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm_.Get(), &hash, nullptr, 0, nullptr, 0, 0));
  if (!failed_) hash_.Reset(hash);
  return !failed_;
}

bool Sha256::Add(const void* data, size_t size) {
  if (failed_) return false;
  // The system takes the bytes as non-const, but does not change them.
  failed_ = !BCRYPT_SUCCESS(::BCryptHashData(
      hash_.Get(), static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0));
  return !failed_;
}

bool Sha256::AddFile(HANDLE file) {
  std::vector<unsigned char> block(kFileBlockSize);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, block.data(), kFileBlockSize, &got, nullptr)) {
      failed_ = true;
      return false;
    }
    if (got == 0) return !failed_;
    if (!Add(block.data(), got)) return false;
  }
}

bool Sha256::Finish(unsigned char (&digest)[kSize]) {
  if (failed_) return false;
  failed_ = true;  // spent
  return BCRYPT_SUCCESS(::BCryptFinishHash(hash_.Get(), digest, kSize, 0));
}

bool Sha256::OfFile(HANDLE file, unsigned char (&digest)[kSize]) {
  LARGE_INTEGER start = {};
  Sha256 sha;
  return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && sha.AddFile(file) &&
         sha.Finish(digest);
}

bool Sha256::OfBytes(const std::string& bytes, unsigned char (&digest)[kSize]) {
  Sha256 sha;
  return sha.Add(bytes.data(), bytes.size()) && sha.Finish(digest);
}

}  // namespace winfx
