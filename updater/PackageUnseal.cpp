// UnsealPackage: the eight sealed header blocks opened in place, then the header,
// directory and data layout validated.
#include "updater/PackageLayout.h"

int32_t UnsealPackage(const PackageKey* sealingKey) {
  if (PackageBodyLength < SealedHeaderSize) return PackageInvalid;
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    uint8_t* block = PackageBuffer + RsaBlockSize * j;
    BigNum* opened = OpenRsaBlock(block, sealingKey);
    if (!opened) return PackageInvalid;  // no memory: stop rather than go on unopened
    // Fewer than 64 significant limbs, or another top limb, is not a block we sealed.
    if (opened[0] != RsaBlockLimbs || opened[RsaBlockLimbs] != SealMarker) {
      BigNumFree(opened);
      return PackageInvalid;
    }
    for (uint32_t i = 0; i < RsaBlockLimbs; i++) WriteLittleEndian32(block + 4 * i, opened[1 + i]);
    BigNumFree(opened);
  }
  return ValidateUnsealedPackage();
}
