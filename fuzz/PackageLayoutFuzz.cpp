// Arbitrary bytes as the plain body of a package, put through the sealing transform
// (displaced words saved, scrambled, markers set) as if its blocks had just been opened,
// then through the header, directory and layout rules. An accepted body must come back
// byte for byte and describe only contents that lie inside it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "updater/PackageLayout.h"

static uint8_t Plain[PackageBufferSize];

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t maxLength = PackageBufferSize - SignatureTrailerSize;
  uint32_t length = size > maxLength ? maxLength : static_cast<uint32_t>(size);
  if (length < SealedHeaderSize) length = SealedHeaderSize;  // UnsealPackage's first rule
  memset(Plain, 0, length);
  memcpy(Plain, data, size < length ? size : length);

  memcpy(PackageBuffer, Plain, length);
  PackageBodyLength = length;
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    memcpy(PackageBuffer + DisplacedWordsOffset + 4 * j, Plain + RsaBlockSize * j + SealMarkerSlot,
           4);
  }
  XorScrambledRegion(PackageBuffer, length);
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    WriteLittleEndian32(PackageBuffer + RsaBlockSize * j + SealMarkerSlot, SealMarker);
  }
  // The magic and the length sit below the scrambled region, untouched by the above.

  int32_t result = ValidateUnsealedPackage();
  if (result != 0) {
    if (result != PackageInvalid) abort();
    return 0;
  }
  if (PackageEntryCount == 0 || PackageEntryCount > 57) abort();
  for (uint32_t i = 0; i < length; i++) {
    bool displaced = i >= DisplacedWordsOffset && i < DirectoryOffset;
    if (!displaced && PackageBuffer[i] != Plain[i]) abort();
  }
  uint32_t end = 0;
  for (uint32_t k = 0; k < PackageEntryCount; k++) {
    const PackageEntry* entry = &PackageEntries[k];
    if (memchr(entry->Name, 0, PackageNameSize) == nullptr || entry->Name[0] == 0) abort();
    if (entry->DataOffset > length || entry->DataSize > length - entry->DataOffset) abort();
    if (entry->DataOffset < end) abort();
    end = entry->DataOffset + entry->DataSize;
  }
  if (end != length) abort();
  return 0;
}
