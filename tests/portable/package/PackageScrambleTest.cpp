// DescramblePackage XORs every body byte from 144 on exactly once and nothing below,
// whatever L is modulo 4; the key itself is left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "updater/PackageLayout.h"

class Descramble : public testing::TestWithParam<uint32_t> {};

TEST_P(Descramble, ChangesEveryBodyByteFrom144AndNoneBelow) {
  const uint32_t length = GetParam();
  const uint32_t checked = length + 64;  // and a little past the body
  std::vector<uint8_t> before(checked);
  for (uint32_t i = 0; i < checked; i++) before[i] = static_cast<uint8_t>(i * 37 + 11);
  // No key byte is zero, so every scrambled byte must change.
  for (uint32_t i = 0; i < ScrambleKeySize; i++)
    before[ScrambleKeyOffset + i] = static_cast<uint8_t>(i | 0x80);
  memcpy(PackageBuffer, before.data(), checked);
  PackageBodyLength = length;

  DescramblePackage();

  for (uint32_t i = 0; i < ScrambledRegionOffset; i++) {
    ASSERT_EQ(PackageBuffer[i], before[i]) << "byte " << i << " is below the scrambled region";
  }
  for (uint32_t i = ScrambledRegionOffset; i < length; i++) {
    uint8_t key = before[ScrambleKeyOffset + (i - ScrambledRegionOffset) % ScrambleKeySize];
    ASSERT_EQ(PackageBuffer[i], static_cast<uint8_t>(before[i] ^ key)) << "byte " << i;
  }
  // The last word may reach into the trailer by up to three bytes, never further.
  for (uint32_t i = length + 3; i < checked; i++) {
    ASSERT_EQ(PackageBuffer[i], before[i]) << "byte " << i << " is past the body";
  }

  DescramblePackage();
  EXPECT_EQ(memcmp(PackageBuffer, before.data(), checked), 0) << "scrambling is its own inverse";
}

INSTANTIATE_TEST_SUITE_P(Lengths, Descramble, testing::Values(2048u, 2049u, 2050u, 2051u, 4099u));
