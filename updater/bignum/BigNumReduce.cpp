// Reduction modulo m: shift-and-subtract long division against 32 pre-shifted copies of
// the modulus, so that every subtraction is aligned on limbs.
//
// With n the index of m's highest non-zero limb and s + 1 the bit length of that limb,
// row k of the shift table (n + 1 limbs, k = 0 to 31) holds m·2^(32 - s + k). Its highest
// set bit is bit 32·n + k, so every row fits in n + 1 limbs and row 31 has the top bit
// of its top limb set; row s is m moved up by exactly one limb.
#include <cstdint>

#include "updater/bignum/BigNum.h"

// a < b, both of `count` limbs, compared from the top.
static bool IsBelow(const uint32_t* a, const uint32_t* b, uint32_t count) {
  for (uint32_t i = count; i > 0; i--) {
    if (a[i - 1] != b[i - 1]) {
      return a[i - 1] < b[i - 1];
    }
  }
  return false;
}

// a -= b over `count` limbs; yields the borrow out of the top limb (0 or 1).
static uint32_t Subtract(uint32_t* a, const uint32_t* b, uint32_t count) {
  uint32_t borrow = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint64_t difference = static_cast<uint64_t>(a[i]) - b[i] - borrow;
    a[i] = static_cast<uint32_t>(difference);
    borrow = static_cast<uint32_t>(difference >> 32) & 1;
  }
  return borrow;
}

// to := from / 2 across `count` limbs.
static void ShiftRightOne(const uint32_t* from, uint32_t* to, uint32_t count) {
  for (uint32_t i = 0; i + 1 < count; i++) {
    to[i] = (from[i] >> 1) | (from[i + 1] << 31);
  }
  to[count - 1] = from[count - 1] >> 1;
}

// to := from · 2 across `count` limbs; the caller knows the top bit of `from` is zero.
static void ShiftLeftOne(const uint32_t* from, uint32_t* to, uint32_t count) {
  for (uint32_t i = count - 1; i > 0; i--) {
    to[i] = (from[i] << 1) | (from[i - 1] >> 31);
  }
  to[0] = from[0] << 1;
}

// Conditionally subtracts row by row, k = 31 down to `lowest`, from the `count` limbs
// at `window`, with `above` (possibly null: a limb beyond x's count, reading as zero)
// the limb just over them. `rows` points at the first compared limb of row 0: limb 0
// for the windows, limb 1 for the final stage.
static void SubtractRows(uint32_t* window, uint32_t* above, const uint32_t* rows, uint32_t rowWidth,
                         uint32_t count, uint32_t lowest) {
  for (uint32_t k = 32; k-- > lowest;) {
    const uint32_t* row = rows + k * rowWidth;
    // Only row 31 can meet a non-zero limb above: that limb is at most 1 and row 31
    // reaches the top bit of the window, so window plus that limb is at least row 31,
    // and taking row 31 off leaves less than row 31, clearing the limb above.
    bool atLeast = (k == 31 && above != nullptr && *above != 0) || !IsBelow(window, row, count);
    if (!atLeast) {
      continue;
    }
    uint32_t borrow = Subtract(window, row, count);
    // A borrow only arises when the limb above was 1; when that limb lies beyond x's
    // count it reads as zero, the window was at least the row and no borrow arises.
    if (above != nullptr) {
      *above -= borrow;
    }
  }
}

// see BigNum.h
void BigNumReduce(BigNum* x, const BigNum* m, uint32_t* shiftTable) {
  uint32_t n = m[0];
  while (n > 0 && m[n] == 0) {
    n--;
  }
  if (n == 0) {
    return;  // x mod 0 has no value; leave x as it is
  }
  uint32_t s = 31;
  while ((m[n] >> s) == 0) {
    s--;
  }

  uint32_t rowWidth = n + 1;
  uint32_t* rowS = shiftTable + s * rowWidth;
  rowS[0] = 0;
  for (uint32_t i = 1; i <= n; i++) {
    rowS[i] = m[i];
  }
  // Shifting down from row s drops only zero bits: row s's bottom limb is zero and at
  // most s <= 31 shifts are made. Shifting up to row 31 never loses the top bit.
  for (uint32_t k = s; k > 0; k--) {
    ShiftRightOne(shiftTable + k * rowWidth, shiftTable + (k - 1) * rowWidth, rowWidth);
  }
  for (uint32_t k = s; k < 31; k++) {
    ShiftLeftOne(shiftTable + k * rowWidth, shiftTable + (k + 1) * rowWidth, rowWidth);
  }

  uint32_t count = x[0];
  uint32_t t = count;
  while (t > 0 && x[t] == 0) {
    t--;
  }
  if (t < n) {
    return;  // fewer significant limbs than m: already below it
  }

  // Window p covers limbs p - n to p, value V below B^(n+2) with B = 2^32, counting
  // the limb above. Before the first window that limb is zero, so V < B^(n+1) <= 2·row
  // 31 (m >= 2^(32·(n-1)+s)). Whenever V < 2·row 31 on entry, the rows 31 down to 0 leave
  // V < row 0 = m·2^(32-s) < 2^(32·n+1): the window's own top limb ends at most 1, and it
  // becomes the limb above the next window, whose V is then again below
  // row 0 · B = 2·row 31. So every window sees a limb above of 0 or 1, and one
  // subtraction per row is enough.
  for (uint32_t p = t; p > n; p--) {
    uint32_t* above = p + 1 <= count ? &x[p + 1] : nullptr;
    SubtractRows(&x[p - n], above, shiftTable, rowWidth, rowWidth, 0);
  }

  // Final stage on limbs 1 to n against the upper n limbs of rows 31 down to s, which
  // equal m·2^(k-s). Here V < m·2^(32-s) = 2·m·2^(31-s), both after the windows and when
  // there were none (V < B^n), so the stage ends with x < m and limb n + 1 zero.
  uint32_t* above = n + 1 <= count ? &x[n + 1] : nullptr;
  SubtractRows(&x[1], above, shiftTable + 1, rowWidth, n, s);
}
