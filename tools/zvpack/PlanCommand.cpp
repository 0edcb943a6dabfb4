// zvpack plan: a whole release as the packages that turn the old one into it. Everything
// is written into a new folder beside OUT and renamed to OUT at the end, so a refused or
// interrupted plan leaves no package that looks complete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "tools/zvpack/Commands.h"
#include "tools/zvpack/JsonText.h"
#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"
#include "tools/zvpack/ReleasePlan.h"

const char PlanHelp[] =
    "usage: zvpack plan --signature-key S.pem --sealing-key Z.pem --version A.B.C.D\n"
    "                   --from OLD_DIR --to NEW_DIR --out-dir OUT [--exclude GLOB]...\n"
    "                   [--follow-links]\n"
    "\n"
    "Writes the update packages that turn the release in OLD_DIR into the one in NEW_DIR,\n"
    "as OUT/update-001.pkg, OUT/update-002.pkg, ... in the order the game must install\n"
    "them (one after another, each with Zorvane.exe -update), and OUT/plan.json.\n"
    "\n"
    "A file is shipped when it is new or its contents differ (a changed time alone is not\n"
    "shipped). The shipped files go into as few packages as the launcher's limits allow\n"
    "(at most 1504 directory bytes, 25 plus the name per file, and 16,777,216 bytes per\n"
    "package); a package too small to fill its 2048-byte sealed header is filled with\n"
    "unchanged files, rewritten with their own contents and times. Files of OLD_DIR that\n"
    "NEW_DIR lacks cannot be removed by a package: they are listed as warnings.\n"
    "The same folders and keys always give the same bytes.\n"
    "\n"
    "  --exclude GLOB  leave out of both folders every file or folder whose path relative\n"
    "                  to the folder ('/' or '\\' between parts) matches GLOB, or whose\n"
    "                  own name does when GLOB has no separator; may be repeated\n"
    "  --follow-links  ship what symbolic links in the folders lead to; without it a link\n"
    "                  is refused, so that nothing from outside a release ships unseen\n"
    "\n"
    "OUT must not exist yet or be an empty folder. Refused, with exit code 2 and nothing\n"
    "in OUT: a shipped file whose folder OLD_DIR lacks (the launcher creates no folders)\n"
    "or whose name is a folder there, a file too large for any package, anything pack\n"
    "refuses for a single name, two names for one Windows file, a package that nothing\n"
    "unchanged can fill.\n";

const char PlanFileName[] = "plan.json";
const char VerifyFileName[] = "verify.tmp";

struct PlanOptions {
  const char* SignaturePath;
  const char* SealingPath;
  const char* VersionText;
  const char* From;
  const char* To;
  const char* Out;
  const char* Excludes[ReleaseMaxExcludes];
  uint32_t ExcludeCount;
  bool FollowLinks;
  uint32_t Version;
};

// What was written, for plan.json and the summary.
struct WrittenPackage {
  char File[32];
  uint32_t Size;
  char Sha256[65];
};

static ReleaseTree FromTree;
static ReleaseTree ToTree;
static ReleaseDiff Diff;
static ReleasePlan Plan;
static WrittenPackage Written[BinMaxItems];

