// Planning: packing the shipped files, then filling. A short package has free directory
// room only when the packing left it some, so when a short package cannot take a filler
// the files are packed again with room kept free in every directory for one.
#include "tools/zvpack/ReleasePlan.h"

#include <algorithm>
#include <cstring>

#include "tools/zvpack/PackerImage.h"
#include "tools/zvpack/PackerKeys.h"

uint32_t EntryDirectoryBytes(const ReleaseTree* tree, uint32_t item) {
  return EntryFixedSize + tree->Items[item].NameLength;
}

static uint64_t EntrySpace(const ReleaseTree* tree, uint32_t item) {
  return EntryDirectoryBytes(tree, item) + tree->Items[item].Size;
}

// The file as a package entry, for the launcher's name rules.
static void ToPackEntry(const ReleaseTree* tree, uint32_t item, PackEntry* entry) {
  const ReleaseItem* file = &tree->Items[item];
  memset(entry, 0, sizeof *entry);
  entry->NameLength = file->NameLength;
  memcpy(entry->Name, ItemName(tree, file), std::min(file->NameLength, EntryMaxNameLength));
  entry->DataSize = static_cast<uint32_t>(std::min<uint64_t>(file->Size, UINT32_MAX));
  entry->LastWriteTime = file->LastWriteTime;
}

// Problems that one file and its name can have, whatever package it goes into.
static bool SingleFileProblem(PackProblem problem) {
  return problem != PackOk && problem != PackTooSmall && problem != PackTooManyEntries &&
         problem != PackNoEntries && problem != PackDirectoryTooLong;
}

static bool CheckShippedFile(const ReleaseTree* to, uint32_t item) {
  const ReleaseItem* file = &to->Items[item];
  uint64_t largest = BinSpaceCapacity - EntryDirectoryBytes(to, item);
  if (file->NameLength <= EntryMaxNameLength && file->Size > largest) {
    PackerError(
        "refused: '%s': the file is %llu bytes long: with the package's %u bytes of header, "
        "directory entry and signature at most %llu fit in a package of %u bytes",
        ItemPath(to, file), static_cast<unsigned long long>(file->Size),
        PackageFixedOverhead + EntryDirectoryBytes(to, item),
        static_cast<unsigned long long>(largest), PackageBufferSize);
    return false;
  }
  static PackEntry entry;
  ToPackEntry(to, item, &entry);
  PackCheck check = CheckPackEntries(&entry, 1);
  if (!SingleFileProblem(check.Problem)) return true;
  char text[256];
  DescribePackProblem(&check, text, sizeof text);
  PackerError("refused: '%s': %s", ItemPath(to, file), text);
  return false;
}

bool IsLauncherFile(const ReleaseTree* tree, uint32_t item) {
  static const char Launcher[] = "Zorvane.exe";
  const ReleaseItem* file = &tree->Items[item];
  return FoldedCompare(ItemName(tree, file), file->NameLength, Launcher, sizeof Launcher - 1) == 0;
}

// Unchanged files that may fill a package: names the launcher takes, best first (same
// time as the player's copy, then smaller).
static uint32_t Candidates[ReleaseMaxItems];
static uint32_t CandidateCount;
static uint32_t SameTimeCount;  // the first candidates, whose time is the player's

static void GatherCandidates(const ReleaseTree* to, const ReleaseDiff* diff) {
  static PackEntry entry;
  CandidateCount = 0;
  for (uint32_t n = 0; n < diff->UnchangedCount; n++) {
    uint32_t item = diff->Unchanged[n];
    if (EntrySpace(to, item) > BinSpaceCapacity - BinMinimumSpace) continue;
    // The running launcher cannot open its own file for writing: it would wait for it
    // until the player gives up.
    if (IsLauncherFile(to, item)) continue;
    ToPackEntry(to, item, &entry);
    if (SingleFileProblem(CheckPackEntries(&entry, 1).Problem)) continue;
    Candidates[CandidateCount++] = item;
  }
  std::stable_sort(Candidates, Candidates + CandidateCount, [to, diff](uint32_t a, uint32_t b) {
    if (diff->SameTime[a] != diff->SameTime[b]) return diff->SameTime[a];
    return EntrySpace(to, a) < EntrySpace(to, b);
  });
  SameTimeCount = 0;
  while (SameTimeCount < CandidateCount && diff->SameTime[Candidates[SameTimeCount]]) {
    SameTimeCount++;
  }
}

// The candidates largest first, those with the player's time before the others.
static uint32_t LargestCandidate(uint32_t rank) {
  if (rank < SameTimeCount) return Candidates[SameTimeCount - 1 - rank];
  return Candidates[CandidateCount - 1 - (rank - SameTimeCount)];
}

static void AddFiller(ReleasePlan* plan, uint32_t package, uint32_t item) {
  plan->Entries[plan->EntryCount++] = {item, true};
  plan->Count[package]++;
  plan->FillerCount++;
}

