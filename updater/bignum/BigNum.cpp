// Blocks of big numbers: allocation, copying, release and normalisation.
#include "updater/bignum/BigNum.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "updater/bignum/BigNumAllocator.h"

void* (*BigNumAllocator)(size_t size) = malloc;
void (*BigNumReleaser)(void* block) = free;

// Index of the highest non-zero limb, or 1 when every limb is zero.
static uint32_t SignificantCount(const BigNum* x) {
  uint32_t count = x[0];
  while (count > 1 && x[count] == 0) {
    count--;
  }
  return count == 0 ? 1 : count;
}

// see BigNum.h
BigNum* BigNumNew(uint32_t count) {
  if (count == 0) {
    count = 1;
  }
  // count + 1 words must be expressible in bytes; only a 32-bit size_t can run out.
  uint64_t words = static_cast<uint64_t>(count) + 1;
  if (words > SIZE_MAX / sizeof(uint32_t)) {
    return nullptr;
  }
  size_t size = static_cast<size_t>(words) * sizeof(uint32_t);
  BigNum* x = static_cast<BigNum*>(BigNumAllocator(size));
  if (x == nullptr) {
    return nullptr;
  }
  memset(x, 0, size);
  x[0] = count;
  return x;
}

// see BigNum.h
BigNum* BigNumFromWord(uint32_t count, uint32_t word) {
  BigNum* x = BigNumNew(count);
  if (x != nullptr) {
    x[1] = word;
  }
  return x;
}

// see BigNum.h
BigNum* BigNumCopy(const BigNum* x) {
  BigNum* copy = BigNumNew(x[0]);
  if (copy == nullptr) {
    return nullptr;
  }
  if (x[0] != 0) {
    memcpy(copy + 1, x + 1, static_cast<size_t>(x[0]) * sizeof(uint32_t));
  }
  BigNumNormalize(copy);
  return copy;
}

// see BigNum.h
void BigNumFree(BigNum* x) {
  if (x != nullptr) {
    BigNumReleaser(x);
  }
}

// see BigNum.h
void BigNumNormalize(BigNum* x) { x[0] = SignificantCount(x); }
