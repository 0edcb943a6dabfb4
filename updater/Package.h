// The update package tables and the two operations that fill them.
// ReadPackage reads the file into PackageBuffer, deletes it and checks the signature
// trailer; UnsealPackage opens the sealed header, descrambles the rest and validates
// the directory into PackageEntries.
#pragma once
#include <cstdint>

#include "updater/bignum/BigNum.h"

// Result codes of the package steps (0 is success).
enum : int32_t {
  PackageUnreadable = -1,
  PackageInvalid = -2,
  PackageCorrupt = -3,
};

const uint32_t PackageBufferSize = 16777216;  // the launcher reads at most 16 MiB
const uint32_t PackageMaxEntries = 64;        // what EntryCount may say
const uint32_t PackageNameSize = 256;         // 255 characters and the zero

// Layout-compatible with the platform's FILETIME: 100 ns intervals since 1601-01-01 UTC.
struct PackageFileTime {
  uint32_t LowDateTime;
  uint32_t HighDateTime;
};

struct PackageEntry {
  char Name[PackageNameSize];
  uint32_t DataOffset;  // from the start of the package, an index into PackageBuffer
  uint32_t DataSize;
  PackageFileTime LastWriteTime;
};

// An RSA public key as the launcher holds it: a 65-limb modulus (64 limbs and one zero
// limb) and the one-limb exponent 65537.
struct PackageKey {
  const BigNum* Modulus;
  const BigNum* Exponent;
};

extern uint8_t PackageBuffer[PackageBufferSize];
extern uint32_t PackageBodyLength;
extern uint32_t PackageVersion;
extern uint32_t PackageEntryCount;
extern PackageEntry PackageEntries[PackageMaxEntries];

int32_t ReadPackage(const char* path, const PackageKey* signatureKey);
int32_t UnsealPackage(const PackageKey* sealingKey);
