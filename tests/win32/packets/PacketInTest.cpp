// Server packets entered through the host's own incoming-packet function with the patches
// in place: which packets reach the host's handling, and what 0xCA, 0xCB and 0xCC do to the
// local player.
#include "Orlavex/HostRecords.h"
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <functional>
#include <string>
#include <vector>

static UnitRecord Player;

// The host calls one packet caused, as text: "host eax=packet esi=25", "stat 6 768",
// "move 100 200 0 99 202", "mode 5", "refresh". Any other unit than the player shows.
static std::string Describe(const HostCallRecord& call, uint32_t packet) {
  char text[160];
  uint32_t unit = reinterpret_cast<uint32_t>(&Player);
  std::string name = call.Function;
  if (name == "ReceivePacketFunc") {
    snprintf(text, sizeof(text), "host eax=%s esi=%d", call.Eax == packet ? "packet" : "other",
             static_cast<int32_t>(call.Esi));
  } else if (name == "SetUnitStat") {
    snprintf(text, sizeof(text), "stat %d %d%s%s", static_cast<int32_t>(call.Args[1]),
             static_cast<int32_t>(call.Args[2]), call.Args[3] != 0 ? " last-not-0" : "",
             call.Args[0] != unit ? " other-unit" : "");
  } else if (name == "MoveUnit") {
    snprintf(text, sizeof(text), "move %d %d %d %d %d%s", static_cast<int32_t>(call.Eax),
             static_cast<int32_t>(call.Args[0]), static_cast<int32_t>(call.Args[1]),
             static_cast<int32_t>(call.Args[2]), static_cast<int32_t>(call.Args[3]),
             call.Esi != unit ? " other-unit" : "");
  } else if (name == "SetUnitMode") {
    snprintf(text, sizeof(text), "mode %d%s", static_cast<int32_t>(call.Edi),
             call.Esi != unit ? " other-unit" : "");
  } else if (name == "RefreshUnit") {
    snprintf(text, sizeof(text), "refresh%s", call.Esi != unit ? " other-unit" : "");
  } else {
    snprintf(text, sizeof(text), "%s", call.Function);
  }
  return text;
}

static void PutInt32(std::vector<uint8_t>& bytes, int32_t value) {
  uint8_t field[4];
  memcpy(field, &value, 4);
  bytes.insert(bytes.end(), field, field + 4);
}

static std::vector<uint8_t> PacketCA(int32_t stat6, int32_t stat8, int32_t stat10, uint8_t stat74,
                                     uint8_t stat26, int32_t x, int32_t y, uint8_t dx, uint8_t dy) {
  std::vector<uint8_t> p = {0xCA};
  PutInt32(p, stat6);
  PutInt32(p, stat8);
  PutInt32(p, stat10);
  p.push_back(stat74);
  p.push_back(stat26);
  PutInt32(p, x);
  PutInt32(p, y);
  p.push_back(dx);
  p.push_back(dy);
  return p;
}

static std::vector<uint8_t> PacketCB(int32_t stat6, int32_t stat8, int32_t stat10, int32_t x,
                                     int32_t y, uint8_t dx, uint8_t dy) {
  std::vector<uint8_t> p = {0xCB};
  PutInt32(p, stat6);
  PutInt32(p, stat8);
  PutInt32(p, stat10);
  PutInt32(p, x);
  PutInt32(p, y);
  p.push_back(dx);
  p.push_back(dy);
  return p;
}

static std::vector<uint8_t> PacketCC(int32_t stat10, int32_t x, int32_t y, uint8_t dx, uint8_t dy) {
  std::vector<uint8_t> p = {0xCC};
  PutInt32(p, stat10);
  PutInt32(p, x);
  PutInt32(p, y);
  p.push_back(dx);
  p.push_back(dy);
  return p;
}

static std::vector<uint8_t> Filled(uint8_t type, size_t size) {
  std::vector<uint8_t> p(size, 0x11);
  p[0] = type;
  return p;
}

static const int32_t Full = -1000;  // length: the whole packet

struct PacketCase {
  const char* Name;
  std::vector<uint8_t> Bytes;
  int32_t Length;  // delivered length; Full for Bytes.size()
  bool HasPlayer;
  int32_t Mode;
  std::vector<std::string> Calls;  // what the host sees, in order
};

static const std::vector<uint8_t> CaMode17 = PacketCA(3, 16, 0x7FFFFF, 0xFE, 7, 100, 200, 0xFF, 2);
static const std::vector<std::string> CaMode17Stats = {
    "stat 6 768", "stat 8 4096", "stat 10 2147483392", "stat 74 254", "stat 26 7"};

