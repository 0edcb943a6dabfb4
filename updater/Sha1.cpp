// SHA-1 (FIPS 180-1): 64-byte blocks, big-endian words, 80 rounds, 20-byte digest.
#include "updater/Sha1.h"

#include <cstring>

static uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// The message schedule word for round i, kept in a rolling window of 16 words.
#define SHA1_SCHEDULE(i) \
  (w[(i)&15] =           \
       RotateLeft(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i)&15], 1))

// One round with the working registers named in their rotated positions: instead of
// moving five registers every round, five consecutive rounds pass them in a new order.
#define SHA1_ROUND(a, b, c, d, e, f, k, word)   \
  do {                                          \
    e += RotateLeft(a, 5) + (f) + (k) + (word); \
    b = RotateLeft(b, 30);                      \
  } while (0)

// Ch, parity and Maj, written in their cheapest equal forms.
#define SHA1_CH(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define SHA1_PARITY(b, c, d) ((b) ^ (c) ^ (d))
#define SHA1_MAJ(b, c, d) (((b) & (c)) | ((d) & ((b) | (c))))

#define SHA1_FIVE_ROUNDS(F, k, i, WORD)                      \
  do {                                                       \
    SHA1_ROUND(a, b, c, d, e, F(b, c, d), k, WORD(i));       \
    SHA1_ROUND(e, a, b, c, d, F(a, b, c), k, WORD((i) + 1)); \
    SHA1_ROUND(d, e, a, b, c, F(e, a, b), k, WORD((i) + 2)); \
    SHA1_ROUND(c, d, e, a, b, F(d, e, a), k, WORD((i) + 3)); \
    SHA1_ROUND(b, c, d, e, a, F(c, d, e), k, WORD((i) + 4)); \
  } while (0)

#define SHA1_LOADED(i) w[i]
// Rounds 15 to 19: word 15 as loaded, then the schedule.
#define SHA1_SCHEDULE_FROM_15(i) ((i) == 15 ? w[15] : SHA1_SCHEDULE(i))

static void Compress(uint32_t state[5], const uint8_t block[64]) {
  uint32_t w[16];
  for (int i = 0; i < 16; i++) {
    w[i] = static_cast<uint32_t>(block[4 * i]) << 24 |
           static_cast<uint32_t>(block[4 * i + 1]) << 16 |
           static_cast<uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  // Four groups of 20 rounds, each with its own function and constant.
  SHA1_FIVE_ROUNDS(SHA1_CH, 0x5A827999, 0, SHA1_LOADED);
  SHA1_FIVE_ROUNDS(SHA1_CH, 0x5A827999, 5, SHA1_LOADED);
  SHA1_FIVE_ROUNDS(SHA1_CH, 0x5A827999, 10, SHA1_LOADED);
  SHA1_FIVE_ROUNDS(SHA1_CH, 0x5A827999, 15, SHA1_SCHEDULE_FROM_15);
  for (int i = 20; i < 40; i += 5) {
    SHA1_FIVE_ROUNDS(SHA1_PARITY, 0x6ED9EBA1, i, SHA1_SCHEDULE);
  }
  for (int i = 40; i < 60; i += 5) {
    SHA1_FIVE_ROUNDS(SHA1_MAJ, 0x8F1BBCDC, i, SHA1_SCHEDULE);
  }
  for (int i = 60; i < 80; i += 5) {
    SHA1_FIVE_ROUNDS(SHA1_PARITY, 0xCA62C1D6, i, SHA1_SCHEDULE);
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

#undef SHA1_SCHEDULE
#undef SHA1_SCHEDULE_FROM_15
#undef SHA1_ROUND
#undef SHA1_CH
#undef SHA1_PARITY
#undef SHA1_MAJ
#undef SHA1_FIVE_ROUNDS
#undef SHA1_LOADED

void Sha1Start(Sha1Context* context) {
  context->State[0] = 0x67452301;
  context->State[1] = 0xEFCDAB89;
  context->State[2] = 0x98BADCFE;
  context->State[3] = 0x10325476;
  context->State[4] = 0xC3D2E1F0;
  context->TotalBytes = 0;
}

void Sha1Feed(Sha1Context* context, const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t held = static_cast<size_t>(context->TotalBytes % 64);
  context->TotalBytes += size;

  // Top up a partly filled block first; whole blocks are then compressed straight from
  // the caller's data, and only the tail is kept.
  if (held != 0) {
    size_t take = 64 - held < size ? 64 - held : size;
    memcpy(context->Block + held, bytes, take);
    bytes += take;
    size -= take;
    if (held + take < 64) {
      return;
    }
    Compress(context->State, context->Block);
  }
  while (size >= 64) {
    Compress(context->State, bytes);
    bytes += 64;
    size -= 64;
  }
  if (size != 0) {
    memcpy(context->Block, bytes, size);
  }
}

void Sha1Finish(Sha1Context* context, uint8_t digest[Sha1DigestSize]) {
  // The message is followed by the byte 0x80, zeros up to 8 bytes short of a block
  // boundary and the message length in bits, big-endian.
  uint64_t bitLength = context->TotalBytes * 8;
  size_t held = static_cast<size_t>(context->TotalBytes % 64);
  context->Block[held++] = 0x80;
  if (held > 56) {
    memset(context->Block + held, 0, 64 - held);
    Compress(context->State, context->Block);
    held = 0;
  }
  memset(context->Block + held, 0, 56 - held);
  for (int i = 0; i < 8; i++) {
    context->Block[56 + i] = static_cast<uint8_t>(bitLength >> (56 - 8 * i));
  }
  Compress(context->State, context->Block);

  for (int i = 0; i < 5; i++) {
    digest[4 * i] = static_cast<uint8_t>(context->State[i] >> 24);
    digest[4 * i + 1] = static_cast<uint8_t>(context->State[i] >> 16);
    digest[4 * i + 2] = static_cast<uint8_t>(context->State[i] >> 8);
    digest[4 * i + 3] = static_cast<uint8_t>(context->State[i]);
  }
}
