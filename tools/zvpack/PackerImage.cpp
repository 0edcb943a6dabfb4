// The package image, built stage by stage. The scrambling and the signature value are
// written here from the format itself, not borrowed from the launcher's reader, so a
// round trip through both checks each against the other.
#include "tools/zvpack/PackerImage.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>

#include "tools/zvpack/PackerKeys.h"

static const char Magic[HeaderMagicSize] = {'U', 'P', 'D', 'A', 'T', 'E', 0, 0};

static uint64_t DirectorySize(const PackEntry* entries, uint32_t count) {
  uint64_t size = 0;
  for (uint32_t k = 0; k < count; k++) size += EntryFixedSize + entries[k].NameLength;
  return size;
}

// Characters no Windows file name may hold (checked byte by byte, so the zero is not one).
static const char WindowsForbidden[] = "<>:\"|?*";

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

static char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name as Windows resolves it: '/' taken as '\', ASCII case folded, and the dots and
// spaces at the end of each component dropped. Returns the normalised length.
static uint32_t WindowsFileName(const PackEntry* entry, char normal[PackageNameSize]) {
  uint32_t length = 0;
  uint32_t end = entry->NameLength < EntryMaxNameLength ? entry->NameLength : EntryMaxNameLength;
  for (uint32_t i = 0; i <= end; i++) {
    if (i == end || IsSeparator(entry->Name[i])) {
      while (length > 0 && (normal[length - 1] == '.' || normal[length - 1] == ' ')) length--;
      if (i < end) normal[length++] = '\\';
    } else {
      normal[length++] = LowerAscii(entry->Name[i]);
    }
  }
  return length;
}

// True when Windows opens a and b as one file.
static bool SameWindowsFile(const PackEntry* a, const PackEntry* b) {
  char x[PackageNameSize];
  char y[PackageNameSize];
  uint32_t xLength = WindowsFileName(a, x);
  return xLength == WindowsFileName(b, y) && memcmp(x, y, xLength) == 0;
}

// The device names Windows finds in any folder, whatever the extension.
static const char* const DeviceNames[] = {
    "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3",   "com4",
    "com5", "com6", "com7", "com8", "com9", "lpt1", "lpt2",   "lpt3",
    "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9", "conin$", "conout$",
};

// True when the component of size bytes is a device name: the part before the first '.',
// matched without regard to case. (Windows also ignores blanks before that dot, but a
// '.' after a blank is refused anyway.)
static bool IsDeviceName(const char* component, uint32_t size) {
  uint32_t base = 0;
  while (base < size && component[base] != '.') base++;
  for (const char* device : DeviceNames) {
    if (strlen(device) != base) continue;
    uint32_t i = 0;
    while (i < base && LowerAscii(component[i]) == device[i]) i++;
    if (i == base) return true;
  }
  return false;
}

// The first component Windows cannot create as named. Amount is the byte at fault: where
// a device name starts, the dot or blank that ends a component, or the separator (or the
// name's end) that closes an empty component.
static PackCheck CheckNameComponents(const PackEntry* entry, uint32_t k) {
  const char* name = entry->Name;
  uint32_t start = 0;
  for (uint32_t i = 0; i <= entry->NameLength; i++) {
    if (i < entry->NameLength && !IsSeparator(name[i])) continue;
    uint32_t size = i - start;
    if (size == 0) return {PackNameEmptyPart, k, i};
    char last = name[i - 1];
    if (last == '.' || last == ' ') return {PackNameTrailing, k, i - 1};
    if (IsDeviceName(name + start, size)) return {PackNameDevice, k, start};
    start = i + 1;
  }
  return {PackOk, k, 0};
}

