// The update run: reads, verifies and unseals the package, waits until every target can
// be opened without sharing, then writes every file and stamps its last-write time.
#pragma once
#include <cstdint>

#include "updater/Package.h"

// Result of a run broken off by closing the progress window before the writing stage.
const int32_t UpdateStopped = 1;

// 0 when every file was written (write errors are reported one by one and do not change
// it); UpdateStopped; or the non-zero result of ReadPackage or UnsealPackage, unchanged.
int32_t RunUpdate(const char* packagePath, const PackageKey* signatureKey,
                  const PackageKey* sealingKey);
