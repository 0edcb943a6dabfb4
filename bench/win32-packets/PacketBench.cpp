// Cost per packet of the outgoing packet filter and the incoming packet dispatch, entered
// through the real patched sites of the stand-in host with the real Orlavex.dll, from
// inside the state loop. Prints one line per path: "<path>: <ns> ns/packet".
//
//   packet_bench [--smoke]      --smoke: a few iterations, only to show that it runs
//
// Paths that call host functions include the stand-in's own cost of journalling each call;
// the "journal" line gives that cost per host call for comparison.
#include "Orlavex/HostRecords.h"
#include "testhost/kit/HostKit.h"

#include <cstdio>
#include <cstring>

#include <functional>

static uint32_t Iterations = 200000;

static LARGE_INTEGER Frequency;

static double NowNs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e9 / static_cast<double>(Frequency.QuadPart);
}

// The journal holds 8192 calls; it is emptied between batches, outside the timed part.
static const uint32_t Batch = 1024;

static double Measure(const std::function<void(uint32_t i)>& once) {
  double total = 0;
  for (uint32_t done = 0; done < Iterations; done += Batch) {
    HostJournalClear();
    uint32_t count = Iterations - done < Batch ? Iterations - done : Batch;
    double start = NowNs();
    for (uint32_t i = 0; i < count; ++i) once(done + i);
    total += NowNs() - start;
  }
  return total / Iterations;
}

static void Report(const char* path, double ns) {
  printf("%-48s %10.1f ns/packet\n", path, ns);
  fflush(stdout);
}

static UnitRecord Player;

static void Run() {
  static uint8_t send[64] = {21, 1, 2, 3, 4, 5, 6, 7};
  static uint8_t other[64] = {22, 1, 2, 3, 4, 5, 6, 7};
  const uint32_t sendSize = 32;

  // Send filter: a repeat inside its window is dropped before anything reaches the host.
  ClockSet(1000000);
  CallSendPacket(send, sendSize);
  Report("send filter, repeat dropped (32 bytes)",
         Measure([&](uint32_t) { CallSendPacket(send, sendSize); }));

  // Send filter: alternating types never match; each packet is stored, copied and sent.
  Report("send filter, sent (32 bytes, incl. 1 host call)",
         Measure([&](uint32_t i) { CallSendPacket(i & 1 ? send : other, sendSize); }));

  // The same with the largest packet: the compare, the store and the copy over 511 bytes.
  static uint8_t big[511];
  for (uint32_t i = 0; i < sizeof(big); ++i) big[i] = static_cast<uint8_t>(i);
  ClockAdvance(1000);
  CallSendPacket(big, sizeof(big));
  Report("send filter, repeat dropped (511 bytes)",
         Measure([&](uint32_t) { CallSendPacket(big, sizeof(big)); }));
  Report("send filter, sent (511 bytes, incl. 1 host call)", Measure([&](uint32_t i) {
           ClockAdvance(200);
           big[1] = static_cast<uint8_t>(i);
           CallSendPacket(big, sizeof(big));
         }));

  // Incoming dispatch.
  ClientCell<uintptr_t>(Offset_PlayerUnit) = reinterpret_cast<uintptr_t>(&Player);
  static uint8_t consumed[25] = {0xC1};
  Report("incoming, consumed type 0xC1",
         Measure([&](uint32_t) { CallReceivePacket(consumed, sizeof(consumed)); }));
  static uint8_t host[25] = {0x10};
  Report("incoming, to the host (incl. 1 host call)",
         Measure([&](uint32_t) { CallReceivePacket(host, sizeof(host)); }));
  static uint8_t ca[25] = {0xCA, 1, 0,  0, 0, 2, 0,  0, 0, 3, 0, 0,   0,
                           4,    5, 10, 0, 0, 0, 20, 0, 0, 0, 1, 0xFF};
  Report("incoming, 0xCA (incl. 6 host calls)",
         Measure([&](uint32_t) { CallReceivePacket(ca, sizeof(ca)); }));
  static uint8_t shortCa[24] = {0xCA};
  Report("incoming, 0xCA shorter than its layout",
         Measure([&](uint32_t) { CallReceivePacket(shortCa, sizeof(shortCa)); }));

  // What the stand-in spends on one journalled call, to read the figures above against.
  const uint32_t args[4] = {1, 2, 3, 4};
  Report("journal: one recorded host call",
         Measure([&](uint32_t) { HostFinishCall(HostRecordCall("Bench", 4, args), 0); }));
}

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--smoke") == 0) Iterations = 2000;
  QueryPerformanceFrequency(&Frequency);
  bool ran = false;
  WhilePatchedOnTestClock([&] {
    Run();
    ran = true;
  });
  if (!ran) {
    fprintf(stderr, "packet_bench: the state loop never ran\n");
    return 1;
  }
  return 0;
}
