// Modular exponentiation: square-and-multiply, least significant exponent bit first.
#include <cstdint>

#include "updater/bignum/BigNum.h"

// see BigNum.h
BigNum* BigNumModExp(const BigNum* base, const BigNum* exponent, const BigNum* m) {
  BigNum* result = BigNumFromWord(1, 1);
  if (result == nullptr) {
    return nullptr;
  }
  uint32_t k = exponent[0];
  while (k > 0 && exponent[k] == 0) {
    k--;
  }
  if (k == 0) {
    return result;
  }

  // Every bit of each significant limb is visited, the leading zero bits of the top
  // limb included: with 65537 that is the copy, 31 squarings and 2 multiplications.
  BigNum* power = nullptr;
  uint64_t bits = 32 * static_cast<uint64_t>(k);
  for (uint64_t i = 0; i < bits; i++) {
    BigNum* next = i == 0 ? BigNumCopy(base) : BigNumMulMod(power, power, m);
    BigNumFree(power);
    power = next;
    if (power == nullptr) {
      BigNumFree(result);
      return nullptr;
    }
    if ((exponent[i / 32 + 1] >> (i % 32)) & 1) {
      next = BigNumMulMod(result, power, m);
      BigNumFree(result);
      result = next;
      if (result == nullptr) {
        BigNumFree(power);
        return nullptr;
      }
    }
  }
  BigNumFree(power);
  return result;
}
