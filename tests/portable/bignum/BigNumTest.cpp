// Big-number arithmetic: block handling, the reduction's edge cases, and modular powers
// against known answers (these also run as i686 code under Wine).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/portable/bignum/BigNumHex.h"
#include "updater/bignum/BigNum.h"

// Operands drawn at random once (Python, fixed seed); expected powers from Python's pow().
const char* const M1 =
    "ecac638132c43260cfe6362439497496fe37fe1b984a48a460726b69cb2fee1b5995c67008ec6855"
    "efe2006b670d92fa93cf751052b6446c69cb6622470664a96df62bd75265a4ba62a636ac914d8b02"
    "63029ef00199d050e5d1d2ff79eb93ad626aceff563ada391b29af1277a4d20df4b59d823ec82d85"
    "1024ca19a7a3546afa793fa2d82c965e8e46971380e408490ef2ab4e9377a4b5c58ba4628bfdf719"
    "7301fda52a56e380b28742e8b7db8e08a9a73da4f1e2edb0a22835b4214c5315b7bc09f88b0af4fe"
    "5c9c461ecd146c621bdf953a48f337814f3048316a9db26925b0e463afed59623f81b2e478799efe"
    "7bf221de4d00f4a08dd08eaed5044877";
const char* const B1 =
    "1620dad840fdfa5ddaff10e3bfc4fe0fa7368de078e693e2509a01e5941450ac3e4d8aa765328153"
    "3a0c5434ac999de4d662239e8a4ce5bbbf8582ef76a9f7a5cb67f23822bb073a1edacf9555a4d810"
    "f91b5c2bb17352b3cfdb3ea1470a2bff524be17defb21a38bac7c2928cbf24f2274b862b17c84067"
    "14a03f166b58bb37e26c03c1c4844cb7ede6008d29cb6cebddb6d8389f320e6ba0aa1138daea67cd"
    "1154b5a542586ee7247d86904d9f1af773104aa12e34d128b8eff1d10b638bfbea59045de4913de1"
    "2531685abe89ff748fe49d9bb247eb32117812575c5cd76ff9a3c419405758fdaa2431ce03d8bec5"
    "c69b751f78ef403eac9561048fb8079";
const char* const M1b =
    "c7ad267c12faa50f67cc9d5cc3b9b210a03e9b4a5151b2ce8b5e92dc1d9cd5271d80e231cdb351ca"
    "311bd3f5c045fde31299095a41675d5655c1011c4ffe38bb6133539f4827658b8216fbd898eedb80"
    "7f1de02c5a26336313b6c6bd6297d129e6e87662d3995a4ace90c21c6493e88aa3709ed2c1bbab45"
    "a2392650f6c8ce710b95157dea58d68e1b8b02d70d0577957c7fbe0a299c111818801daa2bb571d5"
    "4b44933c8ad2f7e7bdf5d3e159f9c94f073ae26e4db786eb52a5e858ff0646358cf5708f66c6d623"
    "49c1584e6548dfe604c97d145e6adacfc49b829a37b587897e7fa018f0741b6e4cc454a1b234b047"
    "a82bfa013ac8fbb80120d2653238f497";
const char* const B1b =
    "1fe4a3c79a7517286708fe514743c92571075f584e16c70887136558038e2c71cb5b7cf61fd33392"
    "a27f5809d54f9bd4e5eef007d25f1d33af8f6a03cbf938500e2de5c23647b0ac016513fc1d9c3027"
    "60c7a17ff13a636fd3507c40774bb41a1efdc77d303e88304319a8e1655cb906268527acb4b5744c"
    "ee0be1d37b313682ad3888bf5c161b1c1385a30f1874496f21b93f81f5f8bb5ed3e4b8d5ecf07d0d"
    "69b79858c17427c1c7b186e5386d05ab1ed76c712c6a6a4ea583bfa713a5d449243a86564da34f18"
    "2306d3f770d97bc589ae603f6456d682cd9a05632f116afb12d06b8501221409aab9849cafeb743c"
    "0ab3ba3a969ff798055765044008274f";
