// Random packets from a fixed seed through the real patched sites, each placed so that its
// last byte ends where a no-access page begins: a read past the delivered length faults and
// ends this program. Incoming packets of every type (most of them the plug-in's own
// 0xCA-0xCC) and length 0 to 600; outgoing ones of length 1 to 511 with repeats mixed in,
// under the test clock.
#include "Orlavex/HostRecords.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <vector>

enum : uint32_t {
  SweepIncomingCount = 20000,
  SweepOutgoingCount = 20000,
  SweepIncomingLengthMax = 600,
  SweepOutgoingSizeMax = 511,
};

// xorshift32: the same packets on every run and every platform.
struct SweepRandom {
  uint32_t State;
};

static uint32_t SweepNext(SweepRandom* random) {
  uint32_t x = random->State;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  random->State = x;
  return x;
}

// 0 to count - 1.
static uint32_t SweepBelow(SweepRandom* random, uint32_t count) {
  return SweepNext(random) % count;
}

static void SweepFill(SweepRandom* random, uint8_t* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(SweepNext(random));
}

static UnitRecord SweepPlayer;

TEST(PacketSweep, IncomingPacketsOfEveryTypeAndLengthStayInsideTheirBytes) {
  GuardedBytes guarded = GuardedBytesMake();
  SweepRandom random = {0x5EED0CA1u};
  uint32_t toHost = 0, handled = 0, consumed = 0, empty = 0;
  WhilePatched([&] {
    static uint8_t bytes[SweepIncomingLengthMax];
    for (uint32_t n = 0; n < SweepIncomingCount; ++n) {
      // Lengths cluster around the three layouts (15, 23, 25 bytes) half of the time.
      int32_t length = static_cast<int32_t>(SweepBelow(&random, 2) == 0
                                                ? SweepBelow(&random, 32)
                                                : SweepBelow(&random, SweepIncomingLengthMax + 1));
      SweepFill(&random, bytes, sizeof(bytes));
      if (SweepBelow(&random, 2) == 0)
        bytes[0] = static_cast<uint8_t>(0xCA + SweepBelow(&random, 3));
      const uint8_t* packet = GuardedBytesPlace(guarded, bytes, length);

      bool withPlayer = SweepBelow(&random, 8) != 0;
      SweepPlayer.Mode = SweepBelow(&random, 2) == 0 ? UnitModeDown : 0;
      ClientCell<uintptr_t>(Offset_PlayerUnit) =
          withPlayer ? reinterpret_cast<uintptr_t>(&SweepPlayer) : 0;
      HostJournalClear();

      CallInRegs regs = CallReceivePacket(packet, length);

      ASSERT_EQ(4u, regs.StackPopped()) << "packet " << n;
      bool reachedHost = CountCalls(HostJournal(), "ReceivePacketFunc") == 1;
      bool hostType = length > 0 && bytes[0] < 0xAF;
      ASSERT_EQ(hostType, reachedHost) << "packet " << n << ", length " << length;
      if (length <= 0) {
        ++empty;
      } else if (reachedHost) {
        ++toHost;
      } else if (HostJournal()->Count > 0) {
        ++handled;
      } else {
        ++consumed;
      }
    }
  });
  GuardedBytesFree(&guarded);
  printf("incoming sweep: %u packets: %u to the host, %u handled, %u consumed, %u empty\n",
         SweepIncomingCount, toHost, handled, consumed, empty);
  EXPECT_EQ(SweepIncomingCount, toHost + handled + consumed + empty);
  EXPECT_GT(handled, 0u);
  EXPECT_GT(toHost, 0u);
}

TEST(PacketSweep, OutgoingPacketsWithRepeatsStayInsideTheirBytes) {
  GuardedBytes guarded = GuardedBytesMake();
  SweepRandom random = {0x5EED5E4Du};
  uint32_t sent = 0, dropped = 0;
  WhilePatchedOnTestClock([&] {
    static uint8_t bytes[SweepOutgoingSizeMax];
    uint32_t size = 1;
    ClockSet(0x10000);
    for (uint32_t n = 0; n < SweepOutgoingCount; ++n) {
      // A third repeat the last packet whole or in part, the rest are new; few types so that
      // repeats within a window are common.
      uint32_t kind = SweepBelow(&random, 6);
      if (kind >= 2) {
        size = 1 + SweepBelow(&random, SweepOutgoingSizeMax);
        SweepFill(&random, bytes, size);
        bytes[0] = static_cast<uint8_t>(SweepBelow(&random, 64));
      } else if (kind == 1) {
        size = 1 + SweepBelow(&random, size);
      }
      ClockAdvance(SweepBelow(&random, 4) == 0 ? SweepBelow(&random, 400)
                                               : SweepBelow(&random, 30));
      const uint8_t* packet = GuardedBytesPlace(guarded, bytes, static_cast<int32_t>(size));
      HostSetResult("SendToServer", SweepBelow(&random, 16) == 0 ? 0 : 1);
      HostJournalClear();

      CallInRegs regs = CallSendPacket(packet, size);

      ASSERT_EQ(4u, regs.StackPopped()) << "packet " << n;
      ASSERT_EQ(size, regs.Ebx) << "packet " << n;
      std::vector<const HostCallRecord*> sends = CallsOf(HostJournal(), "SendToServer");
      ASSERT_GE(1u, sends.size()) << "packet " << n;
      if (sends.empty()) {
        ++dropped;
        continue;
      }
      ++sent;
      ASSERT_EQ(size, sends[0]->Args[0]) << "packet " << n;
      ASSERT_EQ(size, sends[0]->DataSize) << "packet " << n;
      ASSERT_EQ(0, memcmp(packet, sends[0]->Data, size)) << "packet " << n;
    }
  });
  GuardedBytesFree(&guarded);
  printf("outgoing sweep: %u packets: %u sent, %u dropped as repeats\n", SweepOutgoingCount, sent,
         dropped);
  EXPECT_EQ(SweepOutgoingCount, sent + dropped);
  EXPECT_GT(sent, 0u);
  EXPECT_GT(dropped, 0u);
}
