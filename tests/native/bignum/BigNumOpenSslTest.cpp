// Big-number results against OpenSSL's BN for random operands, and the failure path
// when a block cannot be allocated.
#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/native/bignum/BigNumOpenSsl.h"
#include "tests/portable/bignum/BigNumHex.h"
#include "updater/bignum/BigNum.h"
#include "updater/bignum/BigNumAllocator.h"

static std::string HexOfOpenSsl(const BIGNUM* x) {
  std::vector<uint8_t> bytes(BN_num_bytes(x) + 4);
  BN_bn2lebinpad(x, bytes.data(), static_cast<int>(bytes.size()));
  Limbs limbs(bytes.size() / 4);
  for (size_t i = 0; i < limbs.size(); i++) {
    limbs[i] = bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
               static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
  }
  return HexFromLimbs(limbs);
}

// Limbs drawn so that carries and borrows run far: mostly random, with runs of all-ones
// and zero limbs mixed in.
static Limbs RandomLimbs(std::mt19937& random, uint32_t count) {
  Limbs limbs(count);
  uint32_t style = random() % 4;
  for (uint32_t& limb : limbs) {
    uint32_t pick = style == 0 ? 0 : random() % 8;
    limb = pick == 1 ? 0xFFFFFFFF : pick == 2 ? 0 : static_cast<uint32_t>(random());
  }
  return limbs;
}

// A modulus of `count` significant limbs whose top limb has a random bit length.
static Limbs RandomModulus(std::mt19937& random, uint32_t count) {
  Limbs m = RandomLimbs(random, count);
  uint32_t top = static_cast<uint32_t>(random()) >> (random() % 32);
  m[count - 1] = top == 0 ? 1 : top;
  return m;
}

struct OpenSslContext {
  BN_CTX* Context = BN_CTX_new();
  ~OpenSslContext() { BN_CTX_free(Context); }
};

// 2048-bit bases and moduli with 65537, as the launcher uses them: every fourth modulus
// carries a leading zero limb, and some bases exceed the modulus, with the same or more
// limbs.
TEST(BigNumOpenSsl, ModExp65537) {
  OpenSslContext openSsl;
  std::mt19937 random(20261210);
  BigNum* exponent = BigNumFromWord(1, 65537);
  BIGNUM* exponentRef = ToOpenSsl(exponent);
  for (int i = 0; i < 300; i++) {
    Limbs mLimbs = RandomModulus(random, 64);
    uint32_t baseCount = i % 3 == 2 ? 65 + random() % 64 : 64;
    BigNum* m = MakeBigNum(mLimbs, i % 4 == 1 ? 65 : 64);
    BigNum* base = MakeBigNum(RandomLimbs(random, baseCount), baseCount);
    SCOPED_TRACE(testing::Message()
                 << "case " << i << ", modulus count " << m[0] << ", base count " << baseCount);

    BigNum* result = BigNumModExp(base, exponent, m);
    ASSERT_NE(nullptr, result);
    BIGNUM* baseRef = ToOpenSsl(base);
    BIGNUM* mRef = ToOpenSsl(m);
    BIGNUM* expected = BN_new();
    ASSERT_EQ(1, BN_mod_exp(expected, baseRef, exponentRef, mRef, openSsl.Context));
    EXPECT_EQ(HexOfOpenSsl(expected), HexOf(result));

    BN_free(expected);
    BN_free(mRef);
    BN_free(baseRef);
    BigNumFree(result);
    BigNumFree(base);
    BigNumFree(m);
  }
  BN_free(exponentRef);
  BigNumFree(exponent);
}

// Products and their reduction for every shape of operand sizes, moduli from one limb
// up, with and without leading zero limbs.
TEST(BigNumOpenSsl, MulAddAndMulMod) {
  OpenSslContext openSsl;
  std::mt19937 random(7);
  for (int i = 0; i < 2000; i++) {
    uint32_t aCount = 1 + random() % 130, bCount = 1 + random() % 130;
    uint32_t mSignificant = 1 + random() % 66;
    BigNum* a = MakeBigNum(RandomLimbs(random, aCount), aCount);
    BigNum* b = MakeBigNum(RandomLimbs(random, bCount), bCount);
    BigNum* m = MakeBigNum(RandomModulus(random, mSignificant), mSignificant + random() % 3);
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << aCount << " x " << bCount
                                    << " limbs mod " << mSignificant << " (count " << m[0] << ")");
    BIGNUM* aRef = ToOpenSsl(a);
    BIGNUM* bRef = ToOpenSsl(b);
    BIGNUM* mRef = ToOpenSsl(m);
    BIGNUM* expected = BN_new();

    BigNum* product = BigNumNew(aCount + bCount);
    BigNumMulAdd(a, b, product);
    ASSERT_EQ(1, BN_mul(expected, aRef, bRef, openSsl.Context));
    EXPECT_EQ(HexOfOpenSsl(expected), HexOf(product));

    BigNum* result = BigNumMulMod(a, b, m);
    ASSERT_NE(nullptr, result);
    ASSERT_EQ(1, BN_mod_mul(expected, aRef, bRef, mRef, openSsl.Context));
    EXPECT_EQ(HexOfOpenSsl(expected), HexOf(result));
    Limbs value = ValueOf(result);
    EXPECT_EQ(value.empty() ? 1u : value.size(), result[0]) << "normalised";

    BN_free(expected);
    BN_free(mRef);
    BN_free(bRef);
    BN_free(aRef);
    BigNumFree(result);
    BigNumFree(product);
    BigNumFree(m);
    BigNumFree(b);
    BigNumFree(a);
  }
}