const char* const M2 =
    "122d84e2101205fa45943ae6af4fd505ed6ab0d03fabdb27bcae2d218fe7a1366013a88c6776be50"
    "cb5e31eeab647e3e1c46cf123beb0a0512cb93ba14d8b293afd5b891573c9a0d6d82261419d86949"
    "43d07569250299a951fd06da4de8ab74b42edad192591b93ae85aeb0311b0b3ca57a34b730f36d3c"
    "2a92edc1978d4cb63f029e8f64239f973d60d48a32d401d85ab13edcd89897200ab6663077c7ca3b"
    "bef4d17ab713c49a6454de7224490ce334655720add3520a37f82ae21d390e0204f28ebfd5f8bc13"
    "081af3c70a80efdc7c0116f3a53eb2c6bda99c190171fa2cfeb1aff1c4510c7332769081ac37487d"
    "0dfa10217c1455cb492352d71";
const char* const B2 =
    "9385e8d2b5613b63d8c2cadb806a1d7e44b8d3f457d93c6748a60651893cf51d2e3937947a9e0000"
    "a0e9f23eda93690a079a8e7dcb2c310fa0306692391453e812b662fe03180249722d551b74247ac0"
    "da12e6f6fd225a93f2d9adbbb6594b7123c789c835a3efdf4facb23008be90762cd6346fb330dde4"
    "12fd483b8d142d8098be9f9fa5aa6d2fe99a6a00197e71f4603cb30c138bf1ed6f5f5b788216ca4f"
    "a5fde6a5e018770ae1c9002b151a017c65bf3fe9622070ce8c295e1597acf73bde095f5d4d388fb3"
    "8c230d4f7d6996ddc92bdfd51bbac3309cb9fd32439b05ff490cfa5fa6dfa6570b16a1221beee4b0"
    "0c81f632bcd7d6940433baf45b4b59d9";
const char* const M3 =
    "b198fc542d11babcb719faaab875b8dcae7003bf81f41721385fd54b1ed4ffd54e049b00d6432770"
    "7975877f32ede4e76840c252cfc63ff4c92ca76ae2d96cc1167ed35485e031a2fd63734081f8e21c"
    "799926d7e54a54aa9f2db8e0a6904202d537c8ed60a76ae2bbdb7c7c7321e6b5784b562b3621fcc5"
    "b2351f8b8edd550e0a1dd17b130708bf39e6205afb1b761e2647f02aedd536996567c309355b1b9d"
    "12fae2b6f5a7be8105a801e3c4964d102bd4e1a6c6844df4afcb31605147b1e5c148ce3dcba06d5a"
    "fce30d18fb1acb9c251d48d65970765043fa30304fd2d1fccb138c6b75cce2d92d411b9fba0b34eb"
    "bc00a21cbc969b1d3a6b";
const char* const B3 =
    "a72180fdc68a8589840df35ee9a70f1d1629270ad3f605aba95877f22f1aca093f6948baebe76b7d"
    "306c6eb1312e0b74fc2903c4fe6e22240fb028d33fedeb613afddbf20473ee35a42af1aa84c11957"
    "bde7aaf85c580580328ad0343ece5ec66bec08386b6bae255ad9388ea9ee7a8abb59bf415c0e2ca5"
    "ce438cc3c4de7220c661dcdd35d8437668aecbbcb3cb3e7484f5a3560623e2270c2c52e7002a60d9"
    "d6008c4f320c552d16fc356b2d81f592eda6d3eca0731806051482c913562f7d3d67befcb157d563"
    "f5aa9dfe2ea879727036afef7e39083ca23adfcc67edec6a75ce0e02991a1301da5f30c5e8172dfb"
    "2e40d3b1e5ffd67a7ba4";
const char* const B4096 =
    "92c38ee5a6ebbe366d603e76b44a225ce8ad8bc184a309c59432184376b6b106076c7380d18a32ff"
    "c9cfd9d44f7f9079afcc31e6def89cca5215639712c6fa83da6be04a91ccfe3ad8e5076de93859c0"
    "1e07cd100c45f91531b837bdb85648749267f64e36f96cda706b6cef95deed64596ef1a854603d40"
    "f3ec8130d327f7f0ace8c2eed612b4cdfbfb29287cd068345770b7db55da5c0ce229b71c8b9369e8"
    "5795447e6c4247b6ed9c6d289c36a7f228d20f9fc4fc4396d001653c1eca8797f213d84dbfae1bb6"
    "2f196a78458453fa54464b11f65bb55dfb07aaeacfe005459a501ccec0c6e530d1d43f78da5c62fd"
    "5f5427837252c9a92759da8e935e7fb56e35f3c6e78f12938190a0d117375929da9bdca0d18cb820"
    "5611e6301f493fed42701f7725fc2b096bb4e84bfb785a6cf11eb7816a26d1e7d379c555403baafc"
    "c414e69f9265b5374edb6d97ef1ffb729ad2297b9860ba100cc351c62a980ed2e1671c36adff1cfa"
    "4315710ae03ba7cd3b986b1bba89c86a993da41091eadd89fb712679a5ca795cc1184b4f3d6c19bc"
    "bc6d9a9389bc7114c20f08e96e3c2b9f9e90c979e9b8147de35e96e3c9fa8906b94db18df42d7215"
    "fb54536f538c31763c03ba7d2053081e5b302e37938187e1b0bca67a0fb0d1ddae88cbeec3af0a8c"
    "5ce708363c402477a214e35a5f89f3f2414f254ce5b52307922903c91cea0c73";