PackCheck CheckPackEntries(const PackEntry* entries, uint32_t count) {
  if (count == 0) return {PackNoEntries, 0, 0};
  if (count > PackMaxEntries) return {PackTooManyEntries, 0, count};
  uint64_t position = DirectoryOffset;
  uint64_t contents = 0;
  for (uint32_t k = 0; k < count; k++) {
    const PackEntry* entry = &entries[k];
    const uint8_t* name = reinterpret_cast<const uint8_t*>(entry->Name);
    if (entry->NameLength == 0) return {PackNameEmpty, k, 0};
    if (entry->NameLength > EntryMaxNameLength) return {PackNameTooLong, k, entry->NameLength};
    if (IsSeparator(entry->Name[0])) return {PackNameRooted, k, 0};
    for (uint32_t i = 0; i < entry->NameLength; i++) {
      uint8_t c = name[i];
      if (c < 0x20 || c > 0x7E) return {PackNameByte, k, i};
      // ':' also keeps out drive-qualified names such as "Z:..\x", which leave the folder.
      if (strchr(WindowsForbidden, c)) return {PackNameCharacter, k, i};
      bool startsComponent =
          i == 0 || name[i - 1] == '/' || name[i - 1] == '\\' || name[i - 1] == ' ';
      if (c == '.' && startsComponent) return {PackNameDot, k, i};
    }
    // Each of these made the launcher wait for ever on a file it can never open.
    PackCheck parts = CheckNameComponents(entry, k);
    if (parts.Problem != PackOk) return parts;
    // The launcher accepts a repeated name, but then opens the file twice without sharing
    // and waits for ever on its own handle: refuse it here, where the publisher can fix it.
    for (uint32_t j = 0; j < k; j++) {
      if (SameWindowsFile(&entries[j], entry)) return {PackNameRepeated, k, j};
    }
    position += EntryFixedSize + entry->NameLength;
    if (position > DirectoryEnd) return {PackDirectoryTooLong, k, position};
    if (entry->DataSize > EntryMaxDataSize) return {PackFileTooLarge, k, entry->DataSize};
    contents += entry->DataSize;
  }
  uint64_t length = position + contents;
  if (length + SignatureTrailerSize > PackageBufferSize) {
    return {PackTooLarge, 0, length + SignatureTrailerSize};
  }
  if (length < SealedHeaderSize) return {PackTooSmall, 0, SealedHeaderSize - length};
  return {PackOk, 0, 0};
}

void DescribePackProblem(const PackCheck* check, char* text, size_t size) {
  unsigned long long amount = check->Amount;
  switch (check->Problem) {
    case PackOk:
      snprintf(text, size, "no problem");
      break;
    case PackNoEntries:
      snprintf(text, size, "no files to pack: a package needs at least one");
      break;
    case PackTooManyEntries:
      snprintf(text, size, "%llu files: at most %u fit in the package directory", amount,
               PackMaxEntries);
      break;
    case PackNameEmpty:
      snprintf(text, size, "the name is empty");
      break;
    case PackNameTooLong:
      snprintf(text, size, "the name is %llu bytes long: at most %u are allowed", amount,
               EntryMaxNameLength);
      break;
    case PackNameByte:
      snprintf(text, size, "byte %llu of the name is not printable ASCII (0x20 to 0x7E)", amount);
      break;
    case PackNameRooted:
      snprintf(text, size,
               "the name begins with a separator: names are relative to the game folder");
      break;
    case PackNameCharacter:
      snprintf(text, size,
               "byte %llu of the name is one of <>:\"|?*, which Windows refuses in file names "
               "(so no drive letters or streams)",
               amount);
      break;
    case PackNameEmptyPart:
      snprintf(text, size,
               "the name has an empty path component at byte %llu (two separators in a row, or "
               "one at the end)",
               amount);
      break;
    case PackNameTrailing:
      snprintf(text, size,
               "a path component ends in '.' or ' ' (byte %llu), which Windows drops: it would "
               "write another file",
               amount);
      break;
    case PackNameDevice:
      snprintf(text, size,
               "the path component at byte %llu is a Windows device name (CON, PRN, AUX, NUL, "
               "COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$), with or without an extension",
               amount);
      break;
    case PackNameDot:
      snprintf(text, size, "the name or one of its path components begins with '.' (byte %llu)",
               amount);
      break;
    case PackNameRepeated:
      snprintf(text, size, "the name is the same file on Windows as entry %llu's", amount);
      break;
    case PackDirectoryTooLong:
      snprintf(text, size,
               "the package directory would end at offset %llu, past %u: fewer files or shorter "
               "names are needed",
               amount, DirectoryEnd);
      break;
    case PackFileTooLarge:
      snprintf(text, size, "the file is %llu bytes long: at most %u fit in a package", amount,
               EntryMaxDataSize);
      break;
    case PackTooLarge:
      snprintf(text, size, "the package would be %llu bytes long: at most %u are allowed", amount,
               PackageBufferSize);
      break;
    case PackTooSmall:
      snprintf(text, size,
               "the contents are too small to fill the %u-byte sealed header: %llu more bytes "
               "are needed",
               SealedHeaderSize, amount);
      break;
  }
}

