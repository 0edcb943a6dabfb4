// Which files go into which package, in the order the game installs them, with the
// unchanged files that fill packages too small for the sealed header.
#pragma once
#include <cstdint>

#include "tools/zvpack/PackageBins.h"
#include "tools/zvpack/ReleaseDiff.h"

const uint32_t PlanMaxEntries = 2 * ReleaseMaxItems;  // shipped files and fillers

struct PlanEntry {
  uint32_t Item;  // in the new release
  bool Filler;    // unchanged, only there to fill the package
};

struct ReleasePlan {
  uint32_t PackageCount;
  uint32_t LowerBound;          // no plan of these files needs fewer packages
  uint32_t First[BinMaxItems];  // each package's first entry in Entries
  uint32_t Count[BinMaxItems];  // and its number of entries
  uint32_t EntryCount;
  PlanEntry Entries[PlanMaxEntries];  // package by package, each in name order
  uint32_t FillerCount;
};

// The directory bytes of a new-release file in a package.
uint32_t EntryDirectoryBytes(const ReleaseTree* tree, uint32_t item);

// True for the launcher's own file, which the launcher cannot replace while it runs.
bool IsLauncherFile(const ReleaseTree* tree, uint32_t item);

// Refuses (printing one line that names the file and the limit) a shipped file that no
// package can hold; then distributes the shipped files and fills short packages with
// unchanged files whose names the launcher takes. Refuses, with the bytes missing, when
// a package cannot be filled.
bool PlanRelease(const ReleaseTree* to, const ReleaseDiff* diff, ReleasePlan* plan);
