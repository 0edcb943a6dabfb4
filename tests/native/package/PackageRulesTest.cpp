// Every acceptance rule of ReadPackage and UnsealPackage, one row each, on packages
// built with the tests' own keys and broken at the layer the rule guards.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/native/package/PackageDraft.h"
#include "tests/portable/support/CaseName.h"
#include "tests/native/package/ModExpCounter.h"

struct RuleCase {
  const char* Name;
  const char* EntryName;           // when set, the name of entry 0
  void (*Entries)(PackageDraft*);  // before the layout
  void (*Plain)(PackageDraft*);    // on the plain body
  void (*Opened)(PackageDraft*);   // on the blocks as they must open, before sealing
  void (*Sign)(PackageDraft*);     // after sealing, instead of the usual signature
  void (*Stored)(PackageDraft*);   // on the file's bytes
  int32_t Read;
  int32_t Unseal;
  int ModExps;  // exponentiations in all, or -1 when not counted
};

// Writes byte value at the directory field `field` bytes after entry k's name.
static uint8_t* EntryField(PackageDraft* d, uint32_t k, uint32_t field) {
  uint32_t position = DirectoryOffset;
  for (uint32_t i = 0; i < k; i++) position += EntryFixedSize + d->Entries[i].NameLength;
  return d->Image + position + 1 + d->Entries[k].NameLength + field;
}

static void SetName(PackageDraft* d, uint32_t k, char c, uint32_t length) {
  memset(d->Entries[k].Name, c, length);
  d->Entries[k].Name[length] = 0;
  d->Entries[k].NameLength = length;
}

// count entries with one-character names and 40 bytes each.
static void ManyEntries(PackageDraft* d, uint32_t count) {
  for (uint32_t k = 0; k < count; k++) {
    PackEntry* e = &d->Entries[k];
    memset(e, 0, sizeof *e);
    e->Name[0] = static_cast<char>('A' + k % 26);
    e->NameLength = 1;
    e->DataSize = 40;
    e->Data = DraftPattern() + 40 * k;
  }
  d->Count = count;
}

// Five 255-byte names and a sixth of the given length; with 79 it ends at 1696.
static void LongNames(PackageDraft* d, uint32_t lastLength) {
  ManyEntries(d, 6);
  for (uint32_t k = 0; k < 5; k++) SetName(d, k, static_cast<char>('a' + k), 255);
  SetName(d, 5, 'z', lastLength);
  d->Entries[5].DataSize = 1000;  // the body still reaches past the sealed header
}

static void SignWithSuffix(PackageDraft* d, const char* suffix) {
  uint8_t value[RsaBlockSize];
  BuildSignatureValue(d->Image, d->Length, suffix, static_cast<uint32_t>(strlen(suffix)), value);
  memcpy(d->Image + d->Length, TrailerTag, TrailerTagSize);
  ASSERT_TRUE(
      RsaPrivateBlock(GetTestKeys()->Signature, value, d->Image + d->Length + TrailerTagSize));
  d->Size = d->Length + SignatureTrailerSize;
}

// Adds the modulus to the signature, changing a data byte and signing again until the
// sum still fits in 2048 bits.
static void SignAboveModulus(PackageDraft* d) {
  const BigNum* modulus = GetTestKeys()->SignaturePublic.Modulus;
  for (int attempt = 0; attempt < 100000; attempt++) {
    d->Image[2100]++;
    SignWithSuffix(d, SignatureSuffix);
    uint8_t* signature = d->Image + d->Length + TrailerTagSize;
    uint64_t carry = 0;
    uint8_t sum[RsaBlockSize];
    for (uint32_t i = 0; i < RsaBlockLimbs; i++) {
      carry += static_cast<uint64_t>(ReadLittleEndian32(signature + 4 * i)) + modulus[1 + i];
      WriteLittleEndian32(sum + 4 * i, static_cast<uint32_t>(carry));
      carry >>= 32;
    }
    if (carry == 0) {
      memcpy(signature, sum, sizeof sum);
      return;
    }
  }
  FAIL() << "no signature found that fits with the modulus added";
}

static void FlipStored(PackageDraft* d, uint32_t offset) { d->Image[offset] ^= 0x01; }

static uint8_t* BlockTopLimb(PackageDraft* d, uint32_t j) {
  return d->Image + RsaBlockSize * j + SealMarkerSlot;
}