uint32_t LayoutPackageImage(PackEntry* entries, uint32_t count, uint32_t version,
                            const uint8_t scrambleKey[ScrambleKeySize], uint8_t* image) {
  uint64_t contents = 0;
  for (uint32_t k = 0; k < count; k++) {
    if (entries[k].NameLength > EntryMaxNameLength) return 0;
    contents += entries[k].DataSize;
  }
  uint64_t length64 = DirectoryOffset + DirectorySize(entries, count) + contents;
  if (length64 > PackageBufferSize - SignatureTrailerSize) return 0;
  uint32_t length = static_cast<uint32_t>(length64);

  memset(image, 0, PackageBufferSize);
  memcpy(image + HeaderMagicOffset, Magic, HeaderMagicSize);
  WriteLittleEndian32(image + HeaderBodyLengthOffset, length);
  WriteLittleEndian32(image + HeaderVersionOffset, version);
  memcpy(image + ScrambleKeyOffset, scrambleKey, ScrambleKeySize);
  WriteLittleEndian32(image + HeaderEntryCountOffset, count);

  uint32_t position = DirectoryOffset;
  uint32_t dataPosition = DirectoryOffset + static_cast<uint32_t>(DirectorySize(entries, count));
  for (uint32_t k = 0; k < count; k++) {
    PackEntry* entry = &entries[k];
    uint8_t* out = image + position;
    out[0] = static_cast<uint8_t>(entry->NameLength);
    memcpy(out + 1, entry->Name, entry->NameLength);
    uint8_t* fields = out + 1 + entry->NameLength;
    entry->DataOffset = dataPosition;
    WriteLittleEndian32(fields, dataPosition);
    WriteLittleEndian32(fields + 4, entry->DataSize);
    WriteLittleEndian32(fields + 8, entry->LastWriteTime.LowDateTime);
    WriteLittleEndian32(fields + 12, entry->LastWriteTime.HighDateTime);
    // EntryReservedA and EntryReservedB stay zero.
    if (entry->Data) memcpy(image + dataPosition, entry->Data, entry->DataSize);
    position += EntryFixedSize + entry->NameLength;
    dataPosition += entry->DataSize;
  }
  return length;
}

void ScramblePlainImage(uint8_t* image, uint32_t length) {
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    memcpy(image + DisplacedWordsOffset + 4 * j, image + RsaBlockSize * j + SealMarkerSlot, 4);
  }
  // Byte by byte: byte 144 + k takes key byte k mod 128, which is the word-wise XOR
  // the launcher undoes, up to and including byte L - 1.
  const uint8_t* key = image + ScrambleKeyOffset;
  for (uint32_t offset = ScrambledRegionOffset; offset < length; offset++) {
    image[offset] ^= key[(offset - ScrambledRegionOffset) % ScrambleKeySize];
  }
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    WriteLittleEndian32(image + RsaBlockSize * j + SealMarkerSlot, SealMarker);
  }
}

bool SealHeaderBlocks(uint8_t* image, EVP_PKEY* sealingKey) {
  for (uint32_t j = 0; j < SealedBlockCount; j++) {
    uint8_t* block = image + RsaBlockSize * j;
    if (!RsaPrivateBlock(sealingKey, block, block)) return false;
  }
  return true;
}

