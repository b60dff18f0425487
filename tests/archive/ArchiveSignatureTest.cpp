// The archive signature check on real files and real signatures made by openssl at build
// time (make_signatures.py), checked through the system's cryptography under Wine.
#include "archive/ArchiveSignature.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "winfx/ScopedHandle.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;
using Verdict = ArchiveSignature::Verdict;

std::string VectorPath(const std::string& name) {
  return FromUnixPath(QUILLON_TEST_SIGNATURES) + "\\" + name;
}

std::string Vector(const std::string& name) { return ReadFileBytes(VectorPath(name)); }

class ArchiveSignatureTest : public ::testing::Test {
 protected:
  ArchiveSignatureTest() : key_(Vector("key.xy")) {}

  // The verdict for the file at path against the signature bytes.
  Verdict Check(const std::string& path, const std::string& signature) {
    EXPECT_EQ(ArchiveSignature::kPublicKeySize, key_.size());
    winfx::ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.IsValid()) << path;
    ArchiveSignature check(reinterpret_cast<const unsigned char*>(key_.data()));
    return check.Verify(file.Get(), signature);
  }

  std::string key_;
  TempFolder folder_{"signature"};
};

TEST_F(ArchiveSignatureTest, TheKeysSignatureOfTheVeryBytesIsGenuine) {
  EXPECT_EQ(Verdict::kGenuine, Check(VectorPath("data.bin"), Vector("good.sig")));
  EXPECT_EQ(Verdict::kGenuine, Check(VectorPath("empty.bin"), Vector("empty.sig")));
}

TEST_F(ArchiveSignatureTest, AShortROrSIsPaddedToItsFullWidth) {
  // r (then s) is below 2^248: its DER form has fewer than 32 bytes, so its first byte of
  // r || s must be a zero put in front.
  unsigned char rs[64];
  ASSERT_TRUE(ArchiveSignature::DecodeDerSignature(Vector("short_r.sig"), rs));
  EXPECT_EQ(0, rs[0]);
  ASSERT_TRUE(ArchiveSignature::DecodeDerSignature(Vector("short_s.sig"), rs));
  EXPECT_EQ(0, rs[32]);
  EXPECT_EQ(Verdict::kGenuine, Check(VectorPath("data.bin"), Vector("short_r.sig")));
  EXPECT_EQ(Verdict::kGenuine, Check(VectorPath("data.bin"), Vector("short_s.sig")));
}

TEST_F(ArchiveSignatureTest, OneChangedByteOrAnotherSignatureIsAMismatch) {
  std::string bytes = Vector("data.bin");
  bytes[bytes.size() / 2] ^= 0x01;
  const std::string changed = folder_ / "changed.bin";
  ASSERT_TRUE(WriteFileBytes(changed, bytes));
  EXPECT_EQ(Verdict::kMismatch, Check(changed, Vector("good.sig")));
  EXPECT_EQ(Verdict::kMismatch, Check(VectorPath("data.bin"), Vector("other_key.sig")));
  EXPECT_EQ(Verdict::kMismatch, Check(VectorPath("data.bin"), Vector("other_file.sig")));
  EXPECT_EQ(Verdict::kMismatch, Check(VectorPath("empty.bin"), Vector("good.sig")));
  // A byte more at the end is other bytes too.
  const std::string longer = folder_ / "longer.bin";
  ASSERT_TRUE(WriteFileBytes(longer, Vector("data.bin") + "x"));
  EXPECT_EQ(Verdict::kMismatch, Check(longer, Vector("good.sig")));
}

TEST_F(ArchiveSignatureTest, WhatIsNoDerSignatureIsRefusedAsMalformed) {
  const std::string good = Vector("good.sig");
  const std::string data = VectorPath("data.bin");
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(data, ""));
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(data, good.substr(0, good.size() - 1)));
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(data, good + '\0'));
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(data, std::string(64, '\x41')));
  // r || s without the DER wrapping, as some tools write it.
  unsigned char rs[64];
  ASSERT_TRUE(ArchiveSignature::DecodeDerSignature(good, rs));
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(data, std::string(reinterpret_cast<char*>(rs), 64)));
}

TEST_F(ArchiveSignatureTest, DerIntegersMustBePositiveMinimalAndFitACoordinate) {
  unsigned char rs[64];
  const auto decodes = [&rs](std::initializer_list<int> bytes) {
    std::string der;
    for (int b : bytes) der += static_cast<char>(b);
    return ArchiveSignature::DecodeDerSignature(der, rs);
  };
  EXPECT_TRUE(decodes({0x30, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x07}));
  EXPECT_EQ(0x05, rs[31]);
  EXPECT_EQ(0x00, rs[0]);
  EXPECT_EQ(0x07, rs[63]);
  EXPECT_FALSE(decodes({0x30, 0x06, 0x02, 0x01, 0x85, 0x02, 0x01, 0x07}));        // negative
  EXPECT_FALSE(decodes({0x30, 0x07, 0x02, 0x02, 0x00, 0x05, 0x02, 0x01, 0x07}));  // padded
  EXPECT_FALSE(decodes({0x30, 0x05, 0x02, 0x01, 0x05, 0x02, 0x00}));              // empty s
  EXPECT_FALSE(decodes({0x30, 0x06, 0x02, 0x01, 0x05, 0x04, 0x01, 0x07}));        // no INTEGER
  EXPECT_FALSE(decodes({0x30, 0x81, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x07}));  // long form
  std::string wide = {0x30, 0x26, 0x02, 0x21, 0x01};  // r of 33 significant bytes
  wide += std::string(32, '\x11');
  wide += std::string{0x02, 0x01, 0x07};
  EXPECT_FALSE(ArchiveSignature::DecodeDerSignature(wide, rs));
}

TEST_F(ArchiveSignatureTest, ASignatureFileIsReadWholeOnlyUpToItsLimit) {
  std::string der;
  EXPECT_EQ(Verdict::kGenuine, ArchiveSignature::ReadSignatureFile(VectorPath("good.sig"), &der));
  EXPECT_EQ(Vector("good.sig"), der);

  const std::string large = folder_ / "large.sig";
  ASSERT_TRUE(WriteFileBytes(large, Vector("good.sig") + std::string(1024, ' ')));
  EXPECT_EQ(Verdict::kSignatureTooLarge, ArchiveSignature::ReadSignatureFile(large, &der));
  EXPECT_TRUE(der.empty());
  // At the limit it is still read (and then refused for what it holds).
  ASSERT_TRUE(WriteFileBytes(large, std::string(ArchiveSignature::kMaxSignatureFileSize, '0')));
  EXPECT_EQ(Verdict::kGenuine, ArchiveSignature::ReadSignatureFile(large, &der));
  EXPECT_EQ(Verdict::kSignatureMalformed, Check(VectorPath("data.bin"), der));

  EXPECT_EQ(Verdict::kSignatureMissing,
            ArchiveSignature::ReadSignatureFile(folder_ / "missing.sig", &der));
}

}  // namespace
