// zv_pack_unchecked SIGNATURE.pem SEALING.pem A.B.C.D OUT NAME=FILE...
// Signs and seals a package like zvpack pack, but checks none of the names: the tests of
// the launcher's own name rule need packages that the publisher's tool refuses to make
// (a name such as "Z:..\x"). Each entry keeps its file's modification time. Native only.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"

static uint8_t Image[PackageBufferSize];
static uint8_t Contents[PackageBufferSize];
static PackEntry Entries[PackageMaxEntries];

// Reads FILE of "NAME=FILE" into the next free part of Contents.
static bool AddEntry(const char* pair, uint32_t* used, PackEntry* entry) {
  const char* equals = strchr(pair, '=');
  if (!equals || equals == pair || equals - pair > static_cast<long>(EntryMaxNameLength)) {
    fprintf(stderr, "zv_pack_unchecked: '%s' is not NAME=FILE with 1 to 255 name bytes\n", pair);
    return false;
  }
  const char* path = equals + 1;
  struct stat info;
  FILE* file = fopen(path, "rb");
  if (!file || stat(path, &info) != 0) {
    fprintf(stderr, "zv_pack_unchecked: cannot read '%s'\n", path);
    if (file) fclose(file);
    return false;
  }
  size_t size = fread(Contents + *used, 1, PackageBufferSize - *used, file);
  fclose(file);
  memset(entry, 0, sizeof *entry);
  entry->NameLength = static_cast<uint32_t>(equals - pair);
  memcpy(entry->Name, pair, entry->NameLength);
  entry->DataSize = static_cast<uint32_t>(size);
  entry->Data = Contents + *used;
  entry->LastWriteTime =
      FileTimeFromUnix(info.st_mtim.tv_sec, static_cast<uint32_t>(info.st_mtim.tv_nsec));
  *used += static_cast<uint32_t>(size);
  return true;
}

int main(int argc, char** argv) {
  unsigned a, b, c, d;
  char end;
  if (argc < 6 || argc - 5 > static_cast<int>(PackageMaxEntries) ||
      sscanf(argv[3], "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) != 4 || a > 255 || b > 255 ||
      c > 255 || d > 255) {
    fprintf(stderr,
            "usage: zv_pack_unchecked SIGNATURE.pem SEALING.pem A.B.C.D OUT NAME=FILE...\n");
    return 2;
  }
  uint32_t count = static_cast<uint32_t>(argc - 5);
  uint32_t used = 0;
  for (uint32_t k = 0; k < count; k++) {
    if (!AddEntry(argv[5 + k], &used, &Entries[k])) return 1;
  }
  EVP_PKEY* signatureKey = LoadPackerKey(argv[1], true);
  EVP_PKEY* sealingKey = signatureKey ? LoadPackerKey(argv[2], true) : nullptr;
  uint32_t version = (a << 24) | (b << 16) | (c << 8) | d;
  uint32_t size =
      sealingKey ? BuildPackageImage(Entries, count, version, signatureKey, sealingKey, Image) : 0;
  EVP_PKEY_free(signatureKey);
  EVP_PKEY_free(sealingKey);
  if (sealingKey && size == 0) {
    fprintf(stderr, "zv_pack_unchecked: the body must hold 2048 to 16,776,956 bytes\n");
  }
  FILE* out = size ? fopen(argv[4], "wb") : nullptr;
  bool ok = out && fwrite(Image, 1, size, out) == size;
  if (out) ok = fclose(out) == 0 && ok;
  if (!ok) {
    fprintf(stderr, "zv_pack_unchecked: cannot make '%s'\n", argv[4]);
    if (out) remove(argv[4]);
    return 1;
  }
  return 0;
}