const char* const M1024 =
    "851c974241b8e7d4e2044a0e05facf63b567e9ad0a3a612658e434e2712af02a5d65e6cc1783e440"
    "dfef28bde25bcf4e0c7ab8116f6774ad8104c99d20fc25342aef316472abf86dac921c93116c818e"
    "00674f2e765adc79dfd4ca2d3d6fa7e62e7ccd1daa1ba55256bf420d98f2b7e75ac29fb8298e5119"
    "24abd0613462980b";
const char* const B1024 =
    "52e9da27e61bdf922e4c97252b0c8b11cfc5c50e2311b973a021b18304fc808eda84ee599e31c304"
    "724b1557c5a972104189540f22ea3f7e4ec3e032a72bd49f43505f5ad7be2d6de1140a160ffce66f"
    "cd08d889d118a8e6299db69854bd2ebd3c55da7e53280e5fc87ab1981b9ea356e828b24e41c1194a"
    "200be7ed1a7dcdab";
const char* const E160 = "b2a77df325a71c59ff03068a05b4a9d18b6b86e5";
const char* const Ones2048 =
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "ffffffffffffffffffffffffffffffff";
TEST(BigNum, Blocks) {
  BigNum* empty = BigNumNew(0);
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(1u, empty[0]) << "a count of 0 means 1";
  EXPECT_EQ(0u, empty[1]);
  BigNumFree(empty);

  BigNum* zero = BigNumFromWord(5, 0);
  BigNumNormalize(zero);
  EXPECT_EQ(1u, zero[0]);
  EXPECT_EQ(0u, zero[1]);
  BigNumFree(zero);

  BigNum* padded = BigNumFromHex("123456789abcdef0", 6);
  BigNum* copy = BigNumCopy(padded);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(2u, copy[0]) << "the copy is normalised";
  EXPECT_EQ("123456789abcdef0", HexOf(copy));
  EXPECT_EQ(6u, padded[0]) << "the original keeps its count";
  BigNumFree(copy);
  BigNumFree(padded);
}

// (B^a - 1)·(B^b - 1) with B = 2^32, a <= b, carries the most through every step:
// limb 0 is 1, limbs 1 to a - 1 are 0, limbs a to b - 1 all ones, limb b is
// 0xFFFFFFFE and limbs b + 1 to a + b - 1 all ones.
TEST(BigNum, MulAddOfAllOnes) {
  const uint32_t Sizes[][2] = {{1, 1}, {1, 64}, {3, 65}, {64, 64}, {65, 3}};
  for (const auto& size : Sizes) {
    uint32_t a = size[0], b = size[1];
    SCOPED_TRACE(testing::Message() << a << " x " << b << " limbs");
    BigNum* x = MakeBigNum(Limbs(a, 0xFFFFFFFF));
    BigNum* y = MakeBigNum(Limbs(b, 0xFFFFFFFF));
    BigNum* r = BigNumNew(a + b + 1);
    BigNumMulAdd(x, y, r);

    uint32_t low = a < b ? a : b, high = a < b ? b : a;
    Limbs expected(a + b, 0xFFFFFFFF);
    expected[0] = 1;
    for (uint32_t i = 1; i < low; i++) {
      expected[i] = 0;
    }
    expected[high] = 0xFFFFFFFE;
    EXPECT_EQ(HexFromLimbs(expected), HexOf(r));
    EXPECT_EQ(a + b + 1, r[0]);
    BigNumFree(x);
    BigNumFree(y);
    BigNumFree(r);
  }
}

