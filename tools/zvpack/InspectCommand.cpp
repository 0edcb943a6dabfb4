// zvpack inspect: the launcher's ReadPackage and UnsealPackage run on a copy of the
// package, so the publisher's file is never deleted or changed; the verdict is the text
// the launcher would show. An accepted package is listed with the fingerprints of the keys
// it was made for, so a publisher can match it to the release that embeds those keys.
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "tools/zvpack/Commands.h"
#include "tools/zvpack/JsonText.h"
#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"
#include "tools/zvpack/PackerOutput.h"
#include "updater/PackageMessages.h"

const char InspectHelp[] =
    "usage: zvpack inspect --signature-key S.pem --sealing-key Z.pem [--body-out FILE]\n"
    "                      [--json] PKG\n"
    "\n"
    "Reads and unseals a copy of PKG with the launcher's own code and the public halves\n"
    "of the given keys (private or public PEM files). On acceptance prints the version\n"
    "and each entry's size, last-write time (UTC) and name, and exits 0; otherwise prints\n"
    "the launcher's message and exits 2. PKG itself is left as it is. An accepted\n"
    "package's listing ends with the two keys' fingerprints (SHA-256 of the DER\n"
    "SubjectPublicKeyInfo), as a release's build prints them for the keys its\n"
    "Zorvane.exe embeds.\n"
    "\n"
    "  --body-out FILE  also write the unsealed, descrambled body of an accepted package\n"
    "                   (through a temporary file beside FILE; an existing FILE must be a\n"
    "                   regular file other than PKG and the key files)\n"
    "  --json           print the verdict as one JSON object on standard output instead:\n"
    "                   accepted, message (the launcher's, or null), version, body_length,\n"
    "                   entries (name, size, last_write_utc) and key_fingerprints, for\n"
    "                   scripts\n";

// 32 bytes of SHA-256 as lower-case hex, and the terminating zero.
const int FingerprintTextSize = 2 * 32 + 1;
static char SignatureFingerprint[FingerprintTextSize];
static char SealingFingerprint[FingerprintTextSize];

// SHA-256 of the public half as DER SubjectPublicKeyInfo: the same bytes whichever PEM
// form the key file holds, and what `openssl pkey -pubout -outform DER | sha256sum` prints.
static bool KeyFingerprint(EVP_PKEY* pkey, const char* path, char text[FingerprintTextSize]) {
  unsigned char* der = nullptr;
  int length = i2d_PUBKEY(pkey, &der);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  bool ok = length > 0 &&
            EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(),
                       nullptr) == 1 &&
            2 * digestLength + 1 == FingerprintTextSize;
  OPENSSL_free(der);
  if (!ok) {
    PackerError("cannot compute the fingerprint of the key in '%s'", path);
    return false;
  }
  for (unsigned int k = 0; k < digestLength; k++) snprintf(text + 2 * k, 3, "%02x", digest[k]);
  return true;
}

// After the entries, so that the listing above keeps its shape.
static void PrintFingerprints() {
  printf("Made for the keys (SHA-256 of each public key):\n");
  printf("  signature %s\n", SignatureFingerprint);
  printf("  sealing   %s\n", SealingFingerprint);
}

// The launcher reads at most this much; the copy needs no more.
static bool CopyHead(const char* from, const char* to, bool* opened) {
  FILE* in = fopen(from, "rb");
  *opened = in != nullptr;
  if (!in) return false;
  FILE* out = fopen(to, "wb");
  bool ok = out != nullptr;
  static uint8_t chunk[1 << 16];
  uint32_t copied = 0;
  while (ok && copied < PackageBufferSize) {
    size_t want = sizeof chunk;
    if (want > PackageBufferSize - copied) want = PackageBufferSize - copied;
    size_t got = fread(chunk, 1, want, in);
    if (got == 0) break;
    ok = fwrite(chunk, 1, got, out) == got;
    copied += static_cast<uint32_t>(got);
  }
  ok = !ferror(in) && ok;
  fclose(in);
  if (out) ok = fclose(out) == 0 && ok;
  return ok;
}

