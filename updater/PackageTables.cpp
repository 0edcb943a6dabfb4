// The package tables: one static buffer for the whole file, and the directory parsed
// out of it. Nothing of the package lives on the heap.
#include "updater/Package.h"

uint8_t PackageBuffer[PackageBufferSize];
uint32_t PackageBodyLength;
uint32_t PackageVersion;
uint32_t PackageEntryCount;
PackageEntry PackageEntries[PackageMaxEntries];
