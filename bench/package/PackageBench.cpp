// The launcher's whole check of a 16 MiB package (ReadPackage + UnsealPackage: read,
// SHA-1, nine 2048-bit exponentiations, descrambling, directory) against the same work
// done by OpenSSL (read, SHA-1, nine RSA public operations), plus the parts alone.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/zvpack/PackerImage.h"
#include "tools/zvpack/PackerKeys.h"
#include "updater/Sha1.h"

struct Fixture {
  EVP_PKEY* Signature;
  EVP_PKEY* Sealing;
  PackerPublicKey SignaturePublic;
  PackerPublicKey SealingPublic;
  std::string Master;  // the 16 MiB package, never handed to ReadPackage itself
  std::string Work;    // the copy ReadPackage reads and deletes
};

static bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && ok;
}

static const Fixture* GetFixture() {
  static Fixture fixture;
  static bool made = false;
  if (made) return &fixture;
  fixture.Signature = EVP_RSA_gen(2048);
  fixture.Sealing = EVP_RSA_gen(2048);
  if (!ToPackageKey(fixture.Signature, &fixture.SignaturePublic) ||
      !ToPackageKey(fixture.Sealing, &fixture.SealingPublic)) {
    return nullptr;
  }
  static uint8_t image[PackageBufferSize];
  static uint8_t contents[PackageBufferSize];
  for (uint32_t i = 0; i < PackageBufferSize; i++)
    contents[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  PackEntry entry = {};
  strcpy(entry.Name, "Zorvane.exe");
  entry.NameLength = 11;
  // One entry that fills the package to exactly 16 MiB.
  entry.DataSize =
      PackageBufferSize - SignatureTrailerSize - (DirectoryOffset + EntryFixedSize + 11);
  entry.Data = contents;
  uint32_t size =
      BuildPackageImage(&entry, 1, 0x02000000, fixture.Signature, fixture.Sealing, image);
  const char* folder = getenv("TMPDIR");
  std::string base = std::string(folder && *folder ? folder : "/tmp") + "/zv_bench_package_" +
                     std::to_string(getpid());
  fixture.Master = base + ".zvp";
  fixture.Work = base + "-work.zvp";
  if (size != PackageBufferSize || !WriteFile(fixture.Master, image, size)) return nullptr;
  made = true;
  return &fixture;
}

static void CopyMaster(const Fixture* fixture) {
  static uint8_t bytes[PackageBufferSize];
  FILE* file = fopen(fixture->Master.c_str(), "rb");
  size_t size = fread(bytes, 1, sizeof bytes, file);
  fclose(file);
  WriteFile(fixture->Work, bytes, size);
}

static void LauncherReadAndUnseal(benchmark::State& state) {
  const Fixture* fixture = GetFixture();
  if (!fixture) return state.SkipWithError("no package");
  for (auto _ : state) {
    state.PauseTiming();
    CopyMaster(fixture);  // ReadPackage deletes what it reads
    state.ResumeTiming();
    int32_t read = ReadPackage(fixture->Work.c_str(), &fixture->SignaturePublic.Key);
    int32_t unseal = UnsealPackage(&fixture->SealingPublic.Key);
    if (read != 0 || unseal != 0) return state.SkipWithError("package rejected");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{PackageBufferSize});
}

static bool OpenSslPublicOperation(EVP_PKEY* key, const uint8_t* littleEndian) {
  uint8_t in[RsaBlockSize];
  uint8_t out[RsaBlockSize];
  for (uint32_t i = 0; i < RsaBlockSize; i++) in[i] = littleEndian[RsaBlockSize - 1 - i];
  size_t outSize = sizeof out;
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
  bool ok = EVP_PKEY_encrypt_init(context) > 0 &&
            EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) > 0 &&
            EVP_PKEY_encrypt(context, out, &outSize, in, sizeof in) > 0;
  EVP_PKEY_CTX_free(context);
  return ok;
}

static void OpenSslReadDigestAndNineRsa(benchmark::State& state) {
  const Fixture* fixture = GetFixture();
  if (!fixture) return state.SkipWithError("no package");
  static uint8_t buffer[PackageBufferSize];
  for (auto _ : state) {
    FILE* file = fopen(fixture->Master.c_str(), "rb");
    size_t size = fread(buffer, 1, sizeof buffer, file);
    fclose(file);
    uint8_t digest[EVP_MAX_MD_SIZE];
    EVP_Digest(buffer, size - SignatureTrailerSize, digest, nullptr, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(digest);
    bool ok = OpenSslPublicOperation(fixture->Signature, buffer + size - RsaBlockSize);
    for (uint32_t j = 0; j < SealedBlockCount; j++) {
      ok = OpenSslPublicOperation(fixture->Sealing, buffer + RsaBlockSize * j) && ok;
    }
    if (!ok) return state.SkipWithError("RSA failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{PackageBufferSize});
}

static const uint32_t DigestBytes = PackageBufferSize - SignatureTrailerSize;

static void LauncherSha1Of16MiB(benchmark::State& state) {
  static uint8_t buffer[PackageBufferSize];
  for (auto _ : state) {
    Sha1Context sha;
    uint8_t digest[Sha1DigestSize];
    Sha1Start(&sha);
    Sha1Feed(&sha, buffer, DigestBytes);
    Sha1Finish(&sha, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{DigestBytes});
}

static void OpenSslSha1Of16MiB(benchmark::State& state) {
  static uint8_t buffer[PackageBufferSize];
  for (auto _ : state) {
    uint8_t digest[EVP_MAX_MD_SIZE];
    EVP_Digest(buffer, DigestBytes, digest, nullptr, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * int64_t{DigestBytes});
}

static void LauncherOneExponentiation(benchmark::State& state) {
  const Fixture* fixture = GetFixture();
  if (!fixture) return state.SkipWithError("no package");
  uint8_t block[RsaBlockSize];
  for (uint32_t i = 0; i < RsaBlockSize; i++) block[i] = static_cast<uint8_t>(i * 7);
  block[RsaBlockSize - 1] = 0x0B;
  for (auto _ : state) {
    BigNum* opened = OpenRsaBlock(block, &fixture->SealingPublic.Key);
    benchmark::DoNotOptimize(opened);
    BigNumFree(opened);
  }
}

static void OpenSslOneRsaPublicOperation(benchmark::State& state) {
  const Fixture* fixture = GetFixture();
  if (!fixture) return state.SkipWithError("no package");
  uint8_t block[RsaBlockSize];
  for (uint32_t i = 0; i < RsaBlockSize; i++) block[i] = static_cast<uint8_t>(i * 7);
  block[RsaBlockSize - 1] = 0x0B;
  for (auto _ : state) benchmark::DoNotOptimize(OpenSslPublicOperation(fixture->Sealing, block));
}

BENCHMARK(LauncherReadAndUnseal)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OpenSslReadDigestAndNineRsa)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LauncherSha1Of16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSslSha1Of16MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(LauncherOneExponentiation)->Unit(benchmark::kMicrosecond);
BENCHMARK(OpenSslOneRsaPublicOperation)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const Fixture* fixture = GetFixture();
  if (fixture) {
    remove(fixture->Master.c_str());
    remove(fixture->Work.c_str());
  }
  return 0;
}
