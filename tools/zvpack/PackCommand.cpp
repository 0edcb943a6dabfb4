// zvpack pack: a folder or name/file pairs into a signed, sealed package, written to a
// temporary file and renamed, so a refused or failed run leaves no output behind.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/zvpack/Commands.h"
#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"
#include "tools/zvpack/PackerOutput.h"

const char PackHelp[] =
    "usage: zvpack pack --signature-key S.pem --sealing-key Z.pem --version A.B.C.D\n"
    "                   --out PKG [--follow-links] (DIR | NAME=FILE ...)\n"
    "\n"
    "Builds an update package from the files under DIR (named by their paths relative\n"
    "to DIR, with '\\' between components, in byte order of the names) or from the given\n"
    "NAME=FILE pairs (split at the first '=', in the order given). Each file keeps its\n"
    "modification time as its last-write time. The header is sealed with the private\n"
    "key Z.pem and the package signed with the private key S.pem; A.B.C.D are four\n"
    "numbers from 0 to 255.\n"
    "\n"
    "A symbolic link under DIR is refused unless --follow-links is given; then what it\n"
    "leads to is packed, and a link back to a folder above it is refused as a loop.\n"
    "\n"
    "Refused, with no output written: no files or more than 57, a directory that would\n"
    "end past offset 1696, an empty name or one over 255 bytes, a name byte outside\n"
    "0x20-0x7E or one of <>:\"|?*, a name beginning with '\\' or '/', an empty path\n"
    "component, a name or path component beginning with '.' or ending in '.' or ' ', a\n"
    "Windows device name as a component (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9,\n"
    "CONIN$, CONOUT$, with or without an extension), two names for one file (Windows\n"
    "ignores case, takes '/' as '\\' and drops trailing dots and spaces), a file over\n"
    "16,777,216 bytes, a package over 16,777,216 bytes, contents too small to fill the\n"
    "2048-byte sealed header; an output that exists and is not a regular file, that is\n"
    "a key file or one of the files to pack, or that lies inside DIR.\n";

bool ParseVersion(const char* text, uint32_t* version) {
  uint32_t value = 0;
  const char* p = text;
  for (int part = 0; part < 4; part++) {
    if (*p < '0' || *p > '9') return false;
    uint32_t number = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      number = number * 10 + static_cast<uint32_t>(*p++ - '0');
      if (++digits > 3 || number > 255) return false;
    }
    value = (value << 8) | number;
    if (part < 3 && *p++ != '.') return false;
  }
  if (*p != 0) return false;
  *version = value;
  return true;
}

// Refuses what the launcher would reject, naming the cause and the file.
static bool Acceptable(const PackFileList* list) {
  PackCheck check;
  if (list->Found > list->Count) {
    check = {PackTooManyEntries, 0, list->Found};
  } else {
    check = CheckPackEntries(list->Entries, list->Count);
  }
  if (check.Problem == PackOk) return true;
  char text[256];
  DescribePackProblem(&check, text, sizeof text);
  bool aboutOneName = check.Problem >= PackNameEmpty && check.Problem <= PackDirectoryTooLong;
  bool aboutOneFile = aboutOneName || check.Problem == PackFileTooLarge;
  if (aboutOneName) {
    // The name as it would go into the package, shown with any unprintable byte escaped.
    const PackEntry* entry = &list->Entries[check.Entry];
    static char name[4 * EntryMaxNameLength + 1];
    size_t length = 0;
    for (uint32_t i = 0; i < entry->NameLength && i < EntryMaxNameLength; i++) {
      uint8_t c = static_cast<uint8_t>(entry->Name[i]);
      if (c >= 0x20 && c <= 0x7E) {
        name[length++] = static_cast<char>(c);
      } else {
        length += static_cast<size_t>(snprintf(name + length, 5, "\\x%02X", c));
      }
    }
    name[length] = 0;
    PackerError("refused: the name '%s' of '%s': %s", name, list->Paths[check.Entry], text);
  } else if (aboutOneFile) {
    PackerError("refused: '%s': %s", list->Paths[check.Entry], text);
  } else {
    PackerError("refused: %s", text);
  }
  return false;
}

