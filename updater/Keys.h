// The launcher's two public keys, embedded at build time from the PEM files named by
// ZORVANE_SIGNATURE_KEY and ZORVANE_SEALING_KEY (development keys when unset).
#pragma once
#include "updater/Package.h"

extern const PackageKey SignatureKey;
extern const PackageKey SealingKey;