static std::vector<std::string> Plus(std::vector<std::string> a,
                                     const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

static std::vector<uint8_t> Plus8(std::vector<uint8_t> bytes, uint8_t extra) {
  bytes.push_back(extra);
  return bytes;
}

static const PacketCase PacketCases[] = {
    // The host's own types go on to its handling, the packet in EAX and the length in ESI.
    {"type 0x00", Filled(0x00, 6), Full, true, 0, {"host eax=packet esi=6"}},
    {"type 0xAE", Filled(0xAE, 3), Full, true, 0, {"host eax=packet esi=3"}},
    {"type 0x00, one byte", Filled(0x00, 1), Full, true, 0, {"host eax=packet esi=1"}},
    // Every other type is consumed without effect.
    {"type 0xAF", Filled(0xAF, 25), Full, true, 17, {}},
    {"type 0xC1", Filled(0xC1, 25), Full, true, 17, {}},
    {"type 0xC9", Filled(0xC9, 25), Full, true, 17, {}},
    {"type 0xCD", Filled(0xCD, 25), Full, true, 17, {}},
    {"type 0xFF", Filled(0xFF, 25), Full, true, 17, {}},
    // Length 0 or below: consumed without reading the type byte (it lies on the guard page).
    {"length 0, host type", Filled(0x00, 1), 0, true, 0, {}},
    {"length 0, type 0xCA", CaMode17, 0, true, 17, {}},
    {"negative length", Filled(0x00, 1), -1, true, 0, {}},
    // 0xCA: five stats in order (whole values shifted left by 8, 74 and 26 as bytes), the move
    // with dx 0xFF as x - 1, and in mode 17 with a non-zero stat 6 the mode step.
    {"0xCA, mode 17", CaMode17, Full, true, 17,
     Plus(CaMode17Stats, {"move 100 200 0 99 202", "mode 5", "refresh"})},
    {"0xCA, mode 4", CaMode17, Full, true, 4, Plus(CaMode17Stats, {"move 100 200 0 99 202"})},
    {"0xCA, stat 6 zero, mode 17",
     PacketCA(0, 1, 2, 3, 4, -5, 6, 0x7F, 0x80),
     Full,
     true,
     17,
     {"stat 6 0", "stat 8 256", "stat 10 512", "stat 74 3", "stat 26 4", "move -5 6 0 122 -122"}},
    {"0xCA, stat 6 0x01000000 shifts to zero",
     PacketCA(0x01000000, 0, 0, 0, 0, 1, 1, 0, 0),
     Full,
     true,
     17,
     {"stat 6 0", "stat 8 0", "stat 10 0", "stat 74 0", "stat 26 0", "move 1 1 0 1 1"}},
    {"0xCA, stat 6 negative shifts to non-zero",
     PacketCA(-2, 0, 0, 0, 0, 1, 1, 0, 0),
     Full,
     true,
     17,
     {"stat 6 -512", "stat 8 0", "stat 10 0", "stat 74 0", "stat 26 0", "move 1 1 0 1 1", "mode 5",
      "refresh"}},
    {"0xCA, longer than its layout",
     Plus8(PacketCA(1, 0, 0, 0, 0, 0, 0, 1, 1), 0xEE),
     Full,
     true,
     0,
     {"stat 6 256", "stat 8 0", "stat 10 0", "stat 74 0", "stat 26 0", "move 0 0 0 1 1"}},
    // 0xCB: stats 6, 8, 10 and the move from offset 13; the same mode step.
    {"0xCB, mode 17",
     PacketCB(5, 6, 7, 1000, -1000, 0xFE, 0x01),
     Full,
     true,
     17,
     {"stat 6 1280", "stat 8 1536", "stat 10 1792", "move 1000 -1000 0 998 -999", "mode 5",
      "refresh"}},
    {"0xCB, stat 6 zero, mode 17",
     PacketCB(0, 6, 7, 1, 2, 0, 0),
     Full,
     true,
     17,
     {"stat 6 0", "stat 8 1536", "stat 10 1792", "move 1 2 0 1 2"}},
    {"0xCB, mode 5",
     PacketCB(5, 6, 7, 1, 2, 0, 0),
     Full,
     true,
     5,
     {"stat 6 1280", "stat 8 1536", "stat 10 1792", "move 1 2 0 1 2"}},
    // 0xCC: stat 10 and the move; never the mode step. The target wraps as a 32-bit value.
    {"0xCC, mode 17",
     PacketCC(9, 0x7FFFFFFF, 3, 0x01, 0xFF),
     Full,
     true,
     17,
     {"stat 10 2304", "move 2147483647 3 0 -2147483648 2"}},
    // No local player: consumed, no call.
    {"0xCA, no player", CaMode17, Full, false, 17, {}},
    {"0xCB, no player", PacketCB(5, 6, 7, 1, 2, 0, 0), Full, false, 17, {}},
    {"0xCC, no player", PacketCC(9, 1, 2, 0, 0), Full, false, 17, {}},
    // Shorter than the layout: consumed without effect and without reading past the end.
    {"0xCA, 24 bytes", CaMode17, 24, true, 17, {}},
    {"0xCB, 22 bytes", PacketCB(5, 6, 7, 1, 2, 0, 0), 22, true, 17, {}},
    {"0xCC, 14 bytes", PacketCC(9, 1, 2, 0, 0), 14, true, 17, {}},
    {"0xCA, type byte only", CaMode17, 1, true, 17, {}},
};

TEST(IncomingPackets, EachPacketHasItsFateAndTheCallerStackIsBalanced) {
  GuardedBytes guarded = GuardedBytesMake();
  WhilePatched([&] {
    for (const PacketCase& c : PacketCases) {
      SCOPED_TRACE(c.Name);
      int32_t length = c.Length == Full ? static_cast<int32_t>(c.Bytes.size()) : c.Length;
      const uint8_t* packet = GuardedBytesPlace(guarded, c.Bytes.data(), length);
      ClientCell<uintptr_t>(Offset_PlayerUnit) =
          c.HasPlayer ? reinterpret_cast<uintptr_t>(&Player) : 0;
      Player.Mode = c.Mode;
      uint32_t from = HostJournal()->Count;

      CallInRegs regs = CallReceivePacket(packet, length);

      std::vector<std::string> calls;
      for (uint32_t i = from; i < HostJournal()->Count; ++i)
        calls.push_back(Describe(HostJournal()->Calls[i], reinterpret_cast<uint32_t>(packet)));
      EXPECT_EQ(c.Calls, calls);
      // The length is popped on every path; the caller's registers survive.
      EXPECT_EQ(4u, regs.StackPopped());
      EXPECT_EQ(MarkerEbx, regs.Ebx);
      EXPECT_EQ(MarkerEsi, regs.Esi);
      EXPECT_EQ(MarkerEdi, regs.Edi);
      EXPECT_EQ(MarkerEbp, regs.Ebp);
      bool toHost = !c.Calls.empty() && c.Calls[0].compare(0, 4, "host") == 0;
      if (!toHost) {
        // Consumed: back at the caller with EAX, ECX and EDX as they went in.
        EXPECT_EQ(reinterpret_cast<uint32_t>(packet), regs.Eax);
        EXPECT_EQ(0xC0C0C0C0u, regs.Ecx);
        EXPECT_EQ(0xD0D0D0D0u, regs.Edx);
      }
    }
  });
  GuardedBytesFree(&guarded);
}

// The host's handling sees the packet as delivered and the caller's EBX and EDI, and its
// own result comes back to the caller.
TEST(IncomingPackets, HostHandlingSeesTheCallerRegistersAndReturnsItsResult) {
  GuardedBytes guarded = GuardedBytesMake();
  std::vector<uint8_t> bytes = {0x10, 0x20, 0x30};
  WhilePatched([&] {
    const uint8_t* packet = GuardedBytesPlace(guarded, bytes.data(), 3);
    HostSetResult("ReceivePacketFunc", 0x600D);
    uint32_t from = HostJournal()->Count;
    CallInRegs regs = CallReceivePacket(packet, 3);
    ASSERT_EQ(from + 1, HostJournal()->Count);
    const HostCallRecord& host = HostJournal()->Calls[from];
    EXPECT_STREQ("ReceivePacketFunc", host.Function);
    EXPECT_EQ(MarkerEbx, host.Ebx);
    EXPECT_EQ(MarkerEdi, host.Edi);
    ASSERT_EQ(3u, host.DataSize);
    EXPECT_EQ(0, memcmp(bytes.data(), host.Data, 3));
    EXPECT_EQ(0x600Du, regs.Eax);
    EXPECT_EQ(4u, regs.StackPopped());
  });
  GuardedBytesFree(&guarded);
}
