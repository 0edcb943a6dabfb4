#include "updater/bignum/BigNum.h"
