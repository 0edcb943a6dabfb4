// Output checks and the write-then-rename that every zvpack output goes through.
#include "tools/zvpack/PackerOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/zvpack/PackerKeys.h"

static const char* KindOfFile(mode_t mode) {
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

bool CheckOutputPath(const char* path) {
  struct stat info;
  if (lstat(path, &info) != 0) {
    if (errno == ENOENT) return true;
    PackerError("cannot check the output '%s': %s", path, strerror(errno));
    return false;
  }
  if (S_ISREG(info.st_mode)) return true;
  PackerError("refused: the output '%s' exists and is %s: only a regular file is replaced", path,
              KindOfFile(info.st_mode));
  return false;
}

bool CheckOutputIsNotInput(const char* path, const char* input, const char* role) {
  struct stat output;
  struct stat source;
  if (lstat(path, &output) != 0 || stat(input, &source) != 0) return true;
  if (output.st_dev != source.st_dev || output.st_ino != source.st_ino) return true;
  PackerError("refused: the output '%s' is %s ('%s'): it would be overwritten", path, role, input);
  return false;
}

bool CheckOutputIsNotListed(const char* path, const PackFileList* list) {
  struct stat output;
  if (lstat(path, &output) != 0) return true;
  for (uint32_t k = 0; k < list->Count; k++) {
    if (output.st_dev == list->Files[k].Device && output.st_ino == list->Files[k].Inode) {
      PackerError("refused: the output '%s' is one of the files to pack ('%s')", path,
                  list->Paths[k]);
      return false;
    }
  }
  return true;
}

bool CheckOutputOutsideFolder(const char* path, const char* folder) {
  // The folder the output goes into, as written (the output itself need not exist).
  static char outputFolder[PATH_MAX];
  const char* slash = strrchr(path, '/');
  if (!slash) {
    strcpy(outputFolder, ".");
  } else {
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= sizeof outputFolder) return true;  // too long to write anyway
    memcpy(outputFolder, path, length);
    outputFolder[length] = 0;
  }
  static char outputReal[PATH_MAX];
  static char folderReal[PATH_MAX];
  // Where either cannot be resolved, the write or the walk reports it.
  if (!realpath(outputFolder, outputReal) || !realpath(folder, folderReal)) return true;
  size_t folderLength = strlen(folderReal);
  if (strcmp(folderReal, "/") == 0) folderLength = 0;
  bool inside = strncmp(outputReal, folderReal, folderLength) == 0 &&
                (outputReal[folderLength] == 0 || outputReal[folderLength] == '/');
  if (!inside) return true;
  PackerError(
      "refused: the output '%s' is inside the folder being packed ('%s'): the next pack would "
      "take it in; write it elsewhere",
      path, folder);
  return false;
}

bool WriteFileAtomically(const char* path, const uint8_t* data, uint32_t size) {
  static char temporary[PATH_MAX];
  if (snprintf(temporary, sizeof temporary, "%s.XXXXXX", path) >=
      static_cast<int>(sizeof temporary)) {
    PackerError("the output path '%s' is too long", path);
    return false;
  }
  int descriptor = mkstemp(temporary);
  if (descriptor < 0) {
    PackerError("cannot create a file beside '%s': %s", path, strerror(errno));
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(descriptor, 0666 & ~mask) == 0;
  FILE* file = fdopen(descriptor, "wb");
  if (!file) {
    close(descriptor);
    ok = false;
  } else {
    ok = fwrite(data, 1, size, file) == size && ok;
    ok = fflush(file) == 0 && fsync(fileno(file)) == 0 && ok;
    ok = fclose(file) == 0 && ok;
  }
  int error = errno;
  if (!ok) {
    PackerError("cannot write '%s': %s", path, strerror(error));
  } else if (!CheckOutputPath(path)) {
    ok = false;  // something took the output's place while it was being written
  } else if (rename(temporary, path) != 0) {
    PackerError("cannot write '%s': %s", path, strerror(errno));
    ok = false;
  }
  if (!ok) remove(temporary);
  return ok;
}
