// The publisher's RSA keys: PEM files loaded with OpenSSL, checked to be what the
// launcher can use, turned into the launcher's 65-limb form, and the raw private-key
// operation that seals and signs.
#pragma once
#include <openssl/evp.h>

#include "updater/PackageLayout.h"

// A public key in the launcher's form; Key points into the record itself.
struct PackerPublicKey {
  BigNum Modulus[1 + KeyModulusLimbs];
  BigNum Exponent[1 + 1];
  PackageKey Key;
};

// Loads an RSA key (PKCS#1 or unencrypted PKCS#8 private key, SubjectPublicKeyInfo or
// PKCS#1 public key) and checks that it is 2048 bits with its top bit set and the
// exponent 65537; with needPrivate, also that it holds the private half. A file with
// more than one PEM block is refused rather than guessed from. On failure
// prints the file and the problem and returns null. Free with EVP_PKEY_free.
EVP_PKEY* LoadPackerKey(const char* path, bool needPrivate);

// Fills key with the public half of an RSA key loaded by LoadPackerKey.
bool ToPackageKey(EVP_PKEY* pkey, PackerPublicKey* key);

// out = in^d mod n with no padding, both 256-byte numbers least significant byte first.
// in must be below the modulus (a top limb of SealMarker always is). Prints on failure.
bool RsaPrivateBlock(EVP_PKEY* pkey, const uint8_t in[RsaBlockSize], uint8_t out[RsaBlockSize]);

// Prints "zvpack: " and the formatted text and a line feed to stderr.
void PackerError(const char* format, ...) __attribute__((format(printf, 1, 2)));