static int ParseOptions(int argc, char** argv, PlanOptions* options) {
  memset(options, 0, sizeof *options);
  for (int i = 0; i < argc; i++) {
    const char** option = nullptr;
    if (strcmp(argv[i], "--signature-key") == 0)
      option = &options->SignaturePath;
    else if (strcmp(argv[i], "--sealing-key") == 0)
      option = &options->SealingPath;
    else if (strcmp(argv[i], "--version") == 0)
      option = &options->VersionText;
    else if (strcmp(argv[i], "--from") == 0)
      option = &options->From;
    else if (strcmp(argv[i], "--to") == 0)
      option = &options->To;
    else if (strcmp(argv[i], "--out-dir") == 0)
      option = &options->Out;
    else if (strcmp(argv[i], "--follow-links") == 0) {
      if (options->FollowLinks) {
        return UsageError(PlanHelp, "option given more than once:", argv[i]);
      }
      options->FollowLinks = true;
      continue;
    } else if (strcmp(argv[i], "--exclude") != 0)
      return UsageError(PlanHelp, "unexpected argument", argv[i]);
    if (i + 1 == argc) return UsageError(PlanHelp, "missing value after", argv[i]);
    if (option) {
      if (*option) return UsageError(PlanHelp, "option given more than once:", argv[i]);
      *option = argv[++i];
    } else if (options->ExcludeCount == ReleaseMaxExcludes) {
      return UsageError(PlanHelp, "too many --exclude patterns", nullptr);
    } else {
      options->Excludes[options->ExcludeCount++] = argv[++i];
    }
  }
  if (!options->SignaturePath) return UsageError(PlanHelp, "missing", "--signature-key");
  if (!options->SealingPath) return UsageError(PlanHelp, "missing", "--sealing-key");
  if (!options->VersionText) return UsageError(PlanHelp, "missing", "--version");
  if (!options->From) return UsageError(PlanHelp, "missing", "--from");
  if (!options->To) return UsageError(PlanHelp, "missing", "--to");
  if (!options->Out) return UsageError(PlanHelp, "missing", "--out-dir");
  if (!ParseVersion(options->VersionText, &options->Version)) {
    return UsageError(PlanHelp, "the version must be A.B.C.D with numbers 0 to 255, not",
                      options->VersionText);
  }
  return ExitOk;
}

// OUT may be missing or an empty folder; never overwrite what someone else put there.
static bool OutputFree(const char* out) {
  struct stat info;
  if (lstat(out, &info) != 0) return errno == ENOENT;
  if (!S_ISDIR(info.st_mode)) return false;
  DIR* folder = opendir(out);
  if (!folder) return false;
  bool empty = true;
  while (struct dirent* item = readdir(folder)) {
    if (strcmp(item->d_name, ".") != 0 && strcmp(item->d_name, "..") != 0) empty = false;
  }
  closedir(folder);
  return empty;
}

// folder/name into path (PATH_MAX bytes); false when it does not fit.
static bool InFolder(char* path, const char* folder, const char* name) {
  int length = snprintf(path, PATH_MAX, "%s/%s", folder, name);
  if (length >= 0 && length < PATH_MAX) return true;
  PackerError("the path '%s/%s' is too long", folder, name);
  return false;
}

// Removes the temporary folder and the files plan put in it.
static void RemoveFolder(const char* path) {
  static char file[PATH_MAX];
  DIR* folder = opendir(path);
  if (folder) {
    while (struct dirent* item = readdir(folder)) {
      if (strcmp(item->d_name, ".") == 0 || strcmp(item->d_name, "..") == 0) continue;
      if (InFolder(file, path, item->d_name)) unlink(file);
    }
    closedir(folder);
  }
  rmdir(path);
}

static bool WriteWhole(const char* path, const uint8_t* data, uint32_t size) {
  int descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (descriptor < 0) {
    PackerError("cannot create '%s'", path);
    return false;
  }
  uint32_t done = 0;
  while (done < size) {
    ssize_t wrote = write(descriptor, data + done, size - done);
    if (wrote <= 0) break;
    done += static_cast<uint32_t>(wrote);
  }
  bool ok = done == size && fsync(descriptor) == 0;
  ok = close(descriptor) == 0 && ok;
  if (!ok) PackerError("cannot write '%s'", path);
  return ok;
}

static void Sha256Hex(const uint8_t* data, uint32_t size, char hex[65]) {
  uint8_t digest[32];
  EVP_Digest(data, size, digest, nullptr, EVP_sha256(), nullptr);
  for (uint32_t i = 0; i < sizeof digest; i++) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
}