static const RuleCase RuleCases[] = {
    {"valid", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"tampered sealed header byte", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { FlipStored(d, 10); }, PackageCorrupt, 0, 1},
    {"tampered directory byte", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { FlipStored(d, DirectoryOffset + 3); }, PackageCorrupt, 0, 1},
    {"tampered data byte", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { FlipStored(d, 2200); }, PackageCorrupt, 0, 1},
    {"tampered signature byte", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { FlipStored(d, d->Length + 100); }, PackageCorrupt, 0, 1},
    {"wrong tag, no exponentiation", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { FlipStored(d, d->Length + 2); }, PackageInvalid, 0, 0},
    {"fewer than 260 bytes", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { d->Size = 259; }, PackageInvalid, 0, 0},
    {"signed without UPDATE.MOD", nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) { SignWithSuffix(d, ""); }, nullptr, PackageCorrupt, 0, 1},
    {"signed over the unsealed body", nullptr, nullptr, nullptr,
     [](PackageDraft* d) { SignWithSuffix(d, SignatureSuffix); },
     [](PackageDraft* d) { d->Size = d->Length + SignatureTrailerSize; },  // trailer made above
     nullptr, PackageCorrupt, 0, 1},
    {"signature above the modulus", nullptr, nullptr, nullptr, nullptr, SignAboveModulus, nullptr,
     0, 0, 9},
    {"exactly 260 bytes, valid signature", nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) {
       d->Length = 0;
       SignWithSuffix(d, SignatureSuffix);
     },
     nullptr, 0, PackageInvalid, 1},
    {"body shorter than the sealed header", nullptr,
     [](PackageDraft* d) { d->Entries[0].DataSize = 1000; }, nullptr, nullptr, nullptr, nullptr, 0,
     PackageInvalid, 1},
    {"marker one bit wrong in block 3", nullptr, nullptr, nullptr,
     [](PackageDraft* d) { BlockTopLimb(d, 3)[0] ^= 0x01; }, nullptr, nullptr, 0, PackageInvalid,
     5},
    {"top marker bit wrong in block 0", nullptr, nullptr, nullptr,
     [](PackageDraft* d) { BlockTopLimb(d, 0)[3] ^= 0x08; }, nullptr, nullptr, 0, PackageInvalid,
     2},
    {"block 7 with fewer than 64 limbs", nullptr, nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(BlockTopLimb(d, 7), 0); }, nullptr, nullptr, 0,
     PackageInvalid, 9},
    {"magic letter wrong", nullptr, nullptr, [](PackageDraft* d) { d->Image[5] = 'X'; }, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"magic byte 7 not zero", nullptr, nullptr, [](PackageDraft* d) { d->Image[7] = 1; }, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"BodyLength one more than L", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(d->Image + HeaderBodyLengthOffset, d->Length + 1); },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"BodyLength one less than L", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(d->Image + HeaderBodyLengthOffset, d->Length - 1); },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"EntryCount 0", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(d->Image + HeaderEntryCountOffset, 0); }, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"EntryCount 65", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(d->Image + HeaderEntryCountOffset, 65); }, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"57 one-character names fit", nullptr, [](PackageDraft* d) { ManyEntries(d, 57); }, nullptr,
     nullptr, nullptr, nullptr, 0, 0, 9},
    {"58 one-character names never fit", nullptr, [](PackageDraft* d) { ManyEntries(d, 58); },
     nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"64 entries never fit", nullptr, [](PackageDraft* d) { ManyEntries(d, 64); }, nullptr, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"entry ending at 1696", nullptr, [](PackageDraft* d) { LongNames(d, 79); }, nullptr, nullptr,
     nullptr, nullptr, 0, 0, 9},
    {"entry ending at 1697", nullptr, [](PackageDraft* d) { LongNames(d, 80); }, nullptr, nullptr,
     nullptr, nullptr, 0, PackageInvalid, 9},
    {"name x.dll", "x.dll", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"name sub/x.dll", "sub/x.dll", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"name sub backslash x.dll", "sub\\x.dll", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
     9},
    {"name a..b", "a..b", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"name C:x y~", "C:x y~", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"name .x", ".x", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"name sub/.x", "sub/.x", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"name sub backslash .x", "sub\\.x", nullptr, nullptr, nullptr, nullptr, nullptr, 0,
     PackageInvalid, 9},
    {"name a .x", "a .x", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"name with 0x7F", "a\x7F", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"name with 0xE9", "caf\xE9", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid,
     9},
    {"name with 0x1F", "a\x1F", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"empty name", "", nullptr, nullptr, nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"255-byte name", nullptr, [](PackageDraft* d) { SetName(d, 0, 'n', 255); }, nullptr, nullptr,
     nullptr, nullptr, 0, 0, 9},
    {"HeaderReserved byte 159 not zero", nullptr, nullptr,
     [](PackageDraft* d) { d->Image[159] = 0x80; }, nullptr, nullptr, nullptr, 0, PackageInvalid,
     9},
    {"EntryReservedA not zero", nullptr, nullptr,
     [](PackageDraft* d) { EntryField(d, 0, 16)[2] = 1; }, nullptr, nullptr, nullptr, 0,
     PackageInvalid, 9},
    {"EntryReservedB not zero", nullptr, nullptr,
     [](PackageDraft* d) { EntryField(d, 0, 20)[3] = 0x40; }, nullptr, nullptr, nullptr, 0,
     PackageInvalid, 9},
    {"data one byte short of L", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(EntryField(d, 0, 4), d->Entries[0].DataSize - 1); },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"data one byte past L", nullptr, nullptr,
     [](PackageDraft* d) { WriteLittleEndian32(EntryField(d, 0, 4), d->Entries[0].DataSize + 1); },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"DataOffset one more", nullptr,
     [](PackageDraft* d) {
       ManyEntries(d, 3);
       d->Entries[1].DataSize = 2000;
     },
     [](PackageDraft* d) {
       WriteLittleEndian32(EntryField(d, 1, 0), d->Entries[1].DataOffset + 1);
     },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"DataOffset one less", nullptr,
     [](PackageDraft* d) {
       ManyEntries(d, 3);
       d->Entries[1].DataSize = 2000;
     },
     [](PackageDraft* d) {
       WriteLittleEndian32(EntryField(d, 1, 0), d->Entries[1].DataOffset - 1);
     },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"zero-size entries between others", nullptr,
     [](PackageDraft* d) {
       ManyEntries(d, 4);
       d->Entries[1].DataSize = 0;
       d->Entries[2].DataSize = 2000;
       d->Entries[3].DataSize = 0;
     },
     nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"DataSize over 16 MiB", nullptr,
     [](PackageDraft* d) {
       ManyEntries(d, 2);
       d->Entries[0].DataSize = 2000;
     },
     // The second entry says 16 MiB + 1 and the body still ends where it says.
     [](PackageDraft* d) { WriteLittleEndian32(EntryField(d, 1, 4), PackageBufferSize + 1); },
     nullptr, nullptr, nullptr, 0, PackageInvalid, 9},
    {"file of exactly 16 MiB", nullptr,
     [](PackageDraft*
            d) { d->Entries[0].DataSize = PackageBufferSize - SignatureTrailerSize - 222; },
     nullptr, nullptr, nullptr, nullptr, 0, 0, 9},
    {"file past 16 MiB judged by its first 16 MiB", nullptr,
     [](PackageDraft* d) {
       d->Entries[0].DataSize = PackageBufferSize - SignatureTrailerSize - 222;
     },
     nullptr, nullptr, nullptr,
     [](PackageDraft* d) {
       memset(d->Image + d->Size, 0x5A, 1000);
       d->Size += 1000;
     },
     0, 0, 9},
    {"small package padded past 16 MiB", nullptr, nullptr, nullptr, nullptr, nullptr,
     [](PackageDraft* d) {
       memset(d->Image + d->Size, 0, PackageBufferSize + 1 - d->Size);
       d->Size = PackageBufferSize + 1;
     },
     PackageInvalid, 0, 0},
};

