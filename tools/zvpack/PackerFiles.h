// The files that go into a package: a folder walked in a stable order, or name/file
// pairs as given, each with its size and modification time.
#pragma once
#include <climits>

#include "tools/zvpack/PackerImage.h"

const uint32_t PackPathSize = PATH_MAX;

// Entries and the file each comes from. Found counts every file seen, also those past
// the table, so a folder with too many files is refused with the real number.
struct PackFileList {
  PackEntry Entries[PackMaxEntries];
  char Paths[PackMaxEntries][PackPathSize];
  uint32_t Count;
  uint32_t Found;
};

// 100 ns intervals since 1601-01-01 UTC, as a FILETIME carries them.
PackageFileTime FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

// What a walk does after the visitor has seen an item: go on (into it, for a folder),
// leave a folder out, or stop the walk (the visitor has printed why).
enum WalkStep { WalkGo, WalkSkip, WalkStop };
// Sees each file and folder once, folders before what they hold; name is the path
// relative to the walked folder with '\' between components, path the one to open.
typedef WalkStep (*FolderVisitor)(void* context, const char* name, size_t nameLength,
                                  const char* path, bool isFolder);
// Walks everything under folder in the order the system lists it. Prints and returns
// false on a folder it cannot read, a path too long or a stop from the visitor.
bool WalkFolderTree(const char* folder, FolderVisitor visit, void* context);

// Every regular file under folder, named by its path relative to the folder with '\'
// between components, sorted by name. Prints and returns false on a file it cannot use.
bool GatherFolder(const char* folder, PackFileList* list);

// One entry per "NAME=FILE" argument (split at the first '='), in the order given.
// Prints and returns false on a malformed argument or an unusable file.
bool GatherPairs(char* const* pairs, uint32_t count, PackFileList* list);

// Reads each entry's file into image at its DataOffset; the file must still have the
// size it had when gathered.
bool ReadPackFiles(const PackFileList* list, uint8_t* image);