// The launcher's own reader on a copy of the package: what it accepts is what ships.
static bool LauncherAccepts(const char* folder, const char* file, const uint8_t* image,
                            uint32_t size, const PackerPublicKey* signature,
                            const PackerPublicKey* sealing, uint32_t entries) {
  static char path[PATH_MAX];
  if (!InFolder(path, folder, VerifyFileName) || !WriteWhole(path, image, size)) return false;
  int32_t result = ReadPackage(path, &signature->Key);  // deletes the copy
  unlink(path);
  if (result == 0) result = UnsealPackage(&sealing->Key);
  if (result == 0 && PackageEntryCount == entries) return true;
  PackerError("the launcher's reader rejects '%s' (error %d): nothing was written", file,
              static_cast<int>(result));
  return false;
}

// Builds package p of the plan into folder.
static bool WritePackage(const PlanOptions* options, uint32_t p, EVP_PKEY* signatureKey,
                         EVP_PKEY* sealingKey, const PackerPublicKey* signature,
                         const PackerPublicKey* sealing, const char* folder) {
  static PackFileList list;
  static uint8_t image[PackageBufferSize];
  static char path[PATH_MAX];
  memset(&list, 0, sizeof list);
  list.Count = Plan.Count[p];
  list.Found = list.Count;
  list.FollowLinks = options->FollowLinks;
  for (uint32_t k = 0; k < list.Count; k++) {
    const ReleaseItem* file = &ToTree.Items[Plan.Entries[Plan.First[p] + k].Item];
    PackEntry* entry = &list.Entries[k];
    entry->NameLength = file->NameLength;
    memcpy(entry->Name, ItemName(&ToTree, file), file->NameLength);
    entry->DataSize = static_cast<uint32_t>(file->Size);
    entry->LastWriteTime = file->LastWriteTime;
    snprintf(list.Paths[k], PackPathSize, "%s", ItemPath(&ToTree, file));
    list.Files[k] = file->File;
  }
  WrittenPackage* written = &Written[p];
  snprintf(written->File, sizeof written->File, "update-%03u.pkg", p + 1);
  PackCheck check = CheckPackEntries(list.Entries, list.Count);
  if (check.Problem != PackOk) {
    char text[256];
    DescribePackProblem(&check, text, sizeof text);
    PackerError("refused: %s ('%s'): %s", written->File, list.Paths[check.Entry], text);
    return false;
  }
  const uint8_t noKey[ScrambleKeySize] = {};
  uint32_t length = LayoutPackageImage(list.Entries, list.Count, options->Version, noKey, image);
  if (length == 0 || !ReadPackFiles(&list, image) ||
      !DeriveScrambleKey(image, length, sealingKey)) {
    return false;
  }
  written->Size = FinishPackageImage(image, length, signatureKey, sealingKey);
  if (written->Size == 0) return false;
  if (!LauncherAccepts(folder, written->File, image, written->Size, signature, sealing,
                       list.Count)) {
    return false;
  }
  Sha256Hex(image, written->Size, written->Sha256);
  return InFolder(path, folder, written->File) && WriteWhole(path, image, written->Size);
}

static void WriteNameList(FILE* out, const ReleaseTree* tree, const uint32_t* items,
                          uint32_t count) {
  fputc('[', out);
  for (uint32_t n = 0; n < count; n++) {
    fputs(n ? ",\n    " : "\n    ", out);
    const ReleaseItem* item = &tree->Items[items[n]];
    WriteJsonString(out, ItemName(tree, item), item->NameLength);
  }
  fputs(count ? "\n  ]" : "]", out);
}

