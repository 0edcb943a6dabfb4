// A BigNum as an OpenSSL BIGNUM, for the tests and benchmarks that check our arithmetic
// against OpenSSL's. The caller frees the result with BN_free.
#pragma once

#include <openssl/bn.h>

#include <cstdint>
#include <vector>

#include "updater/bignum/BigNum.h"

inline BIGNUM* ToOpenSsl(const BigNum* x) {
  std::vector<uint8_t> bytes;
  for (uint32_t i = 1; i <= x[0]; i++) {
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<uint8_t>(x[i] >> shift));
    }
  }
  return BN_lebin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr);
}
