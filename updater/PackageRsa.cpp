// The RSA public-key operation on one 256-byte field of the package.
#include "updater/PackageLayout.h"

BigNum* OpenRsaBlock(const uint8_t block[RsaBlockSize], const PackageKey* key) {
  // The base only lives for the one exponentiation, so it sits on the stack in the
  // BigNum layout: the count 64 (even when the top limbs are zero), then the words.
  BigNum base[1 + RsaBlockLimbs];
  base[0] = RsaBlockLimbs;
  for (uint32_t i = 0; i < RsaBlockLimbs; i++) base[1 + i] = ReadLittleEndian32(block + 4 * i);
  return BigNumModExp(base, key->Exponent, key->Modulus);
}
