#include "tests/native/package/PackageDraft.h"

#include <gtest/gtest.h>
#include <openssl/rsa.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

const TestKeys* GetTestKeys() {
  static TestKeys keys;
  static bool made = false;
  if (!made) {
    keys.Signature = EVP_RSA_gen(2048);
    keys.Sealing = EVP_RSA_gen(2048);
    if (!keys.Signature || !keys.Sealing || !ToPackageKey(keys.Signature, &keys.SignaturePublic) ||
        !ToPackageKey(keys.Sealing, &keys.SealingPublic)) {
      return nullptr;
    }
    made = true;
  }
  return &keys;
}

const uint8_t* DraftPattern() {
  static uint8_t* pattern = nullptr;
  if (!pattern) {
    pattern = new uint8_t[DraftImageSize];
    uint32_t x = 0x12345678;
    for (uint32_t i = 0; i < DraftImageSize; i++) {
      x = x * 1103515245u + 12345u;
      pattern[i] = static_cast<uint8_t>(x >> 24);
    }
  }
  return pattern;
}

void StartDraft(PackageDraft* draft) {
  static uint8_t* image = new uint8_t[DraftImageSize];
  memset(draft, 0, sizeof *draft);
  draft->Image = image;
  draft->Count = 1;
  draft->Version = 0x01020304;
  PackEntry* entry = &draft->Entries[0];
  strcpy(entry->Name, "x.dll");
  entry->NameLength = 5;
  entry->DataSize = 2000;
  entry->Data = DraftPattern();
  entry->LastWriteTime = {0x89ABCDEF, 0x01D2F3A4};
}

std::string ScratchPath(const char* name) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string file = std::string("zv_package_") + test->name() + "_" + name;
  for (char& c : file) {
    if (c == '/') c = '_';
  }
  return testing::TempDir() + file;
}

bool WriteDraft(const PackageDraft* draft, const std::string& path) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(draft->Image, 1, draft->Size, file) == draft->Size;
  return fclose(file) == 0 && ok;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}
