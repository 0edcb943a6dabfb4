// The header, directory and data layout rules, applied in order to PackageBuffer once
// its sealed blocks are opened. The first failing rule decides.
#include <cstring>

#include "updater/PackageLayout.h"

static const char Magic[HeaderMagicSize] = {'U', 'P', 'D', 'A', 'T', 'E', 0, 0};

// A name byte must be printable ASCII, and no path component may begin with '.', so
// '.' and '..' components cannot occur. A drive colon starts a component too, or
// "Z:..\x" would climb out of the drive's current folder; "Z:x" is still a valid name.
static bool NameByteAllowed(const uint8_t* name, uint32_t index) {
  uint8_t c = name[index];
  if (c < 0x20 || c > 0x7E) return false;
  if (c != '.') return true;
  if (index == 0) return false;
  uint8_t before = name[index - 1];
  return before != '/' && before != '\\' && before != ' ' && before != ':';
}

// Walks EntryCount entries from offset 192 into PackageEntries; returns the offset just
// past the directory, or 0 when an entry breaks a rule. Every entry starts at or before
// 1696 and is at most 280 bytes long, so all reads stay below 2048 <= L.
static uint32_t ReadDirectory() {
  uint32_t position = DirectoryOffset;
  for (uint32_t k = 0; k < PackageEntryCount; k++) {
    const uint8_t* entry = PackageBuffer + position;
    PackageEntry* record = &PackageEntries[k];
    uint32_t nameLength = entry[0];
    if (nameLength == 0) return 0;
    const uint8_t* name = entry + 1;
    for (uint32_t i = 0; i < nameLength; i++) {
      if (!NameByteAllowed(name, i)) return 0;
      record->Name[i] = static_cast<char>(name[i]);
    }
    record->Name[nameLength] = 0;
    const uint8_t* fields = name + nameLength;
    record->DataOffset = ReadLittleEndian32(fields);
    record->DataSize = ReadLittleEndian32(fields + 4);
    record->LastWriteTime.LowDateTime = ReadLittleEndian32(fields + 8);
    record->LastWriteTime.HighDateTime = ReadLittleEndian32(fields + 12);
    position += EntryFixedSize + nameLength;
    if (position > DirectoryEnd) return 0;
    if (ReadLittleEndian32(fields + 16) != 0) return 0;  // EntryReservedA
    if (ReadLittleEndian32(fields + 20) != 0) return 0;  // EntryReservedB
  }
  return position;
}

// The contents follow the directory back to back and end exactly at L.
// The running position stays at or below L < 2^24 and each size at or below 2^24, so
// the sum cannot wrap.
static bool DataLayoutValid(uint32_t position) {
  for (uint32_t k = 0; k < PackageEntryCount; k++) {
    const PackageEntry* record = &PackageEntries[k];
    if (record->DataOffset != position) return false;
    if (record->DataSize > EntryMaxDataSize) return false;
    position += record->DataSize;
    if (position > PackageBodyLength) return false;
  }
  return position == PackageBodyLength;
}

int32_t ValidateUnsealedPackage() {
  if (memcmp(PackageBuffer + HeaderMagicOffset, Magic, HeaderMagicSize) != 0) return PackageInvalid;
  if (ReadLittleEndian32(PackageBuffer + HeaderBodyLengthOffset) != PackageBodyLength) {
    return PackageInvalid;
  }
  PackageVersion = ReadLittleEndian32(PackageBuffer + HeaderVersionOffset);
  DescramblePackage();

  PackageEntryCount = ReadLittleEndian32(PackageBuffer + HeaderEntryCountOffset);
  if (PackageEntryCount == 0 || PackageEntryCount > PackageMaxEntries) return PackageInvalid;
  for (uint32_t i = 0; i < HeaderReservedSize; i++) {
    if (PackageBuffer[HeaderReservedOffset + i] != 0) return PackageInvalid;
  }
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    const uint8_t* displaced = PackageBuffer + DisplacedWordsOffset + 4 * j;
    memcpy(PackageBuffer + RsaBlockSize * j + SealMarkerSlot, displaced, 4);
  }

  uint32_t directoryEnd = ReadDirectory();
  if (directoryEnd == 0) return PackageInvalid;
  if (!DataLayoutValid(directoryEnd)) return PackageInvalid;
  return 0;
}
