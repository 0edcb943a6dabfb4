// The XOR scrambling of bytes 144 to L - 1; its own inverse.
#include "updater/PackageLayout.h"

void XorScrambledRegion(uint8_t* body, uint32_t length) {
  // Words from offset 144 up to and including the one that holds byte length - 1.
  // Computed unsigned as the launcher always has; callers ensure length >= 2048.
  uint32_t words = (length - (ScrambledRegionOffset - 3)) / 4;
  const uint8_t* key = body + ScrambleKeyOffset;  // below 144, so never changed here
  for (uint32_t i = 0; i < words; i++) {
    uint8_t* word = body + ScrambledRegionOffset + 4 * i;
    uint32_t keyWord = ReadLittleEndian32(key + 4 * (i % (ScrambleKeySize / 4)));
    WriteLittleEndian32(word, ReadLittleEndian32(word) ^ keyWord);
  }
}

void DescramblePackage() { XorScrambledRegion(PackageBuffer, PackageBodyLength); }
