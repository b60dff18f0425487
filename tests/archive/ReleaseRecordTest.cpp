// The release record on real records and signatures published with vendor/publish at build
// time (make_records.py), checked through the system's cryptography under Wine.
#include "archive/ReleaseRecord.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/TestSupport.h"
#include "winfx/Sha256.h"

namespace {

using testing_support::FromUnixPath;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;
using Verdict = ReleaseRecord::Verdict;

std::string VectorPath(const std::string& name) {
  return FromUnixPath(QUILLON_TEST_RECORDS) + "\\" + name;
}

std::string Vector(const std::string& name) { return ReadFileBytes(VectorPath(name)); }

ULONGLONG At(const std::string& utc) {
  ULONGLONG time = 0;
  EXPECT_TRUE(ReleaseRecord::ParseUtcTime(utc, &time)) << utc;
  return time;
}

class ReleaseRecordTest : public ::testing::Test {
 protected:
  ReleaseRecordTest() : first_(Vector("first.xy")), second_(Vector("second.xy")) {
    EXPECT_EQ(ArchiveSignature::kPublicKeySize, first_.size());
    EXPECT_EQ(ArchiveSignature::kPublicKeySize, second_.size());
    std::memcpy(keys_[0], second_.data(), ArchiveSignature::kPublicKeySize);
    std::memcpy(keys_[1], first_.data(), ArchiveSignature::kPublicKeySize);
  }

  // Keys: the second key, then the first (count 1: the second alone).
  ReleaseRecord::Keys Keys(size_t count = 2) const { return {keys_, count}; }

  Verdict Read(const std::string& name, const std::string& signature, ReleaseRecord* record,
               size_t keyCount = 2) {
    return ReleaseRecord::FromFiles(VectorPath(name + ".meta"), VectorPath(signature + ".sig"),
                                    Keys(keyCount), record);
  }

  std::string first_;
  std::string second_;
  unsigned char keys_[2][ArchiveSignature::kPublicKeySize];
  TempFolder folder_{"record"};
};

TEST_F(ReleaseRecordTest, ARecordSignedByAnyKeyReadsAsPublished) {
  for (const char* signature : {"good", "second"}) {
    SCOPED_TRACE(signature);
    ReleaseRecord record;
    ASSERT_EQ(Verdict::kValid, Read("good", signature, &record));
    EXPECT_EQ("archive.zip", record.File());
    EXPECT_EQ("1.4.2", record.Version());
    const std::string archive = Vector("archive.zip");
    EXPECT_EQ(archive.size(), record.Length());
    unsigned char digest[32];
    ASSERT_TRUE(winfx::Sha256::OfBytes(archive, digest));
    EXPECT_EQ(0, std::memcmp(digest, record.Sha256(), 32));
    EXPECT_EQ(1234u, record.Unpacked());
    EXPECT_EQ(2u, record.Entries());
    EXPECT_EQ(At("2030-01-02T03:04:05Z"), record.Expires());
  }
}

TEST_F(ReleaseRecordTest, AnyChangedByteOrAnUnknownKeyIsNotSigned) {
  ReleaseRecord record;
  // The first key's signature where only the second key is known.
  EXPECT_EQ(Verdict::kNotSigned, Read("good", "good", &record, 1));
  std::string text = Vector("good.meta");
  text[text.find("1.4.2")] = '9';
  EXPECT_EQ(Verdict::kNotSigned, ReleaseRecord::FromBytes(text, Vector("good.sig"), Keys(), &record));
  EXPECT_EQ(Verdict::kNotSigned, ReleaseRecord::FromBytes(Vector("good.meta"), "garbage", Keys(), &record));
  EXPECT_EQ(Verdict::kMissing, Read("absent", "good", &record));
  EXPECT_EQ(Verdict::kTooLarge, Read("large", "good", &record));
}

TEST_F(ReleaseRecordTest, OnlyTheExactFormatIsARecordEvenWhenSigned) {
  for (const char* name : {"crlf", "no_final_lf", "extra_line", "reordered", "upper_hex",
                           "leading_zero", "five_parts", "empty_part", "no_day", "local_time",
                           "format_2", "no_space", "control", "empty"}) {
    ReleaseRecord record;
    EXPECT_EQ(Verdict::kMalformed, Read(name, name, &record)) << name;
  }
}

TEST_F(ReleaseRecordTest, TheChecksComeInOrderAndVersionsCompareByTheirNumbers) {
  ReleaseRecord record;
  ASSERT_EQ(Verdict::kValid, Read("good", "good", &record));
  const ULONGLONG before = At("2030-01-02T03:04:04Z");
  EXPECT_EQ(Verdict::kValid, record.Check("archive.zip", before, "0", nullptr));
  EXPECT_EQ(Verdict::kOtherFile, record.Check("other.zip", before, "0", nullptr));
  EXPECT_EQ(Verdict::kExpired, record.Check("archive.zip", record.Expires(), "0", nullptr));
  EXPECT_EQ(Verdict::kExpired, record.Check("archive.zip", record.Expires(), "9", nullptr));
  EXPECT_EQ(Verdict::kBelowFloor, record.Check("archive.zip", before, "1.10", nullptr));
  EXPECT_EQ(Verdict::kValid, record.Check("archive.zip", before, "1.4.2.0", nullptr));
  // The installed record: a newer one refuses, the same version is a repair.
  EXPECT_EQ(Verdict::kValid, record.Check("archive.zip", before, "0", &record));
  EXPECT_LT(ReleaseRecord::CompareVersions("1.9", "1.10"), 0);
  EXPECT_GT(ReleaseRecord::CompareVersions("2", "1.99.99.99"), 0);
  EXPECT_EQ(0, ReleaseRecord::CompareVersions("1.4", "1.4.0.0"));
  unsigned long parts[4];
  EXPECT_FALSE(ReleaseRecord::ParseVersion("1.4.x", parts));
  EXPECT_FALSE(ReleaseRecord::ParseVersion("1234567890", parts));
  EXPECT_FALSE(ReleaseRecord::ParseVersion("", parts));
}

TEST_F(ReleaseRecordTest, AKeptRecordReadsBackVerifiedAndAChangedOneDoesNot) {
  ReleaseRecord kept;
  EXPECT_EQ(Verdict::kMissing, ReleaseRecord::ReadKept(folder_.Path(), Keys(), &kept));
  const std::string downloaded = folder_ / "archive.zip.meta";
  ASSERT_TRUE(WriteFileBytes(downloaded, Vector("good.meta")));
  ASSERT_TRUE(WriteFileBytes(downloaded + ".sig", Vector("second.sig")));
  ASSERT_TRUE(ReleaseRecord::Keep(folder_.Path(), downloaded, downloaded + ".sig"));
  EXPECT_FALSE(testing_support::PathExists(downloaded));
  ASSERT_EQ(Verdict::kValid, ReleaseRecord::ReadKept(folder_.Path(), Keys(), &kept));
  EXPECT_EQ("1.4.2", kept.Version());
  EXPECT_EQ(Vector("good.meta"), ReadFileBytes(folder_ / ".QuillonRelease"));
  std::string changed = Vector("good.meta");
  changed.replace(changed.find("1.4.2"), 5, "9.9.9");
  ASSERT_TRUE(WriteFileBytes(folder_ / ".QuillonRelease", changed));
  EXPECT_EQ(Verdict::kNotSigned, ReleaseRecord::ReadKept(folder_.Path(), Keys(), &kept));
}

}  // namespace
