// The packing of files into packages: every bin within both limits, and as few bins as
// the lower bound where that is reachable.
#include <gtest/gtest.h>

#include <vector>

#include "tools/zvpack/PackageBins.h"

static const BinLimits Launcher = {BinDirectoryCapacity, BinSpaceCapacity};

struct ItemRun {
  uint32_t Count;
  uint32_t NameLength;
  uint64_t DataBytes;
};

static std::vector<BinItem> MakeItems(std::initializer_list<ItemRun> runs) {
  std::vector<BinItem> items;
  for (const ItemRun& run : runs) {
    for (uint32_t i = 0; i < run.Count; i++) {
      items.push_back({EntryFixedSize + run.NameLength, run.DataBytes});
    }
  }
  return items;
}

// Every item in a bin, no bin over either limit, no bin empty; returns the bin count.
static uint32_t PackAndCheck(const std::vector<BinItem>& items) {
  std::vector<uint32_t> binOf(items.size(), UINT32_MAX);
  uint32_t bins =
      PackBins(items.data(), static_cast<uint32_t>(items.size()), &Launcher, binOf.data());
  std::vector<uint64_t> directory(bins), space(bins);
  for (size_t i = 0; i < items.size(); i++) {
    EXPECT_LT(binOf[i], bins) << "item " << i;
    if (binOf[i] >= bins) continue;
    directory[binOf[i]] += items[i].DirectoryBytes;
    space[binOf[i]] += items[i].DirectoryBytes + items[i].DataBytes;
  }
  for (uint32_t b = 0; b < bins; b++) {
    EXPECT_GT(directory[b], 0u) << "bin " << b << " is empty";
    EXPECT_LE(directory[b], BinDirectoryCapacity) << "bin " << b;
    EXPECT_LE(space[b] + PackageFixedOverhead, PackageBufferSize) << "bin " << b;
  }
  return bins;
}

struct BoundCase {
  const char* Name;
  std::vector<BinItem> Items;
  uint32_t Bins;  // the lower bound, which the packing reaches
};

TEST(PackageBins, ReachesTheLowerBoundWhereItCan) {
  const uint64_t MiB = 1 << 20;
  const BoundCase cases[] = {
      // 33 entries of 45 bytes fill 1485 of 1504 directory bytes.
      {"directory_bound", MakeItems({{120, 20, 100}}), 4},
      {"size_bound", MakeItems({{6, 5, 5 * MiB}}), 2},
      {"both", MakeItems({{2, 8, 10 * MiB}, {60, 25, 10}}), 3},
      {"57_short_names_in_one", MakeItems({{57, 1, 40}}), 1},
      {"58_short_names_in_two", MakeItems({{58, 1, 40}}), 2},
      {"mixed_sizes", MakeItems({{3, 12, 9 * MiB}, {3, 12, 6 * MiB}, {40, 30, 3000}}), 3},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.Name);
    uint32_t count = static_cast<uint32_t>(c.Items.size());
    EXPECT_EQ(BinLowerBound(c.Items.data(), count, &Launcher), c.Bins);
    EXPECT_EQ(PackAndCheck(c.Items), c.Bins);
  }
}

// Long names against the directory, files just under the size limit against the size,
// and small files in between: no bin breaks either limit, and the same items give the
// same bins.
TEST(PackageBins, WorstCaseStaysWithinBothLimits) {
  std::vector<BinItem> items;
  const uint32_t longest = EntryFixedSize + EntryMaxNameLength;
  for (uint32_t i = 0; i < 200; i++) items.push_back({longest, 1 + i % 7});
  for (uint32_t i = 0; i < 6; i++) items.push_back({longest, BinSpaceCapacity - longest - i});
  for (uint32_t i = 0; i < 6; i++) items.push_back({26, BinSpaceCapacity / 2 + i});
  for (uint32_t i = 0; i < 300; i++) items.push_back({EntryFixedSize + 1 + i % 200, i * 977});
  uint32_t bins = PackAndCheck(items);
  uint32_t bound = BinLowerBound(items.data(), static_cast<uint32_t>(items.size()), &Launcher);
  EXPECT_GE(bins, bound);

  std::vector<uint32_t> first(items.size()), second(items.size());
  uint32_t count = static_cast<uint32_t>(items.size());
  PackBins(items.data(), count, &Launcher, first.data());
  PackBins(items.data(), count, &Launcher, second.data());
  EXPECT_EQ(first, second);
}

TEST(PackageBins, NothingToPackIsNoBin) {
  uint32_t binOf[1];
  EXPECT_EQ(PackBins(nullptr, 0, &Launcher, binOf), 0u);
  EXPECT_EQ(BinLowerBound(nullptr, 0, &Launcher), 0u);
}
