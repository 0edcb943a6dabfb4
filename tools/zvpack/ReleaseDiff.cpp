// Comparing two gathered releases file by file.
#include "tools/zvpack/ReleaseDiff.h"

#include <cstdio>
#include <cstring>

#include "tools/zvpack/PackerKeys.h"

const size_t CompareChunkSize = 1 << 20;

// 1 when the files hold the same bytes, 0 when not, -1 when one cannot be read.
static int SameContents(const char* a, const char* b) {
  static uint8_t left[CompareChunkSize];
  static uint8_t right[CompareChunkSize];
  FILE* x = fopen(a, "rb");
  FILE* y = x ? fopen(b, "rb") : nullptr;
  if (!x || !y) {
    PackerError("cannot open '%s'", x ? b : a);
    if (x) fclose(x);
    return -1;
  }
  int same = 1;
  for (;;) {
    size_t got = fread(left, 1, sizeof left, x);
    size_t other = fread(right, 1, sizeof right, y);
    if (got != other || memcmp(left, right, got) != 0) {
      same = 0;
      break;
    }
    if (got < sizeof left) break;
  }
  if (ferror(x) || ferror(y)) {
    PackerError("cannot read '%s' or '%s'", a, b);
    same = -1;
  }
  fclose(x);
  fclose(y);
  return same;
}

// The old release must already have the folder a shipped file goes into.
static bool FolderReady(const ReleaseTree* from, const ReleaseTree* to, const ReleaseItem* file) {
  const char* name = ItemName(to, file);
  const char* slash = strrchr(name, '\\');
  if (!slash) return true;
  uint32_t folderLength = static_cast<uint32_t>(slash - name);
  int32_t found = FindReleaseItem(from, name, folderLength);
  if (found >= 0 && from->Items[found].IsFolder) return true;
  PackerError(
      "refused: '%s': its folder '%.*s' does not exist in '%s', and the launcher creates no "
      "folders: ship the folder with the game's installer first",
      ItemPath(to, file), static_cast<int>(folderLength), name, from->Root);
  return false;
}

bool DiffReleases(const ReleaseTree* from, const ReleaseTree* to, ReleaseDiff* diff) {
  diff->ShippedCount = 0;
  diff->UnchangedCount = 0;
  diff->NotRemovedCount = 0;
  for (uint32_t k = 0; k < to->Count; k++) {
    const ReleaseItem* item = &to->Items[k];
    diff->SameTime[k] = false;
    if (k > 0 && FoldedCompare(ItemName(to, item), item->NameLength,
                               ItemName(to, &to->Items[k - 1]), to->Items[k - 1].NameLength) == 0) {
      PackerError("refused: '%s' and '%s' are one file on Windows, which ignores case in names",
                  ItemPath(to, &to->Items[k - 1]), ItemPath(to, item));
      return false;
    }
    if (item->IsFolder) continue;
    int32_t found = FindReleaseItem(from, ItemName(to, item), item->NameLength);
    const ReleaseItem* old = found >= 0 ? &from->Items[found] : nullptr;
    if (old && old->IsFolder) {
      PackerError(
          "refused: '%s': '%s' is a folder, which the launcher cannot replace by a file (it "
          "would wait for it without end)",
          ItemPath(to, item), ItemPath(from, old));
      return false;
    }
    int same = 0;
    if (old && old->Size == item->Size) {
      same = SameContents(ItemPath(from, old), ItemPath(to, item));
      if (same < 0) return false;
    }
    if (same) {
      diff->Unchanged[diff->UnchangedCount++] = k;
      diff->SameTime[k] = old->LastWriteTime.LowDateTime == item->LastWriteTime.LowDateTime &&
                          old->LastWriteTime.HighDateTime == item->LastWriteTime.HighDateTime;
      continue;
    }
    if (!FolderReady(from, to, item)) return false;
    diff->Shipped[diff->ShippedCount++] = k;
  }
  for (uint32_t k = 0; k < from->Count; k++) {
    const ReleaseItem* old = &from->Items[k];
    if (old->IsFolder) continue;
    int32_t found = FindReleaseItem(to, ItemName(from, old), old->NameLength);
    if (found < 0 || to->Items[found].IsFolder) diff->NotRemoved[diff->NotRemovedCount++] = k;
  }
  return true;
}