// Adds fillers to the package that ends the plan's entries; returns the bytes still
// missing (0 when filled).
static uint64_t FillPackage(const ReleaseTree* to, ReleasePlan* plan, uint32_t package,
                            uint32_t directoryUsed, uint64_t spaceUsed) {
  uint64_t missing = BinMinimumSpace - spaceUsed;
  uint32_t directoryRoom = BinDirectoryCapacity - directoryUsed;
  uint64_t spaceRoom = BinSpaceCapacity - spaceUsed;
  // A package holds at most PackMaxEntries, so this many free slots always suffice.
  if (PlanMaxEntries - plan->EntryCount < PackMaxEntries) return missing;
  // One file that fills it alone, the first (best) that does.
  for (uint32_t n = 0; n < CandidateCount; n++) {
    uint32_t item = Candidates[n];
    if (EntryDirectoryBytes(to, item) <= directoryRoom && EntrySpace(to, item) >= missing &&
        EntrySpace(to, item) <= spaceRoom) {
      AddFiller(plan, package, item);
      return 0;
    }
  }
  // Else the largest that fit, until it is full.
  for (uint32_t rank = 0; rank < CandidateCount && missing > 0; rank++) {
    uint32_t item = LargestCandidate(rank);
    if (EntryDirectoryBytes(to, item) > directoryRoom || EntrySpace(to, item) > spaceRoom) continue;
    AddFiller(plan, package, item);
    directoryRoom -= EntryDirectoryBytes(to, item);
    spaceRoom -= EntrySpace(to, item);
    missing -= std::min(missing, EntrySpace(to, item));
  }
  return missing;
}

// Directory room that holds fillers enough for any package: one file that fills a
// package alone with the shortest name, else the largest files until they would.
static uint32_t FillerReserve(const ReleaseTree* to) {
  uint32_t best = UINT32_MAX;
  for (uint32_t n = 0; n < CandidateCount; n++) {
    if (EntrySpace(to, Candidates[n]) >= BinMinimumSpace) {
      best = std::min(best, EntryDirectoryBytes(to, Candidates[n]));
    }
  }
  if (best != UINT32_MAX) return best;
  uint32_t reserve = 0;
  uint64_t filled = 0;
  for (uint32_t rank = 0; rank < CandidateCount && filled < BinMinimumSpace; rank++) {
    reserve += EntryDirectoryBytes(to, LargestCandidate(rank));
    filled += EntrySpace(to, LargestCandidate(rank));
  }
  // Every shipped file must still fit a directory on its own.
  const uint32_t largestEntry = EntryFixedSize + EntryMaxNameLength;
  return std::min(reserve, BinDirectoryCapacity - largestEntry);
}

// Packs and fills with this much directory room kept free; false with the package
// and the bytes it lacks when one cannot be filled.
static bool PackAndFill(const ReleaseTree* to, const ReleaseDiff* diff, uint32_t reserve,
                        ReleasePlan* plan, uint32_t* shortPackage, uint64_t* missing) {
  static BinItem items[BinMaxItems];
  static uint32_t binOf[BinMaxItems];
  for (uint32_t n = 0; n < diff->ShippedCount; n++) {
    items[n].DirectoryBytes = EntryDirectoryBytes(to, diff->Shipped[n]);
    items[n].DataBytes = to->Items[diff->Shipped[n]].Size;
  }
  BinLimits limits = {BinDirectoryCapacity - reserve, BinSpaceCapacity};
  plan->PackageCount = PackBins(items, diff->ShippedCount, &limits, binOf);
  BinLimits full = {BinDirectoryCapacity, BinSpaceCapacity};
  plan->LowerBound = BinLowerBound(items, diff->ShippedCount, &full);
  plan->EntryCount = 0;
  plan->FillerCount = 0;
  for (uint32_t p = 0; p < plan->PackageCount; p++) {
    plan->First[p] = plan->EntryCount;
    plan->Count[p] = 0;
    uint32_t directoryUsed = 0;
    uint64_t spaceUsed = 0;
    for (uint32_t n = 0; n < diff->ShippedCount; n++) {
      if (binOf[n] != p) continue;
      plan->Entries[plan->EntryCount++] = {diff->Shipped[n], false};
      plan->Count[p]++;
      directoryUsed += items[n].DirectoryBytes;
      spaceUsed += items[n].DirectoryBytes + items[n].DataBytes;
    }
    if (spaceUsed < BinMinimumSpace) {
      *missing = FillPackage(to, plan, p, directoryUsed, spaceUsed);
      if (*missing > 0) {
        *shortPackage = p;
        return false;
      }
    }
    // Name order inside the package, fillers among the rest.
    std::sort(plan->Entries + plan->First[p], plan->Entries + plan->EntryCount,
              [](const PlanEntry& a, const PlanEntry& b) { return a.Item < b.Item; });
  }
  return true;
}

bool PlanRelease(const ReleaseTree* to, const ReleaseDiff* diff, ReleasePlan* plan) {
  for (uint32_t n = 0; n < diff->ShippedCount; n++) {
    if (!CheckShippedFile(to, diff->Shipped[n])) return false;
  }
  GatherCandidates(to, diff);
  uint32_t shortPackage = 0;
  uint64_t missing = 0;
  if (PackAndFill(to, diff, 0, plan, &shortPackage, &missing)) return true;
  uint32_t reserve = FillerReserve(to);
  if (reserve > 0 && PackAndFill(to, diff, reserve, plan, &shortPackage, &missing)) return true;

  const PlanEntry* first = &plan->Entries[plan->First[shortPackage]];
  PackerError(
      "refused: package %u (with '%s') is too small to fill the %u-byte sealed header: %llu "
      "more bytes are needed, and the new release has %s to fill it with",
      shortPackage + 1, ItemPath(to, &to->Items[first->Item]), SealedHeaderSize,
      static_cast<unsigned long long>(missing),
      CandidateCount == 0 ? "no unchanged file" : "not enough unchanged files");
  return false;
}