static void PrintFileTime(PackageFileTime time) {
  uint64_t ticks = (static_cast<uint64_t>(time.HighDateTime) << 32) | time.LowDateTime;
  // 1970-01-01 in FILETIME ticks, from the conversion that pack stamps the entries with.
  PackageFileTime epoch = FileTimeFromUnix(0, 0);
  uint64_t epochTicks = (static_cast<uint64_t>(epoch.HighDateTime) << 32) | epoch.LowDateTime;
  time_t seconds = static_cast<time_t>(static_cast<int64_t>(ticks / 10000000u) -
                                       static_cast<int64_t>(epochTicks / 10000000u));
  struct tm utc;
  if (!gmtime_r(&seconds, &utc)) {
    printf("%20llu ticks", static_cast<unsigned long long>(ticks));
    return;
  }
  printf("%04d-%02d-%02d %02d:%02d:%02d.%07u", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
         utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<unsigned>(ticks % 10000000u));
}

static void PrintListing(const char* path) {
  uint32_t v = PackageVersion;
  printf("Update package '%s' accepted\n", path);
  printf("Version %u.%u.%u.%u, %u entries, %u bytes of body\n", v >> 24, (v >> 16) & 255,
         (v >> 8) & 255, v & 255, PackageEntryCount, PackageBodyLength);
  printf("%10s  %-27s  %s\n", "SIZE", "LAST WRITE (UTC)", "NAME");
  for (uint32_t k = 0; k < PackageEntryCount; k++) {
    const PackageEntry* entry = &PackageEntries[k];
    printf("%10u  ", entry->DataSize);
    PrintFileTime(entry->LastWriteTime);
    printf("  %s\n", entry->Name);
  }
  PrintFingerprints();
}

// One object: the verdict, and what the launcher read from an accepted package.
static void PrintJson(const char* path, const char* message) {
  printf("{\"package\": ");
  WriteJsonString(stdout, path);
  printf(", \"accepted\": %s, \"message\": ", message ? "false" : "true");
  if (message) {
    WriteJsonString(stdout, message);
    printf(
        ", \"version\": null, \"body_length\": null, \"entries\": [], "
        "\"key_fingerprints\": null}\n");
    return;
  }
  uint32_t v = PackageVersion;
  printf("null, \"version\": \"%u.%u.%u.%u\", \"body_length\": %u, \"entries\": [", v >> 24,
         (v >> 16) & 255, (v >> 8) & 255, v & 255, PackageBodyLength);
  for (uint32_t k = 0; k < PackageEntryCount; k++) {
    const PackageEntry* entry = &PackageEntries[k];
    char time[IsoTimeSize];
    FormatIsoTime(entry->LastWriteTime, time);
    printf("%s{\"name\": ", k ? ", " : "");
    WriteJsonString(stdout, entry->Name);
    printf(", \"size\": %u, \"last_write_utc\": \"%s\"}", entry->DataSize, time);
  }
  printf("], \"key_fingerprints\": {\"signature\": \"%s\", \"sealing\": \"%s\"}}\n",
         SignatureFingerprint, SealingFingerprint);
}