static void PrintTo(const RuleCase& rule, std::ostream* out) { *out << rule.Name; }

class PackageRules : public testing::TestWithParam<RuleCase> {};

TEST_P(PackageRules, ReadAndUnseal) {
  const RuleCase& rule = GetParam();
  const TestKeys* keys = GetTestKeys();
  ASSERT_NE(keys, nullptr);
  static PackageDraft draft;
  PackageDraft* d = &draft;
  StartDraft(d);
  if (rule.EntryName) {
    strcpy(d->Entries[0].Name, rule.EntryName);
    d->Entries[0].NameLength = static_cast<uint32_t>(strlen(rule.EntryName));
  }
  if (rule.Entries) rule.Entries(d);
  uint8_t scrambleKey[ScrambleKeySize];
  ASSERT_TRUE(RandomScrambleKey(scrambleKey));
  d->Length = LayoutPackageImage(d->Entries, d->Count, d->Version, scrambleKey, d->Image);
  ASSERT_NE(d->Length, 0u);
  if (rule.Plain) rule.Plain(d);
  if (d->Length >= SealedHeaderSize) {
    ScramblePlainImage(d->Image, d->Length);
    if (rule.Opened) rule.Opened(d);
    ASSERT_TRUE(SealHeaderBlocks(d->Image, keys->Sealing));
  }
  if (rule.Sign) {
    rule.Sign(d);
  } else {
    d->Size = SignPackageImage(d->Image, d->Length, keys->Signature);
  }
  if (rule.Stored) rule.Stored(d);
  ASSERT_FALSE(HasFatalFailure());

  std::string path = ScratchPath("package");
  ASSERT_TRUE(WriteDraft(d, path));
  ModExpCalls = 0;
  EXPECT_EQ(ReadPackage(path.c_str(), &keys->SignaturePublic.Key), rule.Read);
  EXPECT_FALSE(FileExists(path)) << "a package that could be opened must be gone";
  if (rule.Read == 0) {
    EXPECT_EQ(UnsealPackage(&keys->SealingPublic.Key), rule.Unseal);
  }
  if (rule.ModExps >= 0) {
    EXPECT_EQ(ModExpCalls, rule.ModExps);
  }
  remove(path.c_str());
  if (rule.Read != 0 || rule.Unseal != 0) return;

  // Accepted: the tables and the buffer hold exactly what was packed.
  EXPECT_EQ(PackageVersion, d->Version);
  ASSERT_EQ(PackageEntryCount, d->Count);
  for (uint32_t k = 0; k < d->Count; k++) {
    const PackEntry* want = &d->Entries[k];
    const PackageEntry* got = &PackageEntries[k];
    EXPECT_EQ(strlen(got->Name), want->NameLength);
    EXPECT_EQ(std::string(got->Name), std::string(want->Name, want->NameLength));
    EXPECT_EQ(got->DataOffset, want->DataOffset);
    EXPECT_EQ(got->DataSize, want->DataSize);
    EXPECT_EQ(got->LastWriteTime.LowDateTime, want->LastWriteTime.LowDateTime);
    EXPECT_EQ(got->LastWriteTime.HighDateTime, want->LastWriteTime.HighDateTime);
    if (rule.Sign != SignAboveModulus) {
      EXPECT_EQ(memcmp(PackageBuffer + got->DataOffset, want->Data, want->DataSize), 0)
          << want->Name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, PackageRules, testing::ValuesIn(RuleCases), CaseName<RuleCase>);

// Running out of memory in any exponentiation ends the step with its failure code.
struct MemoryCase {
  int FailingCall;  // 1 is the signature, 2 to 9 the sealed blocks
  int32_t Read;
  int32_t Unseal;
};

class PackageNoMemory : public testing::TestWithParam<MemoryCase> {};

TEST_P(PackageNoMemory, FailsWithoutCrash) {
  const TestKeys* keys = GetTestKeys();
  ASSERT_NE(keys, nullptr);
  static PackageDraft draft;
  StartDraft(&draft);
  draft.Size = BuildPackageImage(draft.Entries, draft.Count, draft.Version, keys->Signature,
                                 keys->Sealing, draft.Image);
  ASSERT_NE(draft.Size, 0u);
  std::string path = ScratchPath("package");
  ASSERT_TRUE(WriteDraft(&draft, path));
  ModExpCalls = 0;
  ModExpFailAt = GetParam().FailingCall;
  int32_t read = ReadPackage(path.c_str(), &keys->SignaturePublic.Key);
  int32_t unseal = read == 0 ? UnsealPackage(&keys->SealingPublic.Key) : 0;
  ModExpFailAt = 0;
  EXPECT_EQ(read, GetParam().Read);
  EXPECT_EQ(unseal, GetParam().Unseal);
}

INSTANTIATE_TEST_SUITE_P(All, PackageNoMemory,
                         testing::Values(MemoryCase{1, PackageCorrupt, 0},
                                         MemoryCase{2, 0, PackageInvalid},
                                         MemoryCase{9, 0, PackageInvalid}));

TEST(PackageRead, MissingFileIsUnreadableAndNothingIsCreated) {
  const TestKeys* keys = GetTestKeys();
  ASSERT_NE(keys, nullptr);
  std::string path = ScratchPath("missing");
  remove(path.c_str());
  ModExpCalls = 0;
  EXPECT_EQ(ReadPackage(path.c_str(), &keys->SignaturePublic.Key), PackageUnreadable);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(ModExpCalls, 0);
}
