// Building an update package image in memory, in the stages the launcher undoes:
// the plain body (header, directory, contents), then scrambled with the displaced
// words saved and the markers set, then the eight header blocks sealed, then signed.
// Tests call the stages one by one to break a package at any layer.
#pragma once
#include <openssl/evp.h>

#include "updater/PackageLayout.h"

struct PackEntry {
  char Name[PackageNameSize];
  uint32_t NameLength;  // as given; up to 255 can be encoded
  uint32_t DataSize;
  PackageFileTime LastWriteTime;
  const uint8_t* Data;  // copied by LayoutPackageImage when not null
  uint32_t DataOffset;  // set by LayoutPackageImage
};

// The most entries zvpack accepts: 57 one-character names reach offset 1674, 58 never fit.
const uint32_t PackMaxEntries = (DirectoryEnd - DirectoryOffset) / (EntryFixedSize + 1);

// What CheckPackEntries found, for the caller to name the file.
enum PackProblem {
  PackOk,
  PackNoEntries,       // the launcher needs at least one
  PackTooManyEntries,  // more than PackMaxEntries
  PackNameEmpty,
  PackNameTooLong,       // over 255 bytes
  PackNameRooted,        // begins with '\' or '/' instead of naming a file in the game folder
  PackNameByte,          // a byte outside 0x20-0x7E
  PackNameCharacter,     // one of <>:"|?*, which Windows refuses in a file name
  PackNameDot,           // a name or path component beginning with '.'
  PackNameEmptyPart,     // an empty path component: two separators in a row, or one at the end
  PackNameTrailing,      // a path component ending in '.' or ' ', which Windows drops
  PackNameDevice,        // a path component that Windows takes as a device (CON, NUL.txt, ...)
  PackNameRepeated,      // names the same file as an earlier entry (Amount: that entry)
  PackDirectoryTooLong,  // this entry would end past offset 1696
  PackFileTooLarge,      // over 16,777,216 bytes
  PackTooLarge,          // the whole package over 16,777,216 bytes
  PackTooSmall,          // the contents cannot fill the 2048-byte sealed header
};

struct PackCheck {
  PackProblem Problem;
  uint32_t Entry;   // the entry at fault, where there is one
  uint64_t Amount;  // the byte index, offset, size or missing byte count the problem is about
};

// Everything the launcher would reject about these entries, first problem first.
PackCheck CheckPackEntries(const PackEntry* entries, uint32_t count);
// A line that says what is wrong, without the file's name.
void DescribePackProblem(const PackCheck* check, char* text, size_t size);

// Writes the plain body of a package into image (PackageBufferSize bytes): header with
// magic, length, version, key and count, zero reserved bytes, the directory and the
// contents of entries with Data. Checks nothing the launcher checks, so tests can build
// bad packages, but never writes past image: returns L, or 0 when the body would not fit
// in PackageBufferSize - 260 bytes or a name is longer than 255 bytes.
uint32_t LayoutPackageImage(PackEntry* entries, uint32_t count, uint32_t version,
                            const uint8_t scrambleKey[ScrambleKeySize], uint8_t* image);

// Saves the words at the eight marker slots into DisplacedWords, scrambles bytes 144 to
// L - 1 and writes SealMarker into the slots: the image the sealed blocks open to.
void ScramblePlainImage(uint8_t* image, uint32_t length);

// Replaces each of the eight 256-byte header blocks by its raw RSA private-key value.
bool SealHeaderBlocks(uint8_t* image, EVP_PKEY* sealingKey);

// The value a signature must open to: SHA-1 of the body and suffix, 0xBB fill, marker.
void BuildSignatureValue(const uint8_t* body, uint32_t length, const char* suffix,
                         uint32_t suffixSize, uint8_t value[RsaBlockSize]);

// Appends the TrailerTag and the signature of the body as it stands ("UPDATE.MOD"
// appended); returns the package size L + 260, or 0 when the signing failed.
uint32_t SignPackageImage(uint8_t* image, uint32_t length, EVP_PKEY* signatureKey);

bool RandomScrambleKey(uint8_t scrambleKey[ScrambleKeySize]);

// Writes into a laid-out body (contents read in) a ScrambleKey made from the body itself
// and the sealing key's private half, in place of a random one: the same files, times,
// version and keys give the same package, byte for byte.
bool DeriveScrambleKey(uint8_t* image, uint32_t length, EVP_PKEY* sealingKey);

// Scrambles, seals and signs a laid-out body of at least 2048 bytes; returns the
// package size or 0.
uint32_t FinishPackageImage(uint8_t* image, uint32_t length, EVP_PKEY* signatureKey,
                            EVP_PKEY* sealingKey);

// All stages at once with a fresh random ScrambleKey; returns the package size or 0.
uint32_t BuildPackageImage(PackEntry* entries, uint32_t count, uint32_t version,
                           EVP_PKEY* signatureKey, EVP_PKEY* sealingKey, uint8_t* image);
