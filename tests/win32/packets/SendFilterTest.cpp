// The outgoing packet filter, entered through the host's own send function with the patches
// in place and the plug-in's clock in the test's hand: what reaches the sender, what is
// dropped as a repeat, the host's counters and the result the host gets.
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstring>

#include <functional>
#include <string>
#include <vector>

static uint32_t& BytesSent() { return ClientCell<uint32_t>(Offset_BytesSent); }
static uint32_t& PacketsSent() { return ClientCell<uint32_t>(Offset_PacketsSent); }

static const int32_t WholePacket = -1;
static const bool Sent = true;
static const bool Dropped = false;

struct SendStep {
  uint32_t At;  // ms after the scenario's start
  std::vector<uint8_t> Bytes;
  bool HandedToSender;
  uint32_t SenderResult = 1;   // what SendToServer answers
  int32_t Size = WholePacket;  // WholePacket: Bytes.size()
};

struct SendScenario {
  std::string Name;
  std::vector<SendStep> Steps;
  uint32_t Start = 0;  // 0: far enough after the previous scenario
};

static std::vector<uint8_t> Pattern(uint8_t type, size_t size) {
  std::vector<uint8_t> p(size);
  for (size_t i = 0; i < size; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
  p[0] = type;
  return p;
}

// Before each scenario a type-58 packet of 511 zero bytes is sent well outside every window,
// so that every scenario starts from the same stored bytes and time, whatever ran before.
static void RunScenario(const SendScenario& scenario, uint32_t start) {
  SCOPED_TRACE(scenario.Name);
  static uint8_t prime[511];
  prime[0] = 58;
  ClockSet(start - 1000);
  CallSendPacket(prime, sizeof(prime));

  static uint8_t packet[512];  // the host's buffer; the sender must get a copy of its own
  for (const SendStep& step : scenario.Steps) {
    SCOPED_TRACE("step at " + std::to_string(step.At));
    uint32_t size = step.Size == WholePacket ? static_cast<uint32_t>(step.Bytes.size())
                                             : static_cast<uint32_t>(step.Size);
    memset(packet, 0xEE, sizeof(packet));
    memcpy(packet, step.Bytes.data(), step.Bytes.size());
    ClockSet(start + step.At);
    HostSetResult("SendToServer", step.SenderResult);
    uint32_t bytesBefore = BytesSent();
    uint32_t packetsBefore = PacketsSent();
    uint32_t from = HostJournal()->Count;

    CallInRegs regs = CallSendPacket(packet, size);

    std::vector<const HostCallRecord*> sends;
    for (uint32_t i = from; i < HostJournal()->Count; ++i) {
      const HostCallRecord& call = HostJournal()->Calls[i];
      EXPECT_STRNE("SendPacketFunc", call.Function) << "the host's own send body ran";
      if (strcmp(call.Function, "SendToServer") == 0) sends.push_back(&call);
    }
    ASSERT_EQ(step.HandedToSender ? 1u : 0u, sends.size());
    bool counted = step.HandedToSender && step.SenderResult != 0;
    if (step.HandedToSender) {
      const HostCallRecord& send = *sends[0];
      EXPECT_EQ(size, send.Args[0]);
      EXPECT_EQ(1u, send.Args[1]);
      EXPECT_NE(reinterpret_cast<uint32_t>(packet), send.Args[2]);
      ASSERT_EQ(size, send.DataSize);
      EXPECT_EQ(0, memcmp(packet, send.Data, size));
      EXPECT_EQ(step.SenderResult, regs.Eax);
    } else {
      EXPECT_NE(0u, regs.Eax) << "a dropped repeat is not a failure";
    }
    EXPECT_EQ(bytesBefore + (counted ? size : 0), BytesSent());
    EXPECT_EQ(packetsBefore + (counted ? 1 : 0), PacketsSent());
    // The packet is popped; EBX (the size), ESI, EDI and EBP are the caller's.
    EXPECT_EQ(4u, regs.StackPopped());
    EXPECT_EQ(size, regs.Ebx);
    EXPECT_EQ(MarkerEsi, regs.Esi);
    EXPECT_EQ(MarkerEdi, regs.Edi);
    EXPECT_EQ(MarkerEbp, regs.Ebp);
  }
}

static void RunScenarios(const std::vector<SendScenario>& scenarios) {
  WhilePatchedOnTestClock([&] {
    BytesSent() = 1000;
    PacketsSent() = 10;
    uint32_t start = 0x10000;
    for (const SendScenario& scenario : scenarios) {
      start += 100000;
      RunScenario(scenario, scenario.Start != 0 ? scenario.Start : start);
    }
  });
}

static const std::vector<uint8_t> P5 = {5, 1, 2};

TEST(SendFilter, RepeatsAndWindows) {
  RunScenarios({
      {"type 5 49 ms apart: the second is dropped", {{0, P5, Sent}, {49, P5, Dropped}}},
      {"type 5 50 ms apart: both are sent", {{0, P5, Sent}, {50, P5, Sent}}},
      {"type 20 at 199 and 200 ms",
       {{0, {20, 9}, Sent}, {199, {20, 9}, Dropped}, {200, {20, 9}, Sent}}},
      {"type 58 back to back: never compared",
       {{0, {58, 1}, Sent}, {0, {58, 1}, Sent}, {0, {58, 1}, Sent}}},
      // Were the type-58 packet not stored, the third packet would repeat the first.
      {"type 58 becomes the stored packet",
       {{0, {5, 1}, Sent}, {20, {58, 1}, Sent}, {30, {5, 1}, Sent}}},
      {"different types never match", {{0, P5, Sent}, {1, {6, 1, 2}, Sent}, {2, P5, Sent}}},
      {"a shorter packet equal to the stored prefix is a repeat",
       {{0, {20, 1, 2, 3}, Sent}, {10, {20, 1}, Dropped}, {20, {20, 1, 3}, Sent}}},
      // The stored bytes beyond the last packet are what older, longer packets left.
      {"a longer packet is compared with the stale stored bytes",
       {{0, {21, 1, 2, 3, 4, 5, 6, 7}, Sent},
        {300, {21, 9}, Sent},
        {310, {21, 9, 2, 3}, Dropped},
        {320, {21, 9, 2, 4}, Sent}}},
      {"a longer packet matches the zero bytes left by the start packet",
       {{0, {22}, Sent}, {10, {22, 0, 0}, Dropped}, {20, {22, 0, 1}, Sent}}},
      {"size 0 inside its window is dropped", {{0, {5, 1}, Sent}, {10, {5}, Dropped, 1, 0}}},
      {"size 0 outside its window is sent and counted", {{0, {5, 1}, Sent}, {60, {5}, Sent, 1, 0}}},
      {"a failed send is still stored; its retry waits for the window",
       {{0, {5, 7}, Sent, 0}, {10, {5, 7}, Dropped}, {60, {5, 7}, Sent}}},
      {"the window runs from the last packet sent, not the last dropped",
       {{0, {5, 3}, Sent},
        {30, {5, 3}, Dropped},
        {60, {5, 3}, Sent},
        {90, {5, 3}, Dropped},
        {120, {5, 3}, Sent},
        {150, {5, 3}, Dropped}}},
      {"size 511 is accepted", {{0, Pattern(23, 511), Sent}, {10, Pattern(23, 511), Dropped}}},
      {"the sender's result comes back to the host", {{0, {30, 1}, Sent, 7}}},
      {"a wrap of the tick count is harmless",
       {{0, P5, Sent}, {40, P5, Dropped}, {50, P5, Sent}},
       0xFFFFFFE0},
  });
}

// Every type against its window: sent, repeated one millisecond inside the window (dropped),
// repeated at the window's end (sent).
TEST(SendFilter, WindowByType) {
  std::vector<SendScenario> scenarios;
  for (int type = 0; type < 256; ++type) {
    if (type == 58) continue;
    bool shortWindow = (type >= 5 && type <= 10) || (type >= 12 && type <= 17);
    uint32_t window = shortWindow ? 50 : 200;
    std::vector<uint8_t> p = {static_cast<uint8_t>(type), 0x42};
    scenarios.push_back({"type " + std::to_string(type),
                         {{0, p, Sent}, {window - 1, p, Dropped}, {window, p, Sent}}});
  }
  RunScenarios(scenarios);
}

// A packet of size 0 has no type byte: the host's pointer may lead anywhere, here to a
// no-access page. It is held to the stored packet's window (none of its bytes differ).
TEST(SendFilter, ASizeZeroPacketReadsNoByteAndFollowsTheStoredPacketsWindow) {
  GuardedBytes guarded = GuardedBytesMake();
  const uint8_t* nothing = GuardedBytesPlace(guarded, nullptr, 0);
  struct {
    const char* Name;
    std::vector<uint8_t> Stored;
    uint32_t After;  // ms after the stored packet
    bool Sent;
  } const cases[] = {
      {"inside the 50 ms of type 5", {5, 1}, 49, false},
      {"after the 50 ms of type 5", {5, 1}, 50, true},
      {"inside the 200 ms of type 20", {20, 1}, 199, false},
      {"type 58 is never compared", {58, 1}, 0, true},
  };
  WhilePatchedOnTestClock([&] {
    uint32_t start = 0x20000;
    for (const auto& c : cases) {
      start += 100000;
      ClockSet(start);
      CallSendPacket(c.Stored.data(), static_cast<uint32_t>(c.Stored.size()));
      ClockSet(start + c.After);
      HostJournalClear();
      CallInRegs regs = CallSendPacket(nothing, 0);
      std::vector<const HostCallRecord*> sends = CallsOf(HostJournal(), "SendToServer");
      ASSERT_EQ(c.Sent ? 1u : 0u, sends.size()) << c.Name;
      if (c.Sent) {
        EXPECT_EQ(0u, sends[0]->Args[0]) << c.Name;
      }
      EXPECT_NE(0u, regs.Eax) << c.Name;
      EXPECT_EQ(4u, regs.StackPopped()) << c.Name;
    }
  });
  GuardedBytesFree(&guarded);
}

// An oversize packet ends the process through the host's fatal report; nothing is sent.
static void ExpectFatalSize(uint32_t size) {
  if (InChildProcess()) {
    static uint8_t packet[1024] = {21, 1};
    WhilePatchedOnTestClock([&] { CallSendPacket(packet, size); });
    return;  // not reached: the fatal path ends the process
  }
  ChildRun run = RunThisTestInChild();
  EXPECT_EQ(static_cast<uint32_t>(-1), run.ExitCode);
  int report = FindCall(run.Journal, "ReportFatalError");
  int line = FindCall(run.Journal, "ErrorFromLine");
  ASSERT_GE(line, 0);
  ASSERT_GT(report, line);
  const HostCallRecord& error = run.Journal->Calls[line];
  const HostCallRecord& fatal = run.Journal->Calls[report];
  EXPECT_EQ(18u, error.Args[0]);
  EXPECT_EQ(error.Result, fatal.Args[1]);
  EXPECT_EQ(18u, fatal.Args[2]);
  EXPECT_EQ(L"", std::wstring(fatal.Text));
  EXPECT_EQ(-1, FindCall(run.Journal, "SendToServer"));
  EXPECT_EQ(-1, FindCall(run.Journal, "ClientStop")) << "the process ends inside the loop";
}

TEST(SendFilter, Size512IsFatal) { ExpectFatalSize(512); }
TEST(SendFilter, SizeAbove2GIsFatal) { ExpectFatalSize(0x80000000u); }

// Right after loading, the stored packet is all zero bytes and its time 0: while the tick
// count is still inside the window, a packet of zero bytes is a repeat.
TEST(SendFilter, FirstPacketAfterLoadingInsideTheWindowIsComparedWithZeroBytes) {
  if (InChildProcess()) {
    static uint8_t zeros[3] = {0, 0, 0};
    static uint8_t other[3] = {0, 0, 1};
    WhilePatchedOnTestClock([&] {
      ClockSet(10);
      CallSendPacket(zeros, sizeof(zeros));
      CallSendPacket(other, sizeof(other));
    });
    return;
  }
  ChildRun run = RunThisTestInChild();
  EXPECT_EQ(0u, run.ExitCode);
  std::vector<const HostCallRecord*> sends = CallsOf(run.Journal, "SendToServer");
  ASSERT_EQ(1u, sends.size());
  EXPECT_EQ(1, sends[0]->Data[2]);
}