static bool WritePlanFile(const PlanOptions* options, const char* folder) {
  static char path[PATH_MAX];
  static uint32_t fillers[PlanMaxEntries];
  if (!InFolder(path, folder, PlanFileName)) return false;
  FILE* out = fopen(path, "w");
  if (!out) {
    PackerError("cannot create '%s'", path);
    return false;
  }
  uint32_t v = options->Version;
  fprintf(out, "{\n  \"version\": \"%u.%u.%u.%u\",\n  \"packages\": [", v >> 24, (v >> 16) & 255,
          (v >> 8) & 255, v & 255);
  uint32_t fillerCount = 0;
  for (uint32_t p = 0; p < Plan.PackageCount; p++) {
    const WrittenPackage* written = &Written[p];
    fprintf(out,
            "%s\n    {\n      \"file\": \"%s\",\n      \"size\": %u,\n      \"sha256\": \"%s\",\n"
            "      \"entries\": [",
            p ? "," : "", written->File, written->Size, written->Sha256);
    for (uint32_t k = 0; k < Plan.Count[p]; k++) {
      const PlanEntry* entry = &Plan.Entries[Plan.First[p] + k];
      const ReleaseItem* file = &ToTree.Items[entry->Item];
      if (entry->Filler) fillers[fillerCount++] = entry->Item;
      char time[IsoTimeSize];
      FormatIsoTime(file->LastWriteTime, time);
      fputs(k ? ",\n        {\"name\": " : "\n        {\"name\": ", out);
      WriteJsonString(out, ItemName(&ToTree, file), file->NameLength);
      fprintf(out, ", \"size\": %llu, \"last_write_utc\": \"%s\", \"filler\": %s}",
              static_cast<unsigned long long>(file->Size), time, entry->Filler ? "true" : "false");
    }
    fputs("\n      ]\n    }", out);
  }
  fprintf(out, "%s,\n  \"shipped\": %u,\n  \"unchanged\": %u,\n  \"not_removed\": ",
          Plan.PackageCount ? "\n  ]" : "]", Diff.ShippedCount, Diff.UnchangedCount);
  WriteNameList(out, &FromTree, Diff.NotRemoved, Diff.NotRemovedCount);
  fputs(",\n  \"fillers\": ", out);
  WriteNameList(out, &ToTree, fillers, fillerCount);
  fputs("\n}\n", out);
  bool ok = fflush(out) == 0 && fsync(fileno(out)) == 0;
  ok = fclose(out) == 0 && ok;
  if (!ok) PackerError("cannot write '%s'", path);
  return ok;
}

static void PrintSummary(const PlanOptions* options, uint32_t warnings) {
  uint64_t shippedBytes = 0;
  for (uint32_t n = 0; n < Diff.ShippedCount; n++)
    shippedBytes += ToTree.Items[Diff.Shipped[n]].Size;
  uint64_t packageBytes = 0;
  for (uint32_t p = 0; p < Plan.PackageCount; p++) packageBytes += Written[p].Size;
  printf("Planned update %s in '%s': %u package%s (at least %u needed)\n", options->VersionText,
         options->Out, Plan.PackageCount, Plan.PackageCount == 1 ? "" : "s", Plan.LowerBound);
  for (uint32_t p = 0; p < Plan.PackageCount; p++) {
    printf("  %s  %3u files  %10u bytes\n", Written[p].File, Plan.Count[p], Written[p].Size);
  }
  printf("%u files shipped (%llu bytes of contents, %llu bytes of packages), %u unchanged,\n",
         Diff.ShippedCount, static_cast<unsigned long long>(shippedBytes),
         static_cast<unsigned long long>(packageBytes), Diff.UnchangedCount);
  printf("%u used as filler, %u warning%s\n", Plan.FillerCount, warnings, warnings == 1 ? "" : "s");
}

static bool KeysToLauncherForm(EVP_PKEY* signatureKey, EVP_PKEY* sealingKey,
                               PackerPublicKey* signature, PackerPublicKey* sealing) {
  return ToPackageKey(signatureKey, signature) && ToPackageKey(sealingKey, sealing);
}

