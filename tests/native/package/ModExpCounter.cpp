#include "tests/native/package/ModExpCounter.h"

#include "updater/bignum/BigNum.h"

int ModExpCalls;
int ModExpFailAt;

// The mangled name of BigNumModExp(const BigNum*, const BigNum*, const BigNum*).
extern "C" BigNum* __real__Z12BigNumModExpPKjS0_S0_(const BigNum* base, const BigNum* exponent,
                                                    const BigNum* m);

extern "C" BigNum* __wrap__Z12BigNumModExpPKjS0_S0_(const BigNum* base, const BigNum* exponent,
                                                    const BigNum* m) {
  ModExpCalls++;
  if (ModExpCalls == ModExpFailAt) return nullptr;
  return __real__Z12BigNumModExpPKjS0_S0_(base, exponent, m);
}
