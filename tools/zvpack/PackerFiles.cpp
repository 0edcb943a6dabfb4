// Gathering the publisher's files with POSIX directory and stat calls.
#include "tools/zvpack/PackerFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// Adds one file, as stat found it, to the list (or only counts it when the table is full).
static bool AddFile(PackFileList* list, const char* name, size_t nameLength, const char* path,
                    const struct stat* info) {
  list->Found++;
  if (list->Count == PackMaxEntries) return true;
  if (!S_ISREG(info->st_mode)) {
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
  uint64_t size = static_cast<uint64_t>(info->st_size);
  entry->DataSize = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
  entry->LastWriteTime =
      FileTimeFromUnix(info->st_mtim.tv_sec, static_cast<uint32_t>(info->st_mtim.tv_nsec));
  strcpy(list->Paths[list->Count], path);
  list->Files[list->Count] = {info->st_dev, info->st_ino};
  list->Count++;
  return true;
}

// The walk's state: the folders from the top down to the one being read (a folder met
// again among them is a loop, which only links can make; each level of the path adds at
// least two bytes), whether links are followed, and who is told of each item.
const uint32_t MaxFolderDepth = PackPathSize / 2;
static PackFileIdentity WalkedFolders[MaxFolderDepth];
static size_t WalkedPathLengths[MaxFolderDepth];
static uint32_t WalkedCount;
static bool WalkFollowsLinks;
static FolderVisitor WalkVisitor;
static void* WalkContext;

static bool WalkItem(char* path, size_t pathLength, char* name, size_t nameLength);

// Reads the open folder descriptor (and closes it). name and path are buffers of
// PackPathSize; their current lengths are given.
static bool WalkFolder(int descriptor, char* path, size_t pathLength, char* name,
                       size_t nameLength) {
  struct stat self;
  if (fstat(descriptor, &self) != 0) {
    PackerError("cannot read the folder '%s': %s", path, strerror(errno));
    close(descriptor);
    return false;
  }
  for (uint32_t i = 0; i < WalkedCount; i++) {
    if (WalkedFolders[i].Device == self.st_dev && WalkedFolders[i].Inode == self.st_ino) {
      PackerError("refused: '%s' leads back to '%.*s': a directory loop", path,
                  static_cast<int>(WalkedPathLengths[i]), path);
      close(descriptor);
      return false;
    }
  }
  if (WalkedCount == MaxFolderDepth) {
    PackerError("the path '%s' is too deep", path);
    close(descriptor);
    return false;
  }
  WalkedFolders[WalkedCount] = {self.st_dev, self.st_ino};
  WalkedPathLengths[WalkedCount] = pathLength;
  WalkedCount++;

  DIR* folder = fdopendir(descriptor);
  if (!folder) {
    PackerError("cannot read the folder '%s': %s", path, strerror(errno));
    close(descriptor);
    WalkedCount--;
    return false;
  }
  bool ok = true;
  while (ok) {
    errno = 0;
    struct dirent* item = readdir(folder);
    if (!item) {
      if (errno != 0) {
        PackerError("cannot read the folder '%s': %s", path, strerror(errno));
        ok = false;
      }
      break;
    }
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
    ok = WalkItem(path, pathLength + 1 + itemLength, name, itemNameLength);
    path[pathLength] = 0;
    name[nameLength] = 0;
  }
  closedir(folder);
  WalkedCount--;
  return ok;
}

// One folder entry: a link refused or followed, then the visitor told; a folder it does
// not leave out is walked.
static bool WalkItem(char* path, size_t pathLength, char* name, size_t nameLength) {
  struct stat info;
  if (lstat(path, &info) != 0) {
    PackerError("cannot read '%s': %s", path, strerror(errno));
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    if (!WalkFollowsLinks) {
      static char target[PackPathSize];
      ssize_t size = readlink(path, target, sizeof target - 1);
      target[size > 0 ? size : 0] = 0;
      PackerError(
          "refused: '%s' is a symbolic link (to '%s'): give --follow-links to pack what links "
          "lead to",
          path, target);
      return false;
    }
    if (stat(path, &info) != 0) {
      PackerError("cannot follow the symbolic link '%s': %s", path, strerror(errno));
      return false;
    }
  }
  WalkStep step = WalkVisitor(WalkContext, name, nameLength, path, &info);
  if (step == WalkStop) return false;
  if (!S_ISDIR(info.st_mode) || step == WalkSkip) return true;
  // Without --follow-links, a folder swapped for a link since lstat is not entered.
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (WalkFollowsLinks ? 0 : O_NOFOLLOW);
  int descriptor = open(path, flags);
  if (descriptor < 0) {
    PackerError("cannot read the folder '%s': %s", path, strerror(errno));
    return false;
  }
  return WalkFolder(descriptor, path, pathLength, name, nameLength);
}

bool WalkFolderTree(const char* folder, bool followLinks, FolderVisitor visit, void* context) {
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
  // The folder itself is named by the publisher: a link to it is followed.
  int descriptor = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    PackerError("cannot read the folder '%s': %s", path, strerror(errno));
    return false;
  }
  WalkedCount = 0;
  WalkFollowsLinks = followLinks;
  WalkVisitor = visit;
  WalkContext = context;
  return WalkFolder(descriptor, path, pathLength, name, 0);
}

