// Schoolbook multiplication and the modular product built on it.
#include <cstdint>

#include "updater/bignum/BigNum.h"
#include "updater/bignum/BigNumAllocator.h"

// see BigNum.h
void BigNumMulAdd(const BigNum* a, const BigNum* b, BigNum* r) {
  uint32_t countA = a[0];
  uint32_t countB = b[0];
  for (uint32_t i = 1; i <= countA; i++) {
    uint64_t ai = a[i];
    uint32_t carry = 0;
    for (uint32_t j = 1; j <= countB; j++) {
      // The sum fits on 64 bits: with every term at most 2^32 - 1,
      // (2^32 - 1)^2 + 2·(2^32 - 1) = 2^64 - 1.
      uint64_t sum = ai * b[j] + carry + r[i + j - 1];
      r[i + j - 1] = static_cast<uint32_t>(sum);
      carry = static_cast<uint32_t>(sum >> 32);
    }
    // r[i + countB] is beyond every limb that earlier passes wrote (pass i - 1 ended at
    // r[i - 1 + countB]), so it still holds the zero r started with: no carry from here.
    r[i + countB] += carry;
  }
}

// see BigNum.h
BigNum* BigNumMulMod(const BigNum* a, const BigNum* b, const BigNum* m) {
  uint32_t countM = m[0];
  bool mIsZero = true;
  for (uint32_t i = 1; i <= countM; i++) {
    if (m[i] != 0) {
      mIsZero = false;
      break;
    }
  }
  if (mIsZero) {
    return nullptr;
  }
  // One limb more than the product needs, so that the reduction always finds a real,
  // zero limb above the product's highest non-zero limb.
  if (a[0] > UINT32_MAX - 1 - b[0]) {
    return nullptr;
  }
  BigNum* r = BigNumNew(a[0] + b[0] + 1);
  if (r == nullptr) {
    return nullptr;
  }
  BigNumMulAdd(a, b, r);

  // Room for 32 rows of countM + 1 limbs: the table needs only n + 1 limbs a row, where
  // n <= countM is the index of m's highest non-zero limb.
  uint64_t tableWords = 32 * (static_cast<uint64_t>(countM) + 1);
  if (tableWords > SIZE_MAX / sizeof(uint32_t)) {
    BigNumFree(r);
    return nullptr;
  }
  uint32_t* shiftTable =
      static_cast<uint32_t*>(BigNumAllocator(static_cast<size_t>(tableWords) * sizeof(uint32_t)));
  if (shiftTable == nullptr) {
    BigNumFree(r);
    return nullptr;
  }
  BigNumReduce(r, m, shiftTable);
  BigNumReleaser(shiftTable);
  BigNumNormalize(r);
  return r;
}
