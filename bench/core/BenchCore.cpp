// The launcher's two costs beside OpenSSL in one run: SHA-1 over a full-size package
// (16 MiB) and one 2048-bit RSA public operation (exponent 65537).
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <vector>

#include "updater/Sha1.h"
#include "updater/bignum/BigNum.h"
#include "tests/native/bignum/BigNumOpenSsl.h"

static const size_t PackageSize = 16 * 1024 * 1024;  // the launcher's package buffer

static const std::vector<uint8_t>& PackageBytes() {
  static std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> filled(PackageSize);
    std::mt19937 random(1);
    for (uint8_t& byte : filled) {
      byte = static_cast<uint8_t>(random());
    }
    return filled;
  }();
  return bytes;
}

static void Sha1Ours(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = PackageBytes();
  uint8_t digest[Sha1DigestSize];
  for (auto _ : state) {
    Sha1Context context;
    Sha1Start(&context);
    Sha1Feed(&context, bytes.data(), bytes.size());
    Sha1Finish(&context, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * PackageSize);
}

static void Sha1OpenSsl(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = PackageBytes();
  uint8_t digest[EVP_MAX_MD_SIZE];
  unsigned int digestSize = 0;
  for (auto _ : state) {
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &digestSize, EVP_sha1(), nullptr) != 1) {
      state.SkipWithError("EVP_Digest failed");
      break;
    }
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * PackageSize);
}

// A 2048-bit odd modulus with its top bit set and a base below it, as a key and a
// signature are; the key carries the leading zero limb the launcher's keys have.
struct RsaOperands {
  BigNum* Modulus;
  BigNum* Base;
  BigNum* Exponent;
};

static const RsaOperands& Operands() {
  static RsaOperands operands = [] {
    std::mt19937 random(2);
    RsaOperands made;
    made.Modulus = BigNumNew(65);
    made.Base = BigNumNew(64);
    for (uint32_t i = 1; i <= 64; i++) {
      made.Modulus[i] = static_cast<uint32_t>(random());
      made.Base[i] = static_cast<uint32_t>(random());
    }
    made.Modulus[1] |= 1;
    made.Modulus[64] |= 0x80000000;
    made.Base[64] &= 0x7FFFFFFF;
    made.Exponent = BigNumFromWord(1, 65537);
    return made;
  }();
  return operands;
}

static void ModExp65537Ours(benchmark::State& state) {
  const RsaOperands& operands = Operands();
  for (auto _ : state) {
    BigNum* result = BigNumModExp(operands.Base, operands.Exponent, operands.Modulus);
    if (result == nullptr) {
      state.SkipWithError("BigNumModExp failed");
      break;
    }
    benchmark::DoNotOptimize(result);
    BigNumFree(result);
  }
}

static void ModExp65537OpenSsl(benchmark::State& state) {
  const RsaOperands& operands = Operands();
  BIGNUM* base = ToOpenSsl(operands.Base);
  BIGNUM* exponent = ToOpenSsl(operands.Exponent);
  BIGNUM* modulus = ToOpenSsl(operands.Modulus);
  BIGNUM* result = BN_new();
  BN_CTX* context = BN_CTX_new();
  for (auto _ : state) {
    if (BN_mod_exp(result, base, exponent, modulus, context) != 1) {
      state.SkipWithError("BN_mod_exp failed");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  BN_CTX_free(context);
  BN_free(result);
  BN_free(modulus);
  BN_free(exponent);
  BN_free(base);
}

BENCHMARK(Sha1Ours)->Name("Sha1/16MiB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Sha1OpenSsl)->Name("Sha1/16MiB/openssl")->Unit(benchmark::kMillisecond);
BENCHMARK(ModExp65537Ours)->Name("ModExp/2048bit/65537/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(ModExp65537OpenSsl)->Name("ModExp/2048bit/65537/openssl")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
