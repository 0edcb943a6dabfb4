// Test helpers: big numbers from and to hex text, and as plain limb vectors
// (least significant first, no leading zero limbs; zero is the empty vector).
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "updater/bignum/BigNum.h"

typedef std::vector<uint32_t> Limbs;

inline Limbs Trimmed(Limbs limbs) {
  while (!limbs.empty() && limbs.back() == 0) {
    limbs.pop_back();
  }
  return limbs;
}

inline Limbs LimbsFromHex(const char* hex) {
  Limbs limbs;
  size_t length = strlen(hex);
  for (size_t end = length; end > 0; end = end > 8 ? end - 8 : 0) {
    size_t start = end > 8 ? end - 8 : 0;
    limbs.push_back(
        static_cast<uint32_t>(strtoul(std::string(hex + start, end - start).c_str(), nullptr, 16)));
  }
  return Trimmed(limbs);
}

inline std::string HexFromLimbs(const Limbs& value) {
  Limbs limbs = Trimmed(value);
  if (limbs.empty()) {
    return "0";
  }
  char text[9];
  snprintf(text, sizeof text, "%x", limbs.back());
  std::string hex = text;
  for (size_t i = limbs.size() - 1; i > 0; i--) {
    snprintf(text, sizeof text, "%08x", limbs[i - 1]);
    hex += text;
  }
  return hex;
}

// The value of x, all of its count limbs read.
inline Limbs ValueOf(const BigNum* x) { return Trimmed(Limbs(x + 1, x + 1 + x[0])); }

inline std::string HexOf(const BigNum* x) { return HexFromLimbs(ValueOf(x)); }

// A new BigNum holding `value` with `count` limbs, or just as many as the value needs
// (at least one) when count is smaller.
inline BigNum* MakeBigNum(const Limbs& value, uint32_t count = 0) {
  Limbs limbs = Trimmed(value);
  uint32_t needed = limbs.empty() ? 1 : static_cast<uint32_t>(limbs.size());
  BigNum* x = BigNumNew(count > needed ? count : needed);
  for (size_t i = 0; i < limbs.size(); i++) {
    x[i + 1] = limbs[i];
  }
  return x;
}

inline BigNum* BigNumFromHex(const char* hex, uint32_t count = 0) {
  return MakeBigNum(LimbsFromHex(hex), count);
}