// m·2^shift + add, as limbs.
static Limbs ShiftedPlus(const Limbs& m, uint32_t shift, uint32_t add) {
  Limbs x(shift / 32, 0);
  uint32_t bits = shift % 32, spill = 0;
  for (uint32_t limb : m) {
    x.push_back(limb << bits | spill);
    spill = bits == 0 ? 0 : limb >> (32 - bits);
  }
  x.push_back(spill);
  uint64_t carry = add;
  for (size_t i = 0; i < x.size() && carry != 0; i++) {
    uint64_t sum = static_cast<uint64_t>(x[i]) + carry;
    x[i] = static_cast<uint32_t>(sum);
    carry = sum >> 32;
  }
  return Trimmed(x);
}

static Limbs MinusOne(Limbs x) {
  for (size_t i = 0; i < x.size() && x[i]-- == 0; i++) {
  }
  return Trimmed(x);
}

struct ReduceModulus {
  const char* Name;
  const char* Hex;
};

const ReduceModulus ReduceModuli[] = {
    {"2048 bits, top bit set", M1},
    {"top limb 1", M2},
    {"2000 bits", M3},
    {"1", "1"},
    {"3", "3"},
    {"2^32 - 1", "ffffffff"},
    {"2^32, low limb zero", "100000000"},
};

struct ReduceShape {
  const char* Name;
  int Shift;  // x = m·2^Shift + Add; -1: x = m - 1
  uint32_t Add;
  bool SpareLimb;  // x's count has one limb above its value, or none at all
};

const ReduceShape ReduceShapes[] = {
    {"below m", -1, 0, true},
    {"equal to m", 0, 0, true},
    {"equal to m, no spare limb", 0, 0, false},
    {"m + 1", 0, 1, true},
    {"m·2 + 1", 1, 1, true},
    {"m·2^31 + 1", 31, 1, true},
    {"m·2^32 + 1", 32, 1, true},
    {"m·2^33 + 1", 33, 1, true},
    {"m·2^33 + 1, no spare limb", 33, 1, false},
    {"m·2^63 + 1", 63, 1, true},
    {"m·2^64 + 1", 64, 1, true},
    {"m·2^2048 + 1", 2048, 1, true},
    {"m·2^2079 + 1, no spare limb", 2079, 1, false},
};

TEST(BigNum, ReduceEdgeCases) {
  for (const ReduceModulus& modulus : ReduceModuli) {
    Limbs m = LimbsFromHex(modulus.Hex);
    for (uint32_t leadingZeros = 0; leadingZeros <= 1; leadingZeros++) {
      uint32_t mCount = static_cast<uint32_t>(m.size()) + leadingZeros;
      BigNum* mNum = MakeBigNum(m, mCount);
      for (const ReduceShape& shape : ReduceShapes) {
        SCOPED_TRACE(testing::Message()
                     << "m " << modulus.Name << " (count " << mCount << "), x " << shape.Name);
        Limbs value;
        std::string expected;
        if (shape.Shift < 0) {
          value = MinusOne(m);
          expected = HexFromLimbs(value);
        } else {
          value = ShiftedPlus(m, static_cast<uint32_t>(shape.Shift), shape.Add);
          expected = shape.Add == 0 || m == Limbs{1} ? "0" : "1";
        }
        uint32_t xCount = static_cast<uint32_t>(value.size()) + (shape.SpareLimb ? 1 : 0);
        BigNum* x = MakeBigNum(value, xCount);
        // Stale content in the scratch area must not matter.
        std::vector<uint32_t> shiftTable(32 * (mCount + 1), 0xA5A5A5A5);
        BigNumReduce(x, mNum, shiftTable.data());
        EXPECT_EQ(expected, HexOf(x));
        EXPECT_EQ(xCount, x[0]) << "the count is kept";
        BigNumFree(x);
      }
      BigNumFree(mNum);
    }
  }
}

struct ModExpCase {
  const char* Name;
  const char* Base;
  uint32_t BaseCount;  // 0: as many limbs as the value needs
  const char* Exponent;
  uint32_t ExponentCount;
  const char* Modulus;
  uint32_t ModulusCount;
  const char* Expected;
};

