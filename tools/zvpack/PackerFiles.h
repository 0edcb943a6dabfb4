// The files that go into a package: a folder walked in a stable order, or name/file
// pairs as given, each with its size and modification time.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <climits>

#include "tools/zvpack/PackerImage.h"

const uint32_t PackPathSize = PATH_MAX;

// Which file a path named when it was listed, so that a file swapped before it is read
// is noticed.
struct PackFileIdentity {
  dev_t Device;
  ino_t Inode;
};

// Entries and the file each comes from. Found counts every file seen, also those past
// the table, so a folder with too many files is refused with the real number.
struct PackFileList {
  PackEntry Entries[PackMaxEntries];
  char Paths[PackMaxEntries][PackPathSize];
  PackFileIdentity Files[PackMaxEntries];
  uint32_t Count;
  uint32_t Found;
  bool FollowLinks;  // the files are read through symbolic links in their paths
};

// 100 ns intervals since 1601-01-01 UTC, as a FILETIME carries them.
PackageFileTime FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// What a walk does after the visitor has seen an item: go on (into it, for a folder),
// leave a folder out, or stop the walk (the visitor has printed why).
enum WalkStep { WalkGo, WalkSkip, WalkStop };
// Sees each file and folder once, folders before what they hold; name is the path
// relative to the walked folder with '\' between components, path the one to open, info
// what stat found there (through a link when links are followed).
typedef WalkStep (*FolderVisitor)(void* context, const char* name, size_t nameLength,
                                  const char* path, const struct stat* info);
// Walks everything under folder in the order the system lists it. A symbolic link inside
// it is refused unless followLinks is given; a followed link back to a folder being
// walked is refused as a loop. Prints and returns false on a folder it cannot read, a
// path too long, a refused link or a stop from the visitor.
bool WalkFolderTree(const char* folder, bool followLinks, FolderVisitor visit, void* context);

// Every regular file under folder, named by its path relative to the folder with '\'
// between components, sorted by name. A symbolic link inside the folder is refused unless
// followLinks is given (then what it leads to is packed, and a link back to a folder
// being walked is refused as a loop). Prints and returns false on a file it cannot use.
bool GatherFolder(const char* folder, PackFileList* list, bool followLinks = false);

// One entry per "NAME=FILE" argument (split at the first '=', which each must hold), in
// the order given. The files are named by the publisher, so links to them are followed.
// Prints and returns false on an unusable file.
bool GatherPairs(char* const* pairs, uint32_t count, PackFileList* list);

// Reads each entry's file into image at its DataOffset. Each is opened without blocking
// and must still be the regular file that was listed, with the size it had then.
bool ReadPackFiles(const PackFileList* list, uint8_t* image);
