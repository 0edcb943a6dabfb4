// Packages built by the tests with their own RSA keys, stage by stage, so that any
// layer can be broken on purpose before the next one is put on.
#pragma once
#include <openssl/evp.h>

#include <string>

#include "tools/zvpack/PackerImage.h"
#include "tools/zvpack/PackerKeys.h"

struct TestKeys {
  EVP_PKEY* Signature;
  EVP_PKEY* Sealing;
  PackerPublicKey SignaturePublic;
  PackerPublicKey SealingPublic;
};

// Two fresh RSA-2048 key pairs, made once per test program.
const TestKeys* GetTestKeys();

// Room for a package of 16 MiB and some bytes beyond, to test files longer than that.
const uint32_t DraftImageSize = PackageBufferSize + 4096;

struct PackageDraft {
  PackEntry Entries[PackageMaxEntries];
  uint32_t Count;
  uint32_t Version;
  uint8_t* Image;   // DraftImageSize bytes
  uint32_t Length;  // L
  uint32_t Size;    // bytes of the file
};

// Bytes that every entry's contents are cut from (DraftImageSize of them).
const uint8_t* DraftPattern();

// One entry "x.dll" of 2000 bytes: L = 2222.
void StartDraft(PackageDraft* draft);

// The path of a scratch file for the current test.
std::string ScratchPath(const char* name);
bool WriteDraft(const PackageDraft* draft, const std::string& path);
bool FileExists(const std::string& path);
