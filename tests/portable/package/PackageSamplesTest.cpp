// The reader and the keys this tree embeds, on packages the native zvpack made at test
// time (make-samples): the i686 build must accept and reject exactly as the native one.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/portable/support/CaseName.h"
#include "tests/portable/support/FileBytes.h"
#include "updater/Keys.h"
#include "updater/PackageLayout.h"

static std::string SamplePath(const char* name) {
  const char* folder = getenv("ZV_PACKAGE_SAMPLES");
  std::string path = folder ? folder : "";
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's drive for the root
#endif
  return path + "/" + name;
}

struct SampleCase {
  const char* Name;
  const char* Sample;
  long Flip;        // byte to change, counted from the end when negative; 0 for none
  size_t Truncate;  // keep only this many bytes when not 0
  int32_t Read;
  int32_t Unseal;
  const char* FirstName;  // of an accepted package: entry 0's name, the others are fixed
};

const SampleCase SampleCases[] = {
    {"good", "good.zvp", 0, 0, 0, 0, "App.dll"},
    {"data byte changed", "good.zvp", 2500, 0, PackageCorrupt, 0, nullptr},
    {"sealed byte changed", "good.zvp", 700, 0, PackageCorrupt, 0, nullptr},
    {"tag byte changed", "good.zvp", -258, 0, PackageInvalid, 0, nullptr},
    {"signature byte changed", "good.zvp", -1, 0, PackageCorrupt, 0, nullptr},
    {"259 bytes", "good.zvp", 0, 259, PackageInvalid, 0, nullptr},
    {"sealed with the other key", "wrong-sealing.zvp", 0, 0, 0, PackageInvalid, nullptr},
    {"signed with the other key", "wrong-signature.zvp", 0, 0, PackageCorrupt, 0, nullptr},
    // "Z:..\App.dll" would be written beside the drive's current folder.
    {"dot dot after the drive colon", "escape.zvp", 0, 0, 0, PackageInvalid, nullptr},
    {"drive-qualified name", "drive.zvp", 0, 0, 0, 0, "Z:App.dll"},
};

static void PrintTo(const SampleCase& sample, std::ostream* out) { *out << sample.Name; }

class PackageSamples : public testing::TestWithParam<SampleCase> {};

TEST_P(PackageSamples, ReadAndUnseal) {
  const SampleCase& sample = GetParam();
  std::string bytes = ReadAll(SamplePath(sample.Sample));
  ASSERT_GT(bytes.size(), 2308u) << "no sample " << SamplePath(sample.Sample);
  if (sample.Flip > 0) bytes[sample.Flip] ^= 0x04;
  if (sample.Flip < 0) bytes[bytes.size() + sample.Flip] ^= 0x04;
  if (sample.Truncate) bytes.resize(sample.Truncate);
  std::string copy = SamplePath("copy.zvp");
  WriteAll(copy, bytes);

  ASSERT_EQ(ReadPackage(copy.c_str(), &SignatureKey), sample.Read);
  EXPECT_FALSE(Exists(copy)) << "an opened package must be deleted";
  if (sample.Read != 0) return;
  ASSERT_EQ(UnsealPackage(&SealingKey), sample.Unseal);
  if (sample.Unseal != 0) return;

  EXPECT_EQ(PackageVersion, 0x02000109u);
  const char* names[] = {sample.FirstName, "data\\empty.bin", "data\\sub\\cfg.txt"};
  const char* sources[] = {"src/App.dll", "src/data/empty.bin", "src/data/sub/cfg.txt"};
  // make-samples stamps every file with 1234567890.5 seconds after 1970.
  const uint64_t stamp = (1234567890ull + 11644473600ull) * 10000000ull + 5000000ull;
  ASSERT_EQ(PackageEntryCount, 3u);
  for (uint32_t k = 0; k < 3; k++) {
    const PackageEntry& entry = PackageEntries[k];
    EXPECT_STREQ(entry.Name, names[k]);
    std::string want = ReadAll(SamplePath(sources[k]));
    ASSERT_EQ(entry.DataSize, want.size()) << names[k];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(PackageBuffer) + entry.DataOffset,
                          entry.DataSize),
              want);
    EXPECT_EQ(entry.LastWriteTime.LowDateTime, static_cast<uint32_t>(stamp));
    EXPECT_EQ(entry.LastWriteTime.HighDateTime, static_cast<uint32_t>(stamp >> 32));
  }
}

INSTANTIATE_TEST_SUITE_P(All, PackageSamples, testing::ValuesIn(SampleCases), CaseName<SampleCase>);

TEST(PackageUnreadable, MissingFileYieldsMinusOneAndCreatesNothing) {
  std::string path = SamplePath("missing.zvp");
  remove(path.c_str());
  EXPECT_EQ(ReadPackage(path.c_str(), &SignatureKey), PackageUnreadable);
  EXPECT_FALSE(Exists(path));
}

#ifdef _WIN32
// A package that another handle holds without sharing cannot be opened: -1, and the
// file is left exactly as it was.
TEST(PackageUnreadable, BusyFileIsLeftUntouched) {
  std::string path = SamplePath("busy.zvp");
  std::string bytes = ReadAll(SamplePath("good.zvp"));
  WriteAll(path, bytes);
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadPackage(path.c_str(), &SignatureKey), PackageUnreadable);
  CloseHandle(held);
  EXPECT_EQ(ReadAll(path), bytes);
  remove(path.c_str());
}
#endif
