// A whole release folder as plan sees it: every file and folder, named as the launcher
// names them, sorted the way Windows tells names apart. Releases hold far more files
// than one package, so the items live in their own large tables.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/zvpack/PackerFiles.h"
#include "updater/Package.h"

const uint32_t ReleaseMaxItems = 65536;      // files and folders of one release
const uint32_t ReleaseTextSize = 16u << 20;  // their names and paths, each with its zero
const uint32_t ReleaseMaxExcludes = 256;     // --exclude patterns

struct ReleaseItem {
  uint32_t Name;        // offset in Text: the path relative to the root, '\' between parts
  uint32_t NameLength;  // the real length, also when over the 255 the launcher takes
  uint32_t Path;        // offset in Text: the path to open on this machine
  bool IsFolder;
  PackFileIdentity File;  // which file was listed, so that one swapped since is refused
  uint64_t Size;
  PackageFileTime LastWriteTime;
};

struct ReleaseTree {
  const char* Root;
  const char* const* Excludes;  // glob patterns, matched against the name with '/' or '\'
  uint32_t ExcludeCount;
  bool FollowLinks;  // links inside the folder are followed instead of refused
  uint32_t Count;
  ReleaseItem Items[ReleaseMaxItems];  // sorted by FoldedCompare
  uint32_t TextUsed;
  char Text[ReleaseTextSize];
};

// Windows ignores ASCII case in names and takes '/' as '\': <0, 0, >0 as a and b sort
// in that folded order; two names that compare 0 are one file on Windows.
int FoldedCompare(const char* a, uint32_t aLength, const char* b, uint32_t bLength);

// True when a pattern leaves this name out: it matches the whole name, or (a pattern
// without separators) its last component. '*' also matches across separators.
bool NameExcluded(const char* const* patterns, uint32_t count, const char* name);

// Walks tree->Root (excluded items and everything under an excluded folder left out)
// into tree->Items, sorted. Prints and returns false on anything it cannot read, a
// special file, a link (unless tree->FollowLinks) or a release larger than the tables.
bool GatherRelease(ReleaseTree* tree);

// The index of the item whose name is the same Windows file as name, or -1. An exact
// spelling wins over one that differs only in case.
int32_t FindReleaseItem(const ReleaseTree* tree, const char* name, uint32_t nameLength);

inline const char* ItemName(const ReleaseTree* tree, const ReleaseItem* item) {
  return tree->Text + item->Name;
}
inline const char* ItemPath(const ReleaseTree* tree, const ReleaseItem* item) {
  return tree->Text + item->Path;
}
