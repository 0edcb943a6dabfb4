// ReadPackage: the file into PackageBuffer, the file deleted, the trailer checked.
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cstdio>
#include <cstring>

#include "updater/PackageLayout.h"
#include "updater/Sha1.h"

void BuildExpectedSignatureValue(uint8_t value[RsaBlockSize]) {
  Sha1Context sha;
  Sha1Start(&sha);
  Sha1Feed(&sha, PackageBuffer, PackageBodyLength);  // as stored: sealed and scrambled
  Sha1Feed(&sha, SignatureSuffix, SignatureSuffixSize);
  Sha1Finish(&sha, value);
  memset(value + Sha1DigestSize, SealFill, SealMarkerSlot - Sha1DigestSize);
  WriteLittleEndian32(value + SealMarkerSlot, SealMarker);
}

// Gone before any check: an accepted or rejected package is never installed twice. On
// Windows a read-only file cannot be removed, and it would be installed again on every
// run, so its read-only attribute is cleared first; if it still cannot be removed (held
// open by another program), it keeps the attribute.
static void DeletePackageFile(const char* path) {
  if (remove(path) == 0) return;
#ifdef _WIN32
  struct _stat info;
  if (_stat(path, &info) != 0 || (info.st_mode & _S_IWRITE)) return;
  if (_chmod(path, _S_IREAD | _S_IWRITE) != 0) return;
  if (remove(path) != 0) _chmod(path, _S_IREAD);
#endif
}

// A match needs exactly 64 significant limbs equal to the value's 64 words; the value's
// top limb is SealMarker, so a shorter result can never match.
static bool MatchesBlock(const BigNum* number, const uint8_t value[RsaBlockSize]) {
  if (number[0] != RsaBlockLimbs) return false;
  for (uint32_t i = 0; i < RsaBlockLimbs; i++) {
    if (number[1 + i] != ReadLittleEndian32(value + 4 * i)) return false;
  }
  return true;
}

int32_t ReadPackage(const char* path, const PackageKey* signatureKey) {
  FILE* file = fopen(path, "rb");
  if (!file) return PackageUnreadable;
  size_t read = fread(PackageBuffer, 1, PackageBufferSize, file);
  fclose(file);
  DeletePackageFile(path);

  if (read < SignatureTrailerSize) return PackageInvalid;
  uint32_t length = static_cast<uint32_t>(read) - SignatureTrailerSize;
  PackageBodyLength = length;
  if (memcmp(PackageBuffer + length, TrailerTag, TrailerTagSize) != 0) return PackageInvalid;

  uint8_t expected[RsaBlockSize];
  BuildExpectedSignatureValue(expected);
  // The signature is not reduced first: a number above the modulus whose power matches
  // is as good as its remainder.
  BigNum* opened = OpenRsaBlock(PackageBuffer + length + TrailerTagSize, signatureKey);
  if (!opened) return PackageCorrupt;  // no memory: nothing is known to be valid
  bool match = MatchesBlock(opened, expected);
  BigNumFree(opened);
  return match ? 0 : PackageCorrupt;
}