int PackCommand(int argc, char** argv) {
  const char* signaturePath = nullptr;
  const char* sealingPath = nullptr;
  const char* versionText = nullptr;
  const char* outPath = nullptr;
  bool followLinks = false;
  static char* inputs[4096];
  uint32_t inputCount = 0;
  for (int i = 0; i < argc; i++) {
    const char** option = nullptr;
    if (strcmp(argv[i], "--signature-key") == 0)
      option = &signaturePath;
    else if (strcmp(argv[i], "--sealing-key") == 0)
      option = &sealingPath;
    else if (strcmp(argv[i], "--version") == 0)
      option = &versionText;
    else if (strcmp(argv[i], "--out") == 0)
      option = &outPath;
    else if (strcmp(argv[i], "--follow-links") == 0) {
      if (followLinks) return UsageError(PackHelp, "option given more than once:", argv[i]);
      followLinks = true;
      continue;
    } else if (strncmp(argv[i], "--", 2) == 0)
      return UsageError(PackHelp, "unknown option", argv[i]);
    if (option) {
      // A second value would silently win over the first: say so instead.
      if (*option) return UsageError(PackHelp, "option given more than once:", argv[i]);
      if (i + 1 == argc) return UsageError(PackHelp, "missing value after", argv[i]);
      *option = argv[++i];
    } else if (inputCount == sizeof inputs / sizeof inputs[0]) {
      return UsageError(PackHelp, "too many NAME=FILE arguments", nullptr);
    } else {
      inputs[inputCount++] = argv[i];
    }
  }
  if (!signaturePath) return UsageError(PackHelp, "missing", "--signature-key");
  if (!sealingPath) return UsageError(PackHelp, "missing", "--sealing-key");
  if (!versionText) return UsageError(PackHelp, "missing", "--version");
  if (!outPath) return UsageError(PackHelp, "missing", "--out");
  uint32_t version;
  if (!ParseVersion(versionText, &version)) {
    return UsageError(PackHelp, "the version must be A.B.C.D with numbers 0 to 255, not",
                      versionText);
  }
  if (inputCount == 0) return UsageError(PackHelp, "give a folder or NAME=FILE pairs", nullptr);
  struct stat info;
  bool folder = inputCount == 1 && stat(inputs[0], &info) == 0 && S_ISDIR(info.st_mode);
  if (!folder) {
    for (uint32_t i = 0; i < inputCount; i++) {
      if (!strchr(inputs[i], '=')) {
        return UsageError(PackHelp, "not a folder and not NAME=FILE:", inputs[i]);
      }
    }
  }
  if (!CheckOutputPath(outPath) ||
      !CheckOutputIsNotInput(outPath, signaturePath, "the signature key file") ||
      !CheckOutputIsNotInput(outPath, sealingPath, "the sealing key file") ||
      (folder && !CheckOutputOutsideFolder(outPath, inputs[0]))) {
    return ExitFailed;
  }

  EVP_PKEY* signatureKey = LoadPackerKey(signaturePath, true);
  EVP_PKEY* sealingKey = signatureKey ? LoadPackerKey(sealingPath, true) : nullptr;
  static PackFileList list;
  bool ok = sealingKey &&
            (folder ? GatherFolder(inputs[0], &list, followLinks)
                    : GatherPairs(inputs, inputCount, &list)) &&
            Acceptable(&list) && CheckOutputIsNotListed(outPath, &list);
  uint32_t size = 0;
  if (ok) {
    static uint8_t image[PackageBufferSize];
    // The scramble key comes from the contents: the same files give the same package.
    const uint8_t noKey[ScrambleKeySize] = {};
    uint32_t length = LayoutPackageImage(list.Entries, list.Count, version, noKey, image);
    ok = length != 0 && ReadPackFiles(&list, image) && DeriveScrambleKey(image, length, sealingKey);
    size = ok ? FinishPackageImage(image, length, signatureKey, sealingKey) : 0;
    ok = size != 0 && WriteFileAtomically(outPath, image, size);
  }
  EVP_PKEY_free(signatureKey);
  EVP_PKEY_free(sealingKey);
  if (!ok) return ExitFailed;
  printf("Wrote '%s': version %u.%u.%u.%u, %u entries, %u bytes\n", outPath, version >> 24,
         (version >> 16) & 255, (version >> 8) & 255, version & 255, list.Count, size);
  return ExitOk;
}