static int Inspect(const char* path, const PackerPublicKey* signatureKey,
                   const PackerPublicKey* sealingKey, const char* bodyOut, bool json) {
  const char* directory = getenv("TMPDIR");
  static char copyPath[PATH_MAX];
  snprintf(copyPath, sizeof copyPath, "%s/zvpack-inspect-XXXXXX",
           directory && *directory ? directory : "/tmp");
  int descriptor = mkstemp(copyPath);
  if (descriptor < 0) {
    PackerError("cannot make a temporary copy of '%s' in '%s'", path, copyPath);
    return ExitFailed;
  }
  close(descriptor);
  bool opened;
  bool copied = CopyHead(path, copyPath, &opened);
  int32_t result = PackageUnreadable;
  if (copied) result = ReadPackage(copyPath, &signatureKey->Key);
  remove(copyPath);  // ReadPackage has removed it already, unless it could not open it
  if (!copied && opened) {
    PackerError("cannot make a temporary copy of '%s'", path);
    return ExitFailed;
  }

  // The launcher's message for the first step that failed, empty when accepted.
  char message[PATH_MAX + 100];
  message[0] = 0;
  if (result != 0) {
    snprintf(message, sizeof message, ReadFailureFormat(result), path, result);
  } else {
    result = UnsealPackage(&sealingKey->Key);
    if (result != 0) snprintf(message, sizeof message, UnsealFailureFormat, result);
  }
  if (json) {
    PrintJson(path, result == 0 ? nullptr : message);
  } else if (result != 0) {
    fprintf(stderr, "%s\n", message);
  } else {
    PrintListing(path);
  }
  if (result != 0) return ExitFailed;
  if (bodyOut && !WriteFileAtomically(bodyOut, PackageBuffer, PackageBodyLength)) {
    return ExitFailed;
  }
  return ExitOk;
}

int InspectCommand(int argc, char** argv) {
  const char* signaturePath = nullptr;
  const char* sealingPath = nullptr;
  const char* bodyOut = nullptr;
  const char* packagePath = nullptr;
  bool json = false;
  for (int i = 0; i < argc; i++) {
    const char** option = nullptr;
    if (strcmp(argv[i], "--signature-key") == 0)
      option = &signaturePath;
    else if (strcmp(argv[i], "--sealing-key") == 0)
      option = &sealingPath;
    else if (strcmp(argv[i], "--body-out") == 0)
      option = &bodyOut;
    else if (strcmp(argv[i], "--json") == 0) {
      json = true;
      continue;
    } else if (strncmp(argv[i], "--", 2) == 0)
      return UsageError(InspectHelp, "unknown option", argv[i]);
    if (option) {
      if (*option) return UsageError(InspectHelp, "option given more than once:", argv[i]);
      if (i + 1 == argc) return UsageError(InspectHelp, "missing value after", argv[i]);
      *option = argv[++i];
    } else if (packagePath) {
      return UsageError(InspectHelp, "more than one package given:", argv[i]);
    } else {
      packagePath = argv[i];
    }
  }
  if (!signaturePath) return UsageError(InspectHelp, "missing", "--signature-key");
  if (!sealingPath) return UsageError(InspectHelp, "missing", "--sealing-key");
  if (!packagePath) return UsageError(InspectHelp, "no package given", nullptr);
  // The body never replaces what inspect reads, nor anything but a regular file.
  if (bodyOut &&
      (!CheckOutputPath(bodyOut) || !CheckOutputIsNotInput(bodyOut, packagePath, "the package") ||
       !CheckOutputIsNotInput(bodyOut, signaturePath, "the signature key file") ||
       !CheckOutputIsNotInput(bodyOut, sealingPath, "the sealing key file"))) {
    return ExitFailed;
  }

  static PackerPublicKey signatureKey;
  static PackerPublicKey sealingKey;
  EVP_PKEY* signature = LoadPackerKey(signaturePath, false);
  EVP_PKEY* sealing = signature ? LoadPackerKey(sealingPath, false) : nullptr;
  bool ok = sealing && ToPackageKey(signature, &signatureKey) &&
            ToPackageKey(sealing, &sealingKey) &&
            KeyFingerprint(signature, signaturePath, SignatureFingerprint) &&
            KeyFingerprint(sealing, sealingPath, SealingFingerprint);
  EVP_PKEY_free(signature);
  EVP_PKEY_free(sealing);
  if (!ok) return ExitFailed;
  return Inspect(packagePath, &signatureKey, &sealingKey, bodyOut, json);
}
