// Unsigned big numbers for the RSA public-key operation of the update installer.
//
// A BigNum is one heap block of 32-bit words: word 0 is the limb count (at least 1),
// words 1 to count are the limbs, least significant first. A number may carry leading
// zero limbs; it is normalised when its count is the index of its highest non-zero limb
// (or 1 when the value is zero).
//
// Every routine that yields a BigNum yields a new block owned by the caller, released
// with BigNumFree. Every routine that allocates returns null when memory cannot be had
// (releasing whatever it already held); callers treat null as failure.
//
// Inputs are never changed, except the output operand of BigNumMulAdd, the number
// reduced by BigNumReduce and the number given to BigNumNormalize.
#pragma once
#include <cstdint>

typedef uint32_t BigNum;

// A new number of `count` limbs (1 when count is 0), all zero: a block of count + 1
// words. Null when the block cannot be allocated.
BigNum* BigNumNew(uint32_t count);

// As BigNumNew, with limb 1 set to `word`.
BigNum* BigNumFromWord(uint32_t count, uint32_t word);

// A new block of x's count + 1 words holding all of x, then normalised. Null when the
// block cannot be allocated.
BigNum* BigNumCopy(const BigNum* x);

// Releases x; null is accepted and ignored.
void BigNumFree(BigNum* x);

// Lowers x's count to the index of its highest non-zero limb, or to 1 when all limbs
// are zero. The limbs themselves are not touched.
void BigNumNormalize(BigNum* x);

// Adds a·b into r's limbs (schoolbook). r MUST have at least a's count + b's count
// limbs and MUST start at zero; it then ends holding a·b. r MUST NOT share a block with
// a or b.
void BigNumMulAdd(const BigNum* a, const BigNum* b, BigNum* r);

// Replaces x by x mod m in place; x's count is not changed, its limbs above m's
// highest non-zero limb end zero. `shiftTable` MUST provide 32·(m's count + 1) limbs of
// scratch space; their content on entry does not matter. Limbs above x's count read as
// zero, so x needs no spare limb. A zero m leaves x unchanged.
void BigNumReduce(BigNum* x, const BigNum* m, uint32_t* shiftTable);

// A new normalised number (a·b) mod m. Null when memory cannot be had or m is zero.
BigNum* BigNumMulMod(const BigNum* a, const BigNum* b, const BigNum* m);

// A new number base^exponent mod m, normalised, computed by square-and-multiply with
// the least significant exponent bit first; the base may exceed m. An exponent of zero
// (any count, all limbs zero) yields the value 1 without any reduction, even when m is
// 1. Null when memory cannot be had or m is zero (with a non-zero exponent); every
// intermediate is released either way.
BigNum* BigNumModExp(const BigNum* base, const BigNum* exponent, const BigNum* m);