// Everything after the options: returns the exit code.
static int RunPlan(const PlanOptions* options, EVP_PKEY* signatureKey, EVP_PKEY* sealingKey) {
  static PackerPublicKey signature;
  static PackerPublicKey sealing;
  if (!KeysToLauncherForm(signatureKey, sealingKey, &signature, &sealing)) return ExitFailed;
  FromTree.Root = options->From;
  ToTree.Root = options->To;
  FromTree.Excludes = ToTree.Excludes = options->Excludes;
  FromTree.ExcludeCount = ToTree.ExcludeCount = options->ExcludeCount;
  FromTree.FollowLinks = ToTree.FollowLinks = options->FollowLinks;
  if (!GatherRelease(&FromTree) || !GatherRelease(&ToTree)) return ExitFailed;
  if (!DiffReleases(&FromTree, &ToTree, &Diff)) return ExitFailed;
  if (!PlanRelease(&ToTree, &Diff, &Plan)) return ExitFailed;

  static char folder[PATH_MAX];
  if (snprintf(folder, sizeof folder, "%s.incomplete-XXXXXX", options->Out) >=
          static_cast<int>(sizeof folder) ||
      !mkdtemp(folder)) {
    PackerError("cannot make a folder beside '%s'", options->Out);
    return ExitFailed;
  }
  mode_t mask = umask(0);
  umask(mask);
  bool ok = chmod(folder, 0777 & ~mask) == 0;
  for (uint32_t p = 0; ok && p < Plan.PackageCount; p++) {
    ok = WritePackage(options, p, signatureKey, sealingKey, &signature, &sealing, folder);
  }
  ok = ok && WritePlanFile(options, folder);
  if (ok && (!OutputFree(options->Out) || rename(folder, options->Out) != 0)) {
    PackerError("cannot move the finished plan from '%s' to '%s'", folder, options->Out);
    ok = false;
  }
  if (!ok) {
    RemoveFolder(folder);
    return ExitFailed;
  }
  uint32_t warnings = Diff.NotRemovedCount;
  for (uint32_t n = 0; n < Diff.ShippedCount; n++) {
    if (!IsLauncherFile(&ToTree, Diff.Shipped[n])) continue;
    warnings++;
    PackerError(
        "warning: '%s' is shipped, but a running Zorvane.exe cannot replace its own "
        "file: the game client must run a copy from another folder to install it",
        ItemPath(&ToTree, &ToTree.Items[Diff.Shipped[n]]));
  }
  for (uint32_t n = 0; n < Diff.NotRemovedCount; n++) {
    PackerError(
        "warning: '%s' is not in '%s', and a package cannot remove files: it stays "
        "on the players' machines",
        ItemPath(&FromTree, &FromTree.Items[Diff.NotRemoved[n]]), options->To);
  }
  PrintSummary(options, warnings);
  return ExitOk;
}

int PlanCommand(int argc, char** argv) {
  static PlanOptions options;
  int parsed = ParseOptions(argc, argv, &options);
  if (parsed != ExitOk) return parsed;
  // Trailing slashes would put the temporary folder inside OUT instead of beside it.
  static char out[PATH_MAX];
  snprintf(out, sizeof out, "%s", options.Out);
  for (size_t length = strlen(out); length > 1 && out[length - 1] == '/'; length--) {
    out[length - 1] = 0;
  }
  options.Out = out;
  if (!OutputFree(out)) {
    PackerError("refused: '%s' exists and is not an empty folder: give a new output folder", out);
    return ExitFailed;
  }
  EVP_PKEY* signatureKey = LoadPackerKey(options.SignaturePath, true);
  EVP_PKEY* sealingKey = signatureKey ? LoadPackerKey(options.SealingPath, true) : nullptr;
  int result = sealingKey ? RunPlan(&options, signatureKey, sealingKey) : ExitFailed;
  EVP_PKEY_free(signatureKey);
  EVP_PKEY_free(sealingKey);
  return result;
}
