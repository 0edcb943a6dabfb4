// Gathering the publisher's files with POSIX directory and stat calls.
#include "tools/zvpack/PackerFiles.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/zvpack/PackerKeys.h"

// Seconds from 1601-01-01 to 1970-01-01.
const int64_t UnixEpochInFileTime = 11644473600LL;

PackageFileTime FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  uint64_t ticks = 0;
  if (seconds >= -UnixEpochInFileTime) {
    ticks = static_cast<uint64_t>(seconds + UnixEpochInFileTime) * 10000000u + nanoseconds / 100;
  }
  return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

// Adds one file to the list (or only counts it when the table is full).
static bool AddFile(PackFileList* list, const char* name, size_t nameLength, const char* path) {
  list->Found++;
  if (list->Count == PackMaxEntries) return true;
  struct stat info;
  if (stat(path, &info) != 0) {
    PackerError("cannot read '%s'", path);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    PackerError("'%s' is not a regular file", path);
    return false;
  }
  if (strlen(path) >= PackPathSize) {
    PackerError("the path '%s' is too long", path);
    return false;
  }
  PackEntry* entry = &list->Entries[list->Count];
  memset(entry, 0, sizeof *entry);
  // A name over 255 bytes keeps its real length so that the check can name it.
  entry->NameLength = static_cast<uint32_t>(std::min<size_t>(nameLength, UINT32_MAX));
  memcpy(entry->Name, name, std::min<size_t>(nameLength, EntryMaxNameLength));
  uint64_t size = static_cast<uint64_t>(info.st_size);
  entry->DataSize = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
  entry->LastWriteTime =
      FileTimeFromUnix(info.st_mtim.tv_sec, static_cast<uint32_t>(info.st_mtim.tv_nsec));
  strcpy(list->Paths[list->Count], path);
  list->Count++;
  return true;
}

// name and path are buffers of PackPathSize; their current lengths are given.
static bool WalkFolder(FolderVisitor visit, void* context, char* path, size_t pathLength,
                       char* name, size_t nameLength) {
  DIR* folder = opendir(path);
  if (!folder) {
    PackerError("cannot read the folder '%s'", path);
    return false;
  }
  bool ok = true;
  while (ok) {
    struct dirent* item = readdir(folder);
    if (!item) break;
    if (strcmp(item->d_name, ".") == 0 || strcmp(item->d_name, "..") == 0) continue;
    size_t itemLength = strlen(item->d_name);
    if (pathLength + 1 + itemLength >= PackPathSize ||
        nameLength + 1 + itemLength >= PackPathSize) {
      PackerError("the path '%s/%s' is too long", path, item->d_name);
      ok = false;
      break;
    }
    path[pathLength] = '/';
    memcpy(path + pathLength + 1, item->d_name, itemLength + 1);
    size_t itemNameLength = nameLength;
    if (nameLength > 0) name[itemNameLength++] = '\\';  // the launcher's separator
    memcpy(name + itemNameLength, item->d_name, itemLength + 1);
    itemNameLength += itemLength;

    struct stat info;
    bool isFolder = stat(path, &info) == 0 && S_ISDIR(info.st_mode);
    WalkStep step = visit(context, name, itemNameLength, path, isFolder);
    if (step == WalkStop) {
      ok = false;
    } else if (isFolder && step == WalkGo) {
      ok = WalkFolder(visit, context, path, pathLength + 1 + itemLength, name, itemNameLength);
    }
    path[pathLength] = 0;
    name[nameLength] = 0;
  }
  closedir(folder);
  return ok;
}

bool WalkFolderTree(const char* folder, FolderVisitor visit, void* context) {
  static char path[PackPathSize];
  static char name[PackPathSize];
  size_t pathLength = strlen(folder);
  if (pathLength >= PackPathSize) {
    PackerError("the path '%s' is too long", folder);
    return false;
  }
  memcpy(path, folder, pathLength + 1);
  while (pathLength > 1 && path[pathLength - 1] == '/') path[--pathLength] = 0;
  name[0] = 0;
  return WalkFolder(visit, context, path, pathLength, name, 0);
}

static WalkStep GatherItem(void* context, const char* name, size_t nameLength, const char* path,
                           bool isFolder) {
  if (isFolder) return WalkGo;
  return AddFile(static_cast<PackFileList*>(context), name, nameLength, path) ? WalkGo : WalkStop;
}

bool GatherFolder(const char* folder, PackFileList* list) {
  memset(list, 0, sizeof *list);
  if (!WalkFolderTree(folder, GatherItem, list)) return false;
  if (list->Found > list->Count) return true;  // refused by the check, with the count

  // Byte order of the names, the same on every machine whatever readdir returned.
  // Sorted through an index so entry and path move together.
  static uint32_t order[PackMaxEntries];
  for (uint32_t k = 0; k < list->Count; k++) order[k] = k;
  std::sort(order, order + list->Count, [list](uint32_t a, uint32_t b) {
    const PackEntry* x = &list->Entries[a];
    const PackEntry* y = &list->Entries[b];
    size_t shorter = std::min(x->NameLength, y->NameLength);
    shorter = std::min<size_t>(shorter, EntryMaxNameLength);
    int c = memcmp(x->Name, y->Name, shorter);
    return c != 0 ? c < 0 : x->NameLength < y->NameLength;
  });
  static PackFileList sorted;
  sorted.Count = list->Count;
  sorted.Found = list->Found;
  for (uint32_t k = 0; k < list->Count; k++) {
    sorted.Entries[k] = list->Entries[order[k]];
    strcpy(sorted.Paths[k], list->Paths[order[k]]);
  }
  memcpy(list, &sorted, sizeof sorted);
  return true;
}

bool GatherPairs(char* const* pairs, uint32_t count, PackFileList* list) {
  memset(list, 0, sizeof *list);
  for (uint32_t i = 0; i < count; i++) {
    const char* equals = strchr(pairs[i], '=');
    if (!equals) {
      PackerError("'%s' is not NAME=FILE", pairs[i]);
      return false;
    }
    if (!AddFile(list, pairs[i], static_cast<size_t>(equals - pairs[i]), equals + 1)) return false;
  }
  return true;
}

bool ReadPackFiles(const PackFileList* list, uint8_t* image) {
  for (uint32_t k = 0; k < list->Count; k++) {
    const PackEntry* entry = &list->Entries[k];
    FILE* file = fopen(list->Paths[k], "rb");
    if (!file) {
      PackerError("cannot open '%s'", list->Paths[k]);
      return false;
    }
    size_t read = fread(image + entry->DataOffset, 1, entry->DataSize, file);
    bool sameSize = read == entry->DataSize && fgetc(file) == EOF;
    fclose(file);
    if (!sameSize) {
      PackerError("'%s' changed size while it was being packed", list->Paths[k]);
      return false;
    }
  }
  return true;
}
