// SHA-1 (FIPS 180-1), fed in any number of pieces.
#pragma once
#include <cstddef>
#include <cstdint>

const size_t Sha1DigestSize = 20;

struct Sha1Context {
  uint32_t State[5];
  uint64_t TotalBytes;
  uint8_t Block[64];  // bytes of the current, not yet compressed block
};

void Sha1Start(Sha1Context* context);
void Sha1Feed(Sha1Context* context, const void* data, size_t size);
// Pads the message, writes its digest (standard byte order) and leaves the context
// spent: start it again before feeding another message.
void Sha1Finish(Sha1Context* context, uint8_t digest[Sha1DigestSize]);
