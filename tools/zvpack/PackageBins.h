// Distributing files over as few packages as possible. A package has two limits at once:
// the directory area (25 bytes plus the name per entry) and the whole file's size, and
// one floor: its directory and contents must fill the sealed header.
#pragma once
#include <cstdint>

#include "tools/zvpack/ReleaseTree.h"
#include "updater/PackageLayout.h"

// The fixed overhead of every package: the header before the directory and the trailer.
const uint32_t PackageFixedOverhead = DirectoryOffset + SignatureTrailerSize;  // 452
// What the directory area holds: no entry may end past offset 1696.
const uint32_t BinDirectoryCapacity = DirectoryEnd - DirectoryOffset;  // 1504
// Directory and contents together, so that the package stays within 16,777,216 bytes.
const uint64_t BinSpaceCapacity = PackageBufferSize - PackageFixedOverhead;
// Directory and contents must reach offset 2048 so that the eight sealed blocks are full.
const uint64_t BinMinimumSpace = SealedHeaderSize - DirectoryOffset;  // 1856

const uint32_t BinMaxItems = ReleaseMaxItems;

struct BinItem {
  uint32_t DirectoryBytes;  // 25 and the name's length
  uint64_t DataBytes;       // the file's contents
};

// One item per package at most when any item breaks a limit on its own; callers refuse
// such items first.
struct BinLimits {
  uint32_t DirectoryBytes;  // at most BinDirectoryCapacity
  uint64_t SpaceBytes;      // directory and contents, at most BinSpaceCapacity
};

// Puts every item into a bin (binOf[i] for item i, bins numbered from 0 in the order they
// were opened) and returns the number of bins. Tries first-fit with the items in several
// decreasing orders and keeps the fewest bins; ties keep the earlier order, so the same
// items always give the same bins.
uint32_t PackBins(const BinItem* items, uint32_t count, const BinLimits* limits, uint32_t* binOf);

// No packing of these items can use fewer bins: the larger of each limit's total over
// its capacity (rounded up) and the number of items too large to share a bin pairwise.
uint32_t BinLowerBound(const BinItem* items, uint32_t count, const BinLimits* limits);
