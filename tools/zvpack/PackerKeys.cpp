// Key files for zvpack, through OpenSSL's decoder so every usual PEM form is accepted.
#include "tools/zvpack/PackerKeys.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/rsa.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

void PackerError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("zvpack: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
}

// Encrypted keys are refused rather than prompted for: the tool runs unattended.
static int NoPassphrase(char*, size_t, size_t*, const OSSL_PARAM*, void*) { return 0; }

static BIGNUM* KeyNumber(EVP_PKEY* pkey, const char* name) {
  BIGNUM* number = nullptr;
  if (!EVP_PKEY_get_bn_param(pkey, name, &number)) return nullptr;
  return number;
}

// A PEM key file is a few kilobytes; anything far larger is not one.
const size_t KeyFileMaxSize = 64 * 1024;

// Counts the PEM blocks: lines that begin "-----BEGIN ".
static uint32_t CountPemBlocks(const char* text, size_t size) {
  static const char Begin[] = "-----BEGIN ";
  const size_t beginSize = sizeof Begin - 1;
  uint32_t count = 0;
  for (size_t i = 0; i + beginSize <= size; i++) {
    bool lineStart = i == 0 || text[i - 1] == '\n';
    if (lineStart && memcmp(text + i, Begin, beginSize) == 0) count++;
  }
  return count;
}

EVP_PKEY* LoadPackerKey(const char* path, bool needPrivate) {
  FILE* file = fopen(path, "rb");
  if (!file) {
    PackerError("cannot open key file '%s': %s", path, strerror(errno));
    return nullptr;
  }
  static char text[KeyFileMaxSize + 1];
  size_t size = fread(text, 1, sizeof text, file);
  int error = ferror(file) ? errno : 0;
  fclose(file);
  if (error != 0) {
    PackerError("cannot read key file '%s': %s", path, strerror(error));
    return nullptr;
  }
  if (size > KeyFileMaxSize) {
    PackerError("key file '%s' is over %zu bytes: not a PEM key", path, KeyFileMaxSize);
    return nullptr;
  }
  // The decoder would take the first key and ignore the rest; which one the publisher
  // meant cannot be known, so a file must hold one.
  uint32_t blocks = CountPemBlocks(text, size);
  if (blocks > 1) {
    PackerError("key file '%s' holds %u PEM blocks: give a file with only one key", path, blocks);
    OPENSSL_cleanse(text, size);
    return nullptr;
  }
  EVP_PKEY* pkey = nullptr;
  OSSL_DECODER_CTX* decoder =
      OSSL_DECODER_CTX_new_for_pkey(&pkey, "PEM", nullptr, "RSA", 0, nullptr, nullptr);
  if (decoder) {
    OSSL_DECODER_CTX_set_passphrase_cb(decoder, NoPassphrase, nullptr);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(text);
    size_t left = size;
    OSSL_DECODER_from_data(decoder, &data, &left);
    OSSL_DECODER_CTX_free(decoder);
  }
  OPENSSL_cleanse(text, size);
  ERR_clear_error();
  if (!pkey) {
    PackerError("key file '%s' is not an unencrypted RSA key in PEM form", path);
    return nullptr;
  }

  BIGNUM* n = KeyNumber(pkey, OSSL_PKEY_PARAM_RSA_N);
  BIGNUM* e = KeyNumber(pkey, OSSL_PKEY_PARAM_RSA_E);
  BIGNUM* d = KeyNumber(pkey, OSSL_PKEY_PARAM_RSA_D);
  const char* problem = nullptr;
  if (!n || !e) {
    problem = "it has no RSA modulus or exponent";
  } else if (BN_num_bits(n) != 2048) {
    problem = "the modulus must be 2048 bits with its top bit set";
  } else if (!BN_is_word(e, 65537)) {
    problem = "the public exponent must be 65537";
  } else if (needPrivate && !d) {
    problem = "it is a public key; packing needs the private key";
  }
  BN_free(n);
  BN_free(e);
  BN_clear_free(d);
  if (problem) {
    PackerError("key file '%s': %s", path, problem);
    EVP_PKEY_free(pkey);
    return nullptr;
  }
  return pkey;
}

bool ToPackageKey(EVP_PKEY* pkey, PackerPublicKey* key) {
  BIGNUM* n = KeyNumber(pkey, OSSL_PKEY_PARAM_RSA_N);
  uint8_t bytes[RsaBlockSize];
  bool ok = n && BN_bn2lebinpad(n, bytes, sizeof bytes) == static_cast<int>(sizeof bytes);
  BN_free(n);
  if (!ok) return false;
  key->Modulus[0] = KeyModulusLimbs;
  for (uint32_t i = 0; i < RsaBlockLimbs; i++)
    key->Modulus[1 + i] = ReadLittleEndian32(bytes + 4 * i);
  key->Modulus[KeyModulusLimbs] = 0;
  key->Exponent[0] = 1;
  key->Exponent[1] = 65537;
  key->Key.Modulus = key->Modulus;
  key->Key.Exponent = key->Exponent;
  return true;
}

bool RsaPrivateBlock(EVP_PKEY* pkey, const uint8_t in[RsaBlockSize], uint8_t out[RsaBlockSize]) {
  // OpenSSL numbers are big-endian; the package's are little-endian.
  uint8_t input[RsaBlockSize];
  uint8_t output[RsaBlockSize];
  for (uint32_t i = 0; i < RsaBlockSize; i++) input[i] = in[RsaBlockSize - 1 - i];
  size_t outputSize = sizeof output;
  // The raw private operation (c^d mod n, no padding) is what EVP calls decryption
  // without padding; the launcher's public exponentiation undoes it.
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(pkey, nullptr);
  bool ok = context && EVP_PKEY_decrypt_init(context) > 0 &&
            EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) > 0 &&
            EVP_PKEY_decrypt(context, output, &outputSize, input, sizeof input) > 0 &&
            outputSize == sizeof output;
  EVP_PKEY_CTX_free(context);
  if (!ok) {
    unsigned long code = ERR_get_error();
    PackerError("RSA private-key operation failed: %s",
                code ? ERR_error_string(code, nullptr) : "unknown error");
    ERR_clear_error();
    return false;
  }
  for (uint32_t i = 0; i < RsaBlockSize; i++) out[i] = output[RsaBlockSize - 1 - i];
  OPENSSL_cleanse(output, sizeof output);
  return true;
}
