// zvpack inspect: the launcher's ReadPackage and UnsealPackage run on a copy of the
// package, so the publisher's file is never deleted or changed; the verdict is the text
// the launcher would show.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "tools/zvpack/Commands.h"
#include "tools/zvpack/JsonText.h"
#include "tools/zvpack/PackerKeys.h"

const char InspectHelp[] =
    "usage: zvpack inspect --signature-key S.pem --sealing-key Z.pem [--body-out FILE]\n"
    "                      [--json] PKG\n"
    "\n"
    "Reads and unseals a copy of PKG with the launcher's own code and the public halves\n"
    "of the given keys (private or public PEM files). On acceptance prints the version\n"
    "and each entry's size, last-write time (UTC) and name, and exits 0; otherwise prints\n"
    "the launcher's message and exits 2. PKG itself is left as it is.\n"
    "\n"
    "  --body-out FILE  also write the unsealed, descrambled body of an accepted package\n"
    "  --json           print the verdict as one JSON object on standard output instead:\n"
    "                   accepted, message (the launcher's, or null), version, body_length\n"
    "                   and entries (name, size, last_write_utc), for scripts\n";

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
  const int64_t unixEpoch = 11644473600LL;
  time_t seconds = static_cast<time_t>(static_cast<int64_t>(ticks / 10000000u) - unixEpoch);
  struct tm utc;
  if (!gmtime_r(&seconds, &utc)) {
    printf("%20llu ticks", static_cast<unsigned long long>(ticks));
    return;
  }
  printf("%04d-%02d-%02d %02d:%02d:%02d.%07u", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
         utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<unsigned>(ticks % 10000000u));
}

static bool WriteBody(const char* path) {
  FILE* out = fopen(path, "wb");
  bool ok = out && fwrite(PackageBuffer, 1, PackageBodyLength, out) == PackageBodyLength;
  if (out) ok = fclose(out) == 0 && ok;
  if (!ok) PackerError("cannot write '%s'", path);
  return ok;
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
}

// One object: the verdict, and what the launcher read from an accepted package.
static void PrintJson(const char* path, const char* message) {
  printf("{\"package\": ");
  WriteJsonString(stdout, path);
  printf(", \"accepted\": %s, \"message\": ", message ? "false" : "true");
  if (message) {
    WriteJsonString(stdout, message);
    printf(", \"version\": null, \"body_length\": null, \"entries\": []}\n");
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
  printf("]}\n");
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
  if (result == PackageCorrupt) {
    snprintf(message, sizeof message, "Update package '%s' is corrupt (error %d)", path, result);
  } else if (result == PackageInvalid) {
    snprintf(message, sizeof message, "Invalid update package '%s' (error %d)", path, result);
  } else if (result != 0) {
    snprintf(message, sizeof message, "Unable to read update package '%s' (error %d)", path,
             result);
  } else {
    result = UnsealPackage(&sealingKey->Key);
    if (result != 0) {
      snprintf(message, sizeof message, "Error while preparing update package (error %d)", result);
    }
  }
  if (json) {
    PrintJson(path, result == 0 ? nullptr : message);
  } else if (result != 0) {
    fprintf(stderr, "%s\n", message);
  } else {
    PrintListing(path);
  }
  if (result != 0) return ExitFailed;
  if (bodyOut && !WriteBody(bodyOut)) return ExitFailed;
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

  static PackerPublicKey signatureKey;
  static PackerPublicKey sealingKey;
  EVP_PKEY* signature = LoadPackerKey(signaturePath, false);
  EVP_PKEY* sealing = signature ? LoadPackerKey(sealingPath, false) : nullptr;
  bool ok = sealing && ToPackageKey(signature, &signatureKey) && ToPackageKey(sealing, &sealingKey);
  EVP_PKEY_free(signature);
  EVP_PKEY_free(sealing);
  if (!ok) return ExitFailed;
  return Inspect(packagePath, &signatureKey, &sealingKey, bodyOut, json);
}