const ModExpCase ModExpCases[] = {
    {"2048-bit modulus, exponent 65537", B1, 0, "10001", 0, M1, 0,
     "6698796fd8541dfde3cd194d700680caee0e645d6c4d49c27287b3125cfadbefa5d988cd636da190"
     "89c20e3cddaed221a1fd67d8b83aed4e9d06a561ea579bd59deb373dd7f6bd27c638e705d139c852"
     "3937b3c2500c7da9555bc98a9670f33e37a2a04bdf0529b17a7ef6d824a6dd7e808a755f7cf7bc00"
     "b8c333fa36211eb36f9b47158648d147917b1eba5af407e4b7d7d5bddfb29b0aed47032cff7bf714"
     "f7b9e662b888057bc16597285e9bfda773a4d68f2aa7dbb7fc05880ae1b8eaf94711cdce68b27597"
     "723f7d1f1e594ecb1122aabbd3eb529ded054563770089e4d2bb3e3407413a7f1ffb686d5e4a8096"
     "595024be3f919ede7316bd4eeda00a68"},
    {"second 2048-bit modulus", B1b, 0, "10001", 0, M1b, 0,
     "179c9d54a0bb586641ed5c593bb4de1d339d52a51816cc21335b0a3674b382165d603943d825cdfd"
     "af5cc68793256da512dc976854e0654c5b3085cbfaa5a66fba80b8187c777105fda6150f4ce784ac"
     "c0147a0d0cd4db0a1dfa3b5dfe1fca8f2db7ec4f095bb4fc4445cb527c450855b5e5cb36e26ba053"
     "fc76dc2101e08b99e37ae7ce0a661ef216d701f38d19441c63acbf1134d9aff8cfbd86523d19b78e"
     "07ed46ca05a7a681836b5be968a5b466da08b1b2b1564fe8c439e2ea93fe591d50689a9167e91c48"
     "4641b8eca538af8c2dc0a6b46f8c303baec5f3c96dc25ccc475832fb73d8e7e5c68d1fcdb0d8a0c2"
     "b6e9a706b568b2ce13c157fac8b3f713"},
    {"modulus with a leading zero limb (count 65)", B1, 0, "10001", 0, M1, 65,
     "6698796fd8541dfde3cd194d700680caee0e645d6c4d49c27287b3125cfadbefa5d988cd636da190"
     "89c20e3cddaed221a1fd67d8b83aed4e9d06a561ea579bd59deb373dd7f6bd27c638e705d139c852"
     "3937b3c2500c7da9555bc98a9670f33e37a2a04bdf0529b17a7ef6d824a6dd7e808a755f7cf7bc00"
     "b8c333fa36211eb36f9b47158648d147917b1eba5af407e4b7d7d5bddfb29b0aed47032cff7bf714"
     "f7b9e662b888057bc16597285e9bfda773a4d68f2aa7dbb7fc05880ae1b8eaf94711cdce68b27597"
     "723f7d1f1e594ecb1122aabbd3eb529ded054563770089e4d2bb3e3407413a7f1ffb686d5e4a8096"
     "595024be3f919ede7316bd4eeda00a68"},
    {"modulus top limb 1, base above it", B2, 0, "10001", 0, M2, 0,
     "93cb1788312c39da3ad65c5201ae5923455b2b51c534256cf4f1380cc6892a19f100caa9b6514c46"
     "4b1e057687e407815d52e7f2c4200a8508dfe83dc6c5e6a068ce3e2ca6a9fafce1c21e27b240e687"
     "62ad4fb325ada6effe3faac829542b5adb5f2398d989841458bc9e974650b8abf6947ec13d482044"
     "5dd174e074951573b5b5550ac251f3c2fc56b0cc7b514b26408930b6a858a3c3ac9df1e6de3de615"
     "e68875fa882544eb8a340e8cee10a4169a7cebccb1aadbad4be95fda9cb8d0841cd444a247c66681"
     "65dc21e78afa8adede4d8605e9e157bff6216f9cad4f14a94994cea6aee7ec84eb151f291b7a13c3"
     "dcf907225fe3edc62fef1c1b"},
    {"2000-bit modulus", B3, 0, "10001", 0, M3, 0,
     "33772ee69d90cdfb1f62f1a08629b8ae7fdcdbd8846681eb94e71a19a8e42914448e0d53e03ded3a"
     "d1c29bddff83dcb7c1df9d1d87583aa0cf8f4793d4be492f668c07d5b56acc548acaabfea6ea478e"
     "888f809636ad151c4553d689a7b52116fec708ffefc80931410eb1cccd98e25c2928da0fed803643"
     "0483d0e33f5fbf99df1ec4c4d33292b5bc4c6ebe1cfb9307da0abeac2b8b84ba502af24f0bf2c3ce"
     "ae51efd2b8e56987d55f6a15ec5e766a64658514b7ac05c0be6f91c5d28076d04efaf17fc218be17"
     "3182258133a3408bdc5c990cc408f990e4fbdcd42ed494c2b57b474bb1c48bae78a2d69faa538e55"
     "2d932393f04cb6bdf134"},
    {"2000-bit modulus with two leading zero limbs", B3, 0, "10001", 0, M3, 65,
     "33772ee69d90cdfb1f62f1a08629b8ae7fdcdbd8846681eb94e71a19a8e42914448e0d53e03ded3a"
     "d1c29bddff83dcb7c1df9d1d87583aa0cf8f4793d4be492f668c07d5b56acc548acaabfea6ea478e"
     "888f809636ad151c4553d689a7b52116fec708ffefc80931410eb1cccd98e25c2928da0fed803643"
     "0483d0e33f5fbf99df1ec4c4d33292b5bc4c6ebe1cfb9307da0abeac2b8b84ba502af24f0bf2c3ce"
     "ae51efd2b8e56987d55f6a15ec5e766a64658514b7ac05c0be6f91c5d28076d04efaf17fc218be17"
     "3182258133a3408bdc5c990cc408f990e4fbdcd42ed494c2b57b474bb1c48bae78a2d69faa538e55"
     "2d932393f04cb6bdf134"},
    {"base of twice the modulus's limbs", B4096, 0, "10001", 0, M1, 0,
     "311a808bad0cb5a116f9e8652d83995fdaf57c00cb38e10c8e67875e0b6945e336d655a7e60a5169"
     "a7e87ac38909d423b0e0627c330432dce9590bbcd7123d88771877a744b763f10da94309f45b6769"
     "eb51bb5b4e29a72abb7e6ca0105942c0b7e007588f700bd0adb15420326f004d2524e30fc688e2bb"
     "d04afb95592f6ee116c28c7d9bb1c4bbf6571e4c25bab55369680426160d4fe18cf152ceb17aba23"
     "85f15dfe1bdd0a4c50fcdcf388fb0d26ded5beae6a14bd52b801e4e67ab3787b0235519d62548769"
     "a17c47d96190aaeb96b6b62d8f010f7ad7f5e9f832287bc42eb8b99332054a8fb1cbe7d63dcdcefa"
     "5557c93d188a0954414353f10059a65e"},
    {"base of more limbs, exponent 2 (unreduced first square)", B4096, 0, "2", 0, M1, 0,
     "95c6fff00ba61830b7cdd0229191e6fbf627e5f6338f5ec1e511cd4c131e6b115fa0c221b1ac24e0"
     "64d3001c897e9e8aed1f0bec11b7e6c460211d10c084a264077f26e3eacfd677c968b773a7798f20"
     "a29190c964e570b1ac36ba3873c308701421d54f4c450caaec7126571edf939cd9fbe055aa7e7f8a"
     "ae0cdb1f762dc00c631efbda1cce92d8f8f630395b0ca6f5f841a81295be68af0d00112e742e2aea"
     "e54f0846c6298a05225dcfd1ec53aa5a4fbdde18fb0e31317a1ed345062d18d4b5a8e03436deff3e"
     "21d0250caf7ab3663f501913de42e9ea8d973ade0a575250cecfbca0321683ff8cd8a023ca5aa890"
     "46da16061c77bbe7fdc4116deb6fc072"},
    {"all-ones base carrying a leading zero limb", Ones2048, 65, "10001", 0, M1, 0,
     "529de3ea7f14a08f453859d978d022453dc7161536660a0ec425c71e19c207d5161bd097390e5c99"
     "2ddf7ad7e1a31e41e27d09519768ada919829bf5489a4d625450389e5fe7644e5246742274957137"
     "b34042f51ca4e0d207cfe58c43f1025531e48db72c7238ab2ac8a05299a2cfc748811f1f019e2895"
     "50437bd9e65f738adefdd816f58874364d904bd11e4dc730ceeeb4f6a9889ca9793f900515cb53ba"
     "ab44d8af9909306715caeedd690f2a66ef7d9e09b25ee98a62b50ff78bc2d11956af0cc355bd34ea"
     "6d477ea1759f95ef760f29ca30ddd385f37963f0e50b904a0ef6a997483dc7dde682c54fdb8fbb8b"
     "254efa1ad66d1a73f43fb020fbb28e69"},
    {"even exponent 65536", B1, 0, "10000", 0, M1, 0,
     "80a9dc33cd254e0be54f7c9eec8d57a13d7b2c402db3085f095105eab5724bc5ed091889f42d2912"
     "26f922a639916322f7b0ec9f2d9da655a603970633e763ceee624ed8265fd1d6d6b1bbc700eee73e"
     "bd8fdb5cdfbd81ee599811625b725671c1f4c070825da179c3c650b2a8f537b5a682c75131f85300"
     "786c8fb4dd48598b9ec824a78d75b02e0434c4d01cbc858d32e556d2f16cd00d89d7c45b11103636"
     "7d1db971111e2b895fc753a2541fa50fe123f6eb67f1c7cab9c065ce86aa657a6cad5ea85a72b03b"
     "3897270a6ab7d2ff99789b42ed85431f9541db4a909ec98563d98b065c4200d9e1f878df352e3409"
     "165b203310542d58a05fd5b23d15f2ea"},
    {"multi-limb exponent", B1024, 0, E160, 0, M1024, 0,
     "5e14654d47e1043043b817a98fbf16e8730129169b6f9fb056ea5ced42afaf0dae65992458bfb9bf"
     "e090848d7b017a588f1e70ef418042c2fc55afcdba83f6bd4d244e22a6d82ed476ec7c6b23e35b66"
     "840d41ec77091ae6598830d1ffa18d85fe4d7cd85c6fbcbce3a7a44e740bd5afb94cbe7ff1895bb9"
     "cde5bc4f9d3fa0a2"},
    {"exponent with top limb 0x80000000", B1024, 0, "80000000ffffffff", 0, M1024, 0,
     "1ad8939b6f7a4902759e45d6cf83771b700e7a4994f8623c9e7af31893e175ff4347b13e93a15fff"
     "7ba7605b3873d36bbe88b765e761ed7d4e48010d9909ca838e6cc2fc48915ffe323832499596c873"
     "fe92ba32fe75dbf97da076096560956384897a3b209fcfeb15bd3389f6c20c9a9d5a1ec0aa35d3cb"
     "b359e721488f3bc9"},
    {"base equal to the modulus", M1, 0, "10001", 0, M1, 0, "0"},
    {"base zero", "0", 0, "10001", 0, M1, 0, "0"},
    {"modulus 1", B1, 0, "10001", 0, "1", 0, "0"},
    {"one-limb modulus", "12345678", 0, "10001", 0, "fffffffb", 0, "c29d82eb"},
    {"modulus 2^32", "fedcba9876543211", 0, "10001", 0, "100000000", 0, "30e43211"},
    {"exponent zero", B1, 0, "0", 0, M1, 0, "1"},
    {"exponent zero with three zero limbs", B1, 0, "0", 3, M1, 0, "1"},
    {"exponent zero, modulus 1", B1, 0, "0", 0, "1", 0, "1"},
};

TEST(BigNum, ModExpKnownAnswers) {
  for (const ModExpCase& c : ModExpCases) {
    SCOPED_TRACE(c.Name);
    BigNum* base = BigNumFromHex(c.Base, c.BaseCount);
    BigNum* exponent = BigNumFromHex(c.Exponent, c.ExponentCount);
    BigNum* m = BigNumFromHex(c.Modulus, c.ModulusCount);
    uint32_t baseCount = base[0], mCount = m[0];

    BigNum* result = BigNumModExp(base, exponent, m);
    ASSERT_NE(nullptr, result);
    EXPECT_EQ(c.Expected, HexOf(result));
    Limbs value = ValueOf(result);
    EXPECT_EQ(value.empty() ? 1u : value.size(), result[0]) << "normalised";
    EXPECT_EQ(c.Base, HexOf(base)) << "the base is not changed";
    EXPECT_EQ(baseCount, base[0]);
    EXPECT_EQ(mCount, m[0]);

    BigNumFree(result);
    BigNumFree(base);
    BigNumFree(exponent);
    BigNumFree(m);
  }
}
