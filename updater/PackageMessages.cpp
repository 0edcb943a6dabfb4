#include "updater/PackageMessages.h"

#include "updater/Package.h"

const char* ReadFailureFormat(int32_t result) {
  switch (result) {
    case PackageCorrupt:
      return "Update package '%s' is corrupt (error %d)";
    case PackageInvalid:
      return "Invalid update package '%s' (error %d)";
    default:
      return "Unable to read update package '%s' (error %d)";
  }
}

const char UnsealFailureFormat[] = "Error while preparing update package (error %d)";