// Exponents of several limbs (and zero) on smaller moduli.
TEST(BigNumOpenSsl, ModExpOtherExponents) {
  OpenSslContext openSsl;
  std::mt19937 random(11);
  for (int i = 0; i < 60; i++) {
    uint32_t exponentCount = 1 + random() % 3;
    Limbs exponentLimbs = i < 5 ? Limbs(exponentCount, 0) : RandomLimbs(random, exponentCount);
    uint32_t mSignificant = 1 + random() % 16;
    BigNum* exponent = MakeBigNum(exponentLimbs, exponentCount);
    BigNum* m = MakeBigNum(RandomModulus(random, mSignificant), mSignificant);
    BigNum* base = MakeBigNum(RandomLimbs(random, 1 + random() % 20));
    SCOPED_TRACE(testing::Message()
                 << "case " << i << ", exponent " << HexOf(exponent) << ", modulus " << HexOf(m));
    BIGNUM* baseRef = ToOpenSsl(base);
    BIGNUM* exponentRef = ToOpenSsl(exponent);
    BIGNUM* mRef = ToOpenSsl(m);
    BIGNUM* expected = BN_new();
    ASSERT_EQ(1, BN_mod_exp(expected, baseRef, exponentRef, mRef, openSsl.Context));
    // With exponent zero we yield 1 even for the modulus 1, where OpenSSL yields 0.
    std::string expectedHex = BN_is_zero(exponentRef) ? "1" : HexOfOpenSsl(expected);

    BigNum* result = BigNumModExp(base, exponent, m);
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(expectedHex, HexOf(result));

    BN_free(expected);
    BN_free(mRef);
    BN_free(exponentRef);
    BN_free(baseRef);
    BigNumFree(result);
    BigNumFree(base);
    BigNumFree(m);
    BigNumFree(exponent);
  }
}

// An allocator that fails its FailAt-th call (counting from 1; 0 never fails) and
// counts the blocks handed out and not yet released.
static int AllocationCalls;
static int FailAt;
static int LiveBlocks;

static void* CountingAllocate(size_t size) {
  if (++AllocationCalls == FailAt) {
    return nullptr;
  }
  void* block = malloc(size);
  if (block != nullptr) {
    LiveBlocks++;
  }
  return block;
}

static void CountingRelease(void* block) {
  LiveBlocks--;
  free(block);
}

class BigNumAllocationFailure : public testing::Test {
 protected:
  void SetUp() override {
    BigNumAllocator = CountingAllocate;
    BigNumReleaser = CountingRelease;
  }
  void TearDown() override {
    BigNumAllocator = malloc;
    BigNumReleaser = free;
  }
  void Arm(int failAt) {
    AllocationCalls = 0;
    FailAt = failAt;
    LiveBlocks = 0;
  }
};

// Failing each allocation of an exponentiation in turn: every one ends the operation
// with null and leaves no block behind.
TEST_F(BigNumAllocationFailure, EveryAllocationOfModExp) {
  std::mt19937 random(3);
  BigNum* m = MakeBigNum(RandomModulus(random, 64), 65);
  BigNum* base = MakeBigNum(RandomLimbs(random, 64), 64);
  BigNum* exponent = BigNumFromWord(1, 65537);

  Arm(0);
  BigNum* reference = BigNumModExp(base, exponent, m);
  ASSERT_NE(nullptr, reference);
  int allocations = AllocationCalls;
  BigNumFree(reference);
  EXPECT_EQ(0, LiveBlocks);
  // The result, the copy of the base, and a product and a shift table for each of the
  // 31 squarings and 2 multiplications.
  EXPECT_EQ(2 + 2 * (31 + 2), allocations);

  for (int failAt = 1; failAt <= allocations; failAt++) {
    SCOPED_TRACE(testing::Message() << "allocation " << failAt << " fails");
    Arm(failAt);
    EXPECT_EQ(nullptr, BigNumModExp(base, exponent, m));
    EXPECT_EQ(0, LiveBlocks);
  }

  BigNumFree(exponent);
  BigNumFree(base);
  BigNumFree(m);
}

TEST_F(BigNumAllocationFailure, SingleBlocks) {
  BigNum* x = BigNumFromWord(3, 5);
  BigNum* m = BigNumFromWord(1, 7);
  for (int failAt = 1; failAt <= 2; failAt++) {
    SCOPED_TRACE(testing::Message() << "allocation " << failAt << " fails");
    Arm(failAt);
    EXPECT_EQ(nullptr, BigNumMulMod(x, x, m));
    EXPECT_EQ(0, LiveBlocks);
  }
  Arm(1);
  EXPECT_EQ(nullptr, BigNumNew(4));
  Arm(1);
  EXPECT_EQ(nullptr, BigNumFromWord(4, 1));
  Arm(1);
  EXPECT_EQ(nullptr, BigNumCopy(x));
  EXPECT_EQ(0, LiveBlocks);
  BigNumFree(m);
  BigNumFree(x);
}

// A zero modulus has no residues: the operations say so instead of dividing by it.
TEST_F(BigNumAllocationFailure, ZeroModulus) {
  BigNum* x = BigNumFromWord(2, 5);
  BigNum* zero = BigNumNew(3);
  BigNum* exponent = BigNumFromWord(1, 65537);
  Arm(0);
  EXPECT_EQ(nullptr, BigNumMulMod(x, x, zero));
  EXPECT_EQ(nullptr, BigNumModExp(x, exponent, zero));
  EXPECT_EQ(0, LiveBlocks);

  uint32_t shiftTable[32 * 4];
  BigNumReduce(x, zero, shiftTable);
  EXPECT_EQ("5", HexOf(x));
  BigNumFree(exponent);
  BigNumFree(zero);
  BigNumFree(x);
}
