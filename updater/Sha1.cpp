#include "updater/Sha1.h"
