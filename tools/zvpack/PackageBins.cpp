// First-fit decreasing on two limits. Which limit binds depends on the release (many small
// files with long names fill directories, a few large ones fill the size), so the items
// are sorted by each limit, by the larger and by the sum of their shares, and the best
// result is kept.
#include "tools/zvpack/PackageBins.h"

#include <algorithm>
#include <cstring>

enum BinOrder { ByDirectory, BySpace, ByLargerShare, BySumOfShares, BinOrderCount };

// An item's share of one limit, scaled to avoid floating point: 2^32 is a whole bin.
static uint64_t Share(uint64_t amount, uint64_t capacity) {
  return capacity == 0 ? 0 : (amount << 32) / capacity;
}

static uint64_t OrderKey(const BinItem* item, const BinLimits* limits, BinOrder order) {
  uint64_t space = item->DirectoryBytes + item->DataBytes;
  uint64_t directoryShare = Share(item->DirectoryBytes, limits->DirectoryBytes);
  uint64_t spaceShare = Share(space, limits->SpaceBytes);
  switch (order) {
    case ByDirectory:
      return item->DirectoryBytes;
    case BySpace:
      return space;
    case ByLargerShare:
      return std::max(directoryShare, spaceShare);
    default:
      return directoryShare + spaceShare;
  }
}

static uint32_t FirstFit(const BinItem* items, const uint32_t* order, uint32_t count,
                         const BinLimits* limits, uint32_t* binOf) {
  static uint32_t directoryUsed[BinMaxItems];
  static uint64_t spaceUsed[BinMaxItems];
  uint32_t bins = 0;
  for (uint32_t n = 0; n < count; n++) {
    uint32_t i = order[n];
    uint64_t space = items[i].DirectoryBytes + items[i].DataBytes;
    uint32_t bin = 0;
    while (bin < bins && (directoryUsed[bin] + items[i].DirectoryBytes > limits->DirectoryBytes ||
                          spaceUsed[bin] + space > limits->SpaceBytes)) {
      bin++;
    }
    if (bin == bins) {
      directoryUsed[bins] = 0;
      spaceUsed[bins] = 0;
      bins++;
    }
    directoryUsed[bin] += items[i].DirectoryBytes;
    spaceUsed[bin] += space;
    binOf[i] = bin;
  }
  return bins;
}

uint32_t PackBins(const BinItem* items, uint32_t count, const BinLimits* limits, uint32_t* binOf) {
  static uint32_t order[BinMaxItems];
  static uint32_t trial[BinMaxItems];
  static uint64_t keys[BinMaxItems];
  uint32_t best = UINT32_MAX;
  for (int o = 0; o < BinOrderCount; o++) {
    for (uint32_t i = 0; i < count; i++) {
      order[i] = i;
      keys[i] = OrderKey(&items[i], limits, static_cast<BinOrder>(o));
    }
    // Decreasing key; equal keys keep the callers' order, so the result is reproducible.
    std::stable_sort(order, order + count,
                     [](uint32_t a, uint32_t b) { return keys[a] > keys[b]; });
    uint32_t bins = FirstFit(items, order, count, limits, trial);
    if (bins < best) {
      best = bins;
      memcpy(binOf, trial, count * sizeof *binOf);
    }
  }
  return count == 0 ? 0 : best;
}

static uint64_t CeilDivide(uint64_t a, uint64_t b) { return b == 0 ? 0 : (a + b - 1) / b; }

uint32_t BinLowerBound(const BinItem* items, uint32_t count, const BinLimits* limits) {
  uint64_t directory = 0, space = 0;
  uint32_t directoryHalves = 0, spaceHalves = 0;
  for (uint32_t i = 0; i < count; i++) {
    uint64_t itemSpace = items[i].DirectoryBytes + items[i].DataBytes;
    directory += items[i].DirectoryBytes;
    space += itemSpace;
    // Two items each over half of a limit never share a bin.
    if (2ull * items[i].DirectoryBytes > limits->DirectoryBytes) directoryHalves++;
    if (2 * itemSpace > limits->SpaceBytes) spaceHalves++;
  }
  uint64_t bound = std::max(CeilDivide(directory, limits->DirectoryBytes),
                            CeilDivide(space, limits->SpaceBytes));
  bound = std::max<uint64_t>(bound, std::max(directoryHalves, spaceHalves));
  return static_cast<uint32_t>(bound);
}
