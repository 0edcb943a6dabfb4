// The difference between two releases: which files of the new one must be shipped, which
// are unchanged (and may fill a package that is too small), and which old files the new
// release no longer has (a package cannot remove them).
#pragma once
#include <cstdint>

#include "tools/zvpack/ReleaseTree.h"

struct ReleaseDiff {
  uint32_t Shipped[ReleaseMaxItems];  // new-release items: new files, changed contents
  uint32_t ShippedCount;
  uint32_t Unchanged[ReleaseMaxItems];  // new-release items whose contents the player has
  uint32_t UnchangedCount;
  bool SameTime[ReleaseMaxItems];        // per new-release item: unchanged and same last-write time
  uint32_t NotRemoved[ReleaseMaxItems];  // old-release items missing from the new one
  uint32_t NotRemovedCount;
};

// Compares contents, never times, so a file whose only change is its time is unchanged.
// Refuses, printing one line that names the file: two new-release names for one Windows
// file, a shipped file whose folder the old release lacks (the launcher creates no
// folders) or whose name is a folder there (it would be waited for without end).
bool DiffReleases(const ReleaseTree* from, const ReleaseTree* to, ReleaseDiff* diff);
