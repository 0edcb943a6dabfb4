// The files zvpack writes: never a device, FIFO, link or folder in the output's place,
// never one of the files it reads, and never half-written under the output's name.
#pragma once
#include <cstdint>

#include "tools/zvpack/PackerFiles.h"

// Refuses an output that exists and is not a regular file (a symbolic link included,
// whatever it leads to), or that is the same file as one of inputs; role names the kind
// of input in the message ("the package", "a key file").
bool CheckOutputPath(const char* path);
bool CheckOutputIsNotInput(const char* path, const char* input, const char* role);
// The same for every file of a gathered list.
bool CheckOutputIsNotListed(const char* path, const PackFileList* list);
// Refuses an output inside folder (where the next pack would take it in).
bool CheckOutputOutsideFolder(const char* path, const char* folder);

// Writes size bytes of data to a new temporary file beside path, then renames it over
// path; on any failure the temporary file is removed and path is untouched.
bool WriteFileAtomically(const char* path, const uint8_t* data, uint32_t size);
