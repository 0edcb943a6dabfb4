// Gathering a release folder with the same walk as pack DIR, into tables large enough
// for a whole release.
#include "tools/zvpack/ReleaseTree.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "tools/zvpack/PackerFiles.h"
#include "tools/zvpack/PackerKeys.h"

static char FoldName(char c) {
  if (c == '/') return '\\';
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c;
}

int FoldedCompare(const char* a, uint32_t aLength, const char* b, uint32_t bLength) {
  uint32_t shorter = std::min(aLength, bLength);
  for (uint32_t i = 0; i < shorter; i++) {
    unsigned char x = static_cast<unsigned char>(FoldName(a[i]));
    unsigned char y = static_cast<unsigned char>(FoldName(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (aLength != bLength) return aLength < bLength ? -1 : 1;
  return 0;
}

bool NameExcluded(const char* const* patterns, uint32_t count, const char* name) {
  static char slashed[PackPathSize];
  static char pattern[PackPathSize];
  size_t length = strlen(name);
  if (length >= sizeof slashed) return false;
  for (size_t i = 0; i <= length; i++) slashed[i] = name[i] == '\\' ? '/' : name[i];
  const char* last = strrchr(slashed, '/');
  last = last ? last + 1 : slashed;
  for (uint32_t k = 0; k < count; k++) {
    size_t patternLength = strlen(patterns[k]);
    if (patternLength >= sizeof pattern) continue;
    bool separators = false;
    for (size_t i = 0; i <= patternLength; i++) {
      char c = patterns[k][i];
      if (c == '\\') c = '/';
      separators = separators || c == '/';
      pattern[i] = c;
    }
    if (fnmatch(pattern, slashed, FNM_NOESCAPE) == 0) return true;
    if (!separators && fnmatch(pattern, last, FNM_NOESCAPE) == 0) return true;
  }
  return false;
}

// Copies text into the tree's pool; UINT32_MAX when the pool is full.
static uint32_t KeepText(ReleaseTree* tree, const char* text, size_t length) {
  if (length + 1 > ReleaseTextSize - tree->TextUsed) return UINT32_MAX;
  uint32_t at = tree->TextUsed;
  memcpy(tree->Text + at, text, length);
  tree->Text[at + length] = 0;
  tree->TextUsed += static_cast<uint32_t>(length + 1);
  return at;
}

static WalkStep GatherReleaseItem(void* context, const char* name, size_t nameLength,
                                  const char* path, const struct stat* info) {
  ReleaseTree* tree = static_cast<ReleaseTree*>(context);
  if (NameExcluded(tree->Excludes, tree->ExcludeCount, name)) return WalkSkip;
  if (tree->Count == ReleaseMaxItems) {
    PackerError("'%s' holds more than %u files and folders", tree->Root, ReleaseMaxItems);
    return WalkStop;
  }
  ReleaseItem* item = &tree->Items[tree->Count];
  memset(item, 0, sizeof *item);
  item->IsFolder = S_ISDIR(info->st_mode);
  if (!item->IsFolder) {
    if (!S_ISREG(info->st_mode)) {
      PackerError("'%s' is not a regular file", path);
      return WalkStop;
    }
    item->File = {info->st_dev, info->st_ino};
    item->Size = static_cast<uint64_t>(info->st_size);
    item->LastWriteTime =
        FileTimeFromUnix(info->st_mtim.tv_sec, static_cast<uint32_t>(info->st_mtim.tv_nsec));
  }
  item->Name = KeepText(tree, name, nameLength);
  item->Path = KeepText(tree, path, strlen(path));
  if (item->Name == UINT32_MAX || item->Path == UINT32_MAX) {
    PackerError("the names under '%s' take more than %u bytes", tree->Root, ReleaseTextSize);
    return WalkStop;
  }
  item->NameLength = static_cast<uint32_t>(nameLength);
  tree->Count++;
  return WalkGo;
}

bool GatherRelease(ReleaseTree* tree) {
  tree->Count = 0;
  tree->TextUsed = 0;
  struct stat info;
  if (stat(tree->Root, &info) != 0 || !S_ISDIR(info.st_mode)) {
    PackerError("'%s' is not a folder", tree->Root);
    return false;
  }
  if (!WalkFolderTree(tree->Root, tree->FollowLinks, GatherReleaseItem, tree)) return false;
  // Folded order, then byte order: the same on every machine whatever readdir returned,
  // and names that are one Windows file end up side by side.
  std::sort(
      tree->Items, tree->Items + tree->Count, [tree](const ReleaseItem& a, const ReleaseItem& b) {
        int c = FoldedCompare(ItemName(tree, &a), a.NameLength, ItemName(tree, &b), b.NameLength);
        if (c != 0) return c < 0;
        return strcmp(ItemName(tree, &a), ItemName(tree, &b)) < 0;
      });
  return true;
}

int32_t FindReleaseItem(const ReleaseTree* tree, const char* name, uint32_t nameLength) {
  uint32_t low = 0, high = tree->Count;
  while (low < high) {
    uint32_t middle = low + (high - low) / 2;
    const ReleaseItem* item = &tree->Items[middle];
    if (FoldedCompare(ItemName(tree, item), item->NameLength, name, nameLength) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  int32_t found = -1;
  for (uint32_t k = low; k < tree->Count; k++) {
    const ReleaseItem* item = &tree->Items[k];
    if (FoldedCompare(ItemName(tree, item), item->NameLength, name, nameLength) != 0) break;
    if (found < 0) found = static_cast<int32_t>(k);
    if (item->NameLength == nameLength && memcmp(ItemName(tree, item), name, nameLength) == 0) {
      return static_cast<int32_t>(k);
    }
  }
  return found;
}
