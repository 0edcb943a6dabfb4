// Offsets and markers of the update package, and the internal steps of reading and
// unsealing that the tools, tests and fuzz targets call on their own.
#pragma once
#include <cstdint>

#include "updater/Package.h"

const uint32_t SignatureTrailerSize = 260;  // TrailerTag and PackageSignature
const uint32_t TrailerTagSize = 4;
const uint8_t TrailerTag[TrailerTagSize] = {0x4E, 0x47, 0x49, 0x53};
const uint32_t RsaBlockSize = 256;  // a 2048-bit number, least significant byte first
const uint32_t RsaBlockLimbs = 64;
const uint32_t KeyModulusLimbs = 65;  // the 64 limbs of the modulus and one zero limb

const uint32_t SealedBlockCount = 8;
const uint32_t SealedHeaderSize = SealedBlockCount * RsaBlockSize;  // 2048
const uint32_t SealMarker = 0x0BBBBBBB;  // most significant limb of every opened block
const uint8_t SealFill = 0xBB;           // bytes 20 to 251 of the expected signature value
const uint32_t SealMarkerSlot = RsaBlockSize - 4;  // 252: the marker's place in a block

// The unsealed header.
const uint32_t HeaderMagicOffset = 0;
const uint32_t HeaderMagicSize = 8;  // "UPDATE" and two zero bytes
const uint32_t HeaderBodyLengthOffset = 8;
const uint32_t HeaderVersionOffset = 12;
const uint32_t ScrambleKeyOffset = 16;
const uint32_t ScrambleKeySize = 128;  // 32 key words
const uint32_t ScrambledRegionOffset = 144;
const uint32_t HeaderEntryCountOffset = 144;
const uint32_t HeaderReservedOffset = 148;
const uint32_t HeaderReservedSize = 12;
const uint32_t DisplacedWordsOffset = 160;  // eight words, one per marker slot
const uint32_t DirectoryOffset = 192;
const uint32_t DirectoryEnd = 1696;  // no entry may end past this offset

// A directory entry on disk: NameLength, Name, then these fields after the name.
const uint32_t EntryFixedSize = 25;  // 1 + 4 + 4 + 8 + 4 + 4 bytes besides the name
const uint32_t EntryMaxNameLength = 255;
const uint32_t EntryMaxDataSize = PackageBufferSize;

const char SignatureSuffix[] = "UPDATE.MOD";  // hashed after the body, without its zero
const uint32_t SignatureSuffixSize = sizeof(SignatureSuffix) - 1;

uint32_t ReadLittleEndian32(const uint8_t* p);
void WriteLittleEndian32(uint8_t* p, uint32_t value);

// Fills the 256-byte expected signature value from PackageBuffer and PackageBodyLength:
// the SHA-1 digest of the stored body and "UPDATE.MOD", 0xBB fill and SealMarker on top.
void BuildExpectedSignatureValue(uint8_t value[RsaBlockSize]);

// block^exponent mod modulus of the key, for a 256-byte block read as a 64-limb number.
// Returns the normalised result (owned by the caller) or null when memory ran out.
BigNum* OpenRsaBlock(const uint8_t block[RsaBlockSize], const PackageKey* key);

// XORs bytes 144 to length - 1 of body with the ScrambleKey held at bytes 16 to 143;
// the last word may touch up to three bytes past length, which must be in the buffer.
void XorScrambledRegion(uint8_t* body, uint32_t length);
void DescramblePackage();

// Needs PackageBodyLength >= 2048, a body that holds the whole sealed header (UnsealPackage
// refuses a shorter one before it opens any block).
// Applies the header, directory and data layout rules to PackageBuffer whose eight
// blocks are already opened: checks, descrambles, puts the displaced words back and
// fills PackageVersion, PackageEntryCount and PackageEntries. Returns 0 or PackageInvalid.
int32_t ValidateUnsealedPackage();
