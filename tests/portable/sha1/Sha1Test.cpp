// SHA-1 known answers, each hashed in one call, byte by byte and split in two pieces at
// every offset: the splits around 55, 56, 63 and 64 bytes are where the block buffer
// and the padding go wrong.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "updater/Sha1.h"

struct Sha1Vector {
  const char* Name;
  const char* Pattern;  // the message is this text repeated and cut to Length bytes
  size_t Length;
  const char* Digest;  // hex
};

// Digests from `openssl sha1` / Python's hashlib.
const Sha1Vector Vectors[] = {
    {"empty", "", 0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "abc", 3, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"two-block 56 bytes", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 56,
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"112 bytes",
     "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
     "lmnopqrsmnopqrstnopqrstu",
     112, "a49b2446a02c645bf419f995b67091253a04a259"},
    {"one million a", "a", 1000000, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {"55 bytes", "0123456789", 55, "9f3a4ce7f66b1b74c34da2c5d732c39f81e0f8df"},
    {"56 bytes", "0123456789", 56, "0a40b8fbdaafb7c29651618ac15d27e772287130"},
    {"57 bytes", "0123456789", 57, "46cc79601f8c6b81a4180774ce08465987a225a7"},
    {"63 bytes", "0123456789", 63, "984b0f2f6d78c24020f5a79d409f67ab99302891"},
    {"64 bytes", "0123456789", 64, "cf0800f7644ace3cb4c3fa33388d3ba0ea3c8b6e"},
    {"65 bytes", "0123456789", 65, "92de3a8444fe6d15268f0ba810aa43bc8b3a4ffe"},
    {"119 bytes", "0123456789", 119, "d1ba16c5f745875597b6d0b9061f30b5a5c89092"},
    {"120 bytes", "0123456789", 120, "deb4cf0a6f315d8403e5eff0923a8c5c52f21ac8"},
    {"127 bytes", "0123456789", 127, "37209e395c65a99a396343f89d79aa2e1687d04f"},
    {"128 bytes", "0123456789", 128, "b5d36071c0845df9e0727b58ec97d2796f3312d0"},
    {"64 bytes with the high bit set", "\xfe\x80\x7f\xff", 64,
     "f1de388b4616087bda6cf287a0e9c41a8ccdff79"},
};

// Past this length splitting at every offset costs too much (the Wine run is emulated);
// a sample of offsets is split instead: each side of the first and last block
// boundaries and of the padding's 55/56-byte edge, and the middle.
const size_t EveryOffsetLimit = 4096;

static std::string Hex(const uint8_t* bytes, size_t size) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; i++) {
    snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

static std::vector<uint8_t> Message(const Sha1Vector& vector) {
  std::vector<uint8_t> message(vector.Length);
  size_t patternLength = strlen(vector.Pattern);
  for (size_t i = 0; i < vector.Length; i++) {
    message[i] = static_cast<uint8_t>(vector.Pattern[i % patternLength]);
  }
  return message;
}

static std::string DigestInOneCall(const std::vector<uint8_t>& message) {
  Sha1Context context;
  Sha1Start(&context);
  Sha1Feed(&context, message.data(), message.size());
  uint8_t digest[Sha1DigestSize];
  Sha1Finish(&context, digest);
  return Hex(digest, sizeof digest);
}

// The digest of `message` fed as the pieces [0, cut) and [cut, end).
static std::string DigestSplitAt(const std::vector<uint8_t>& message, size_t cut) {
  Sha1Context context;
  Sha1Start(&context);
  Sha1Feed(&context, message.data(), cut);
  Sha1Feed(&context, message.data() + cut, message.size() - cut);
  uint8_t digest[Sha1DigestSize];
  Sha1Finish(&context, digest);
  return Hex(digest, sizeof digest);
}

static std::string DigestByteByByte(const std::vector<uint8_t>& message) {
  Sha1Context context;
  Sha1Start(&context);
  for (uint8_t byte : message) {
    Sha1Feed(&context, &byte, 1);
  }
  uint8_t digest[Sha1DigestSize];
  Sha1Finish(&context, digest);
  return Hex(digest, sizeof digest);
}

static std::vector<size_t> CutOffsets(size_t length) {
  std::vector<size_t> cuts;
  if (length <= EveryOffsetLimit) {
    for (size_t cut = 0; cut <= length; cut++) {
      cuts.push_back(cut);
    }
    return cuts;
  }
  const size_t NearStart[] = {0, 1, 55, 56, 57, 63, 64, 65, 127, 128};
  for (size_t cut : NearStart) {
    cuts.push_back(cut);
    cuts.push_back(length - cut);
  }
  cuts.push_back(length / 2 - 1);
  cuts.push_back(length / 2);
  return cuts;
}

TEST(Sha1, KnownAnswers) {
  for (const Sha1Vector& vector : Vectors) {
    SCOPED_TRACE(vector.Name);
    std::vector<uint8_t> message = Message(vector);
    EXPECT_EQ(vector.Digest, DigestInOneCall(message)) << "one call";
    EXPECT_EQ(vector.Digest, DigestByteByByte(message)) << "byte by byte";
    for (size_t cut : CutOffsets(message.size())) {
      ASSERT_EQ(vector.Digest, DigestSplitAt(message, cut)) << "split at " << cut;
    }
  }
}