void BuildSignatureValue(const uint8_t* body, uint32_t length, const char* suffix,
                         uint32_t suffixSize, uint8_t value[RsaBlockSize]) {
  const uint32_t digestSize = 20;
  EVP_MD_CTX* sha = EVP_MD_CTX_new();
  EVP_DigestInit_ex(sha, EVP_sha1(), nullptr);
  EVP_DigestUpdate(sha, body, length);
  EVP_DigestUpdate(sha, suffix, suffixSize);
  EVP_DigestFinal_ex(sha, value, nullptr);
  EVP_MD_CTX_free(sha);
  memset(value + digestSize, SealFill, SealMarkerSlot - digestSize);
  WriteLittleEndian32(value + SealMarkerSlot, SealMarker);
}

uint32_t SignPackageImage(uint8_t* image, uint32_t length, EVP_PKEY* signatureKey) {
  uint8_t value[RsaBlockSize];
  BuildSignatureValue(image, length, SignatureSuffix, SignatureSuffixSize, value);
  memcpy(image + length, TrailerTag, TrailerTagSize);
  if (!RsaPrivateBlock(signatureKey, value, image + length + TrailerTagSize)) return 0;
  return length + SignatureTrailerSize;
}

bool RandomScrambleKey(uint8_t scrambleKey[ScrambleKeySize]) {
  if (RAND_bytes(scrambleKey, ScrambleKeySize) == 1) return true;
  PackerError("no random bytes for the scramble key");
  return false;
}

bool DeriveScrambleKey(uint8_t* image, uint32_t length, EVP_PKEY* sealingKey) {
  const uint32_t digestSize = 32;  // SHA-256
  // The MAC key: a digest of the sealing key's private exponent, which only the
  // publisher holds, so nobody else can tell which key a body gets.
  BIGNUM* d = nullptr;
  if (!EVP_PKEY_get_bn_param(sealingKey, OSSL_PKEY_PARAM_RSA_D, &d)) {
    PackerError("the sealing key has no private exponent to derive the scramble key from");
    return false;
  }
  static uint8_t exponent[RsaBlockSize];
  int exponentSize = BN_bn2bin(d, exponent);
  BN_clear_free(d);
  uint8_t macKey[digestSize];
  bool ok = exponentSize > 0 && EVP_Digest(exponent, static_cast<size_t>(exponentSize), macKey,
                                           nullptr, EVP_sha256(), nullptr) == 1;
  OPENSSL_cleanse(exponent, sizeof exponent);

  // The body with its key area zero: everything the package says, and nothing else.
  memset(image + ScrambleKeyOffset, 0, ScrambleKeySize);
  uint8_t message[digestSize + 1];
  ok = ok && EVP_Digest(image, length, message, nullptr, EVP_sha256(), nullptr) == 1;
  for (uint32_t block = 0; ok && block < ScrambleKeySize / digestSize; block++) {
    message[digestSize] = static_cast<uint8_t>(block);
    ok = HMAC(EVP_sha256(), macKey, digestSize, message, sizeof message,
              image + ScrambleKeyOffset + block * digestSize, nullptr) != nullptr;
  }
  OPENSSL_cleanse(macKey, sizeof macKey);
  if (!ok) PackerError("cannot derive the scramble key");
  return ok;
}

uint32_t FinishPackageImage(uint8_t* image, uint32_t length, EVP_PKEY* signatureKey,
                            EVP_PKEY* sealingKey) {
  if (length < SealedHeaderSize) return 0;
  ScramblePlainImage(image, length);
  if (!SealHeaderBlocks(image, sealingKey)) return 0;
  return SignPackageImage(image, length, signatureKey);
}

uint32_t BuildPackageImage(PackEntry* entries, uint32_t count, uint32_t version,
                           EVP_PKEY* signatureKey, EVP_PKEY* sealingKey, uint8_t* image) {
  uint8_t scrambleKey[ScrambleKeySize];
  if (!RandomScrambleKey(scrambleKey)) return 0;
  uint32_t length = LayoutPackageImage(entries, count, version, scrambleKey, image);
  return FinishPackageImage(image, length, signatureKey, sealingKey);
}