static WalkStep GatherItem(void* context, const char* name, size_t nameLength, const char* path,
                           const struct stat* info) {
  if (S_ISDIR(info->st_mode)) return WalkGo;
  PackFileList* list = static_cast<PackFileList*>(context);
  return AddFile(list, name, nameLength, path, info) ? WalkGo : WalkStop;
}

bool GatherFolder(const char* folder, PackFileList* list, bool followLinks) {
  memset(list, 0, sizeof *list);
  list->FollowLinks = followLinks;
  if (!WalkFolderTree(folder, followLinks, GatherItem, list)) return false;
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
  sorted.FollowLinks = list->FollowLinks;
  for (uint32_t k = 0; k < list->Count; k++) {
    sorted.Entries[k] = list->Entries[order[k]];
    strcpy(sorted.Paths[k], list->Paths[order[k]]);
    sorted.Files[k] = list->Files[order[k]];
  }
  memcpy(list, &sorted, sizeof sorted);
  return true;
}

bool GatherPairs(char* const* pairs, uint32_t count, PackFileList* list) {
  memset(list, 0, sizeof *list);
  list->FollowLinks = true;
  for (uint32_t i = 0; i < count; i++) {
    const char* equals = strchr(pairs[i], '=');
    const char* path = equals + 1;
    struct stat info;
    if (stat(path, &info) != 0) {
      PackerError("cannot read '%s': %s", path, strerror(errno));
      return false;
    }
    if (!AddFile(list, pairs[i], static_cast<size_t>(equals - pairs[i]), path, &info)) return false;
  }
  return true;
}

// Reads size bytes into data and makes sure nothing follows them. Returns 0, or the
// system's error code, or -1 when the file ended early or went on.
static int ReadExactly(int descriptor, uint8_t* data, uint32_t size) {
  uint32_t done = 0;
  while (done < size) {
    ssize_t got = read(descriptor, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return -1;
    done += static_cast<uint32_t>(got);
  }
  uint8_t extra;
  ssize_t got;
  do {
    got = read(descriptor, &extra, 1);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return errno;
  return got == 0 ? 0 : -1;
}

bool ReadPackFiles(const PackFileList* list, uint8_t* image) {
  for (uint32_t k = 0; k < list->Count; k++) {
    const PackEntry* entry = &list->Entries[k];
    const char* path = list->Paths[k];
    // Without blocking, so that a FIFO put in the file's place cannot stop the run: what
    // was opened is checked before anything is read from it.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (list->FollowLinks ? 0 : O_NOFOLLOW);
    int descriptor = open(path, flags);
    if (descriptor < 0) {
      if (errno == ELOOP && !list->FollowLinks) {
        PackerError("refused: '%s' was replaced by a symbolic link after it was listed", path);
      } else {
        PackerError("cannot open '%s': %s", path, strerror(errno));
      }
      return false;
    }
    struct stat info;
    const char* problem = nullptr;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
      problem = "was replaced by something that is not a regular file";
    } else if (info.st_dev != list->Files[k].Device || info.st_ino != list->Files[k].Inode) {
      problem = "was replaced by another file";
    } else if (static_cast<uint64_t>(info.st_size) != entry->DataSize) {
      problem = "changed size";
    } else {
      int error = ReadExactly(descriptor, image + entry->DataOffset, entry->DataSize);
      if (error > 0) {
        PackerError("cannot read '%s': %s", path, strerror(error));
        close(descriptor);
        return false;
      }
      if (error < 0) problem = "changed size";
    }
    close(descriptor);
    if (problem) {
      PackerError("refused: '%s' %s while it was being packed", path, problem);
      return false;
    }
  }
  return true;
}
