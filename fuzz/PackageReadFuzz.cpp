// Arbitrary bytes as a package file, through ReadPackage and UnsealPackage with the
// keys this tree embeds. Random bytes never carry a valid signature, so whenever reading
// got as far as the signature the blocks are opened anyway: that exercises the block
// checks on arbitrary numbers as well.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "updater/Keys.h"
#include "updater/PackageLayout.h"

static std::string PackagePath() {
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
  return std::string(folder ? folder : "/tmp") + "/zv_fuzz_package_" + std::to_string(getpid());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = PackagePath();
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) abort();
  if (size && fwrite(data, 1, size, file) != size) abort();
  fclose(file);

  int32_t read = ReadPackage(path.c_str(), &SignatureKey);
  if (access(path.c_str(), F_OK) == 0) abort();  // an opened package must be gone
  if (read != 0 && read != PackageCorrupt && read != PackageInvalid) abort();
  if (read == 0 || read == PackageCorrupt) {
    int32_t unseal = UnsealPackage(&SealingKey);
    if (unseal != 0 && unseal != PackageInvalid) abort();
  }
  return 0;
}
