// The texts of a refused package, shown by the update run and printed by zvpack inspect,
// so that the publisher reads exactly what the player would see.
#pragma once
#include <cstdint>

// The format for a ReadPackage result other than 0: %s takes the package path, %d the
// result.
const char* ReadFailureFormat(int32_t result);

// The format for an UnsealPackage result other than 0: %d takes the result.
extern const char UnsealFailureFormat[];
