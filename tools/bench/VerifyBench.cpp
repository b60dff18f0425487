// Times the signature check of one archive as the installer makes it: opened for reading,
// hashed in the check's blocks and verified against the vendor key's signature.
//   verify_bench.exe ARCHIVE KEY_XY SIGNATURE
// KEY_XY holds X and Y of the public key (64 bytes), SIGNATURE openssl's DER signature.
// Prints "verify_seconds S" and "verdict NAME".
#include <windows.h>

#include <cstdio>
#include <string>

#include "archive/ArchiveSignature.h"
#include "winfx/ScopedHandle.h"

namespace {

double Seconds() {
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string ReadAll(const char* path) {
  std::string bytes;
  if (FILE* file = std::fopen(path, "rb")) {
    char block[4096];
    for (size_t got; (got = std::fread(block, 1, sizeof(block), file)) > 0;) bytes.append(block, got);
    std::fclose(file);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: verify_bench ARCHIVE KEY_XY SIGNATURE\n");
    return 2;
  }
  const std::string key = ReadAll(argv[2]);
  std::string signature;
  if (key.size() != ArchiveSignature::kPublicKeySize ||
      ArchiveSignature::ReadSignatureFile(argv[3], &signature) != ArchiveSignature::Verdict::kGenuine) {
    std::fprintf(stderr, "verify_bench: no key or no signature\n");
    return 2;
  }
  const double start = Seconds();
  winfx::ScopedHandle archive(::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  const ArchiveSignature::Verdict verdict =
      ArchiveSignature(reinterpret_cast<const unsigned char*>(key.data())).Verify(archive.Get(), signature);
  std::printf("verify_seconds %.4f\nverdict %s\n", Seconds() - start, ArchiveSignature::VerdictName(verdict));
  return verdict == ArchiveSignature::Verdict::kGenuine ? 0 : 1;
}
