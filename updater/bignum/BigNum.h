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
#pragma once
#include <cstdint>

typedef uint32_t BigNum;

BigNum* BigNumNew(uint32_t count);
BigNum* BigNumFromWord(uint32_t count, uint32_t word);
BigNum* BigNumCopy(const BigNum* x);
void BigNumFree(BigNum* x);
void BigNumNormalize(BigNum* x);
void BigNumMulAdd(const BigNum* a, const BigNum* b, BigNum* r);
void BigNumReduce(BigNum* x, const BigNum* m, uint32_t* shiftTable);
BigNum* BigNumMulMod(const BigNum* a, const BigNum* b, const BigNum* m);
BigNum* BigNumModExp(const BigNum* base, const BigNum* exponent, const BigNum* m);
