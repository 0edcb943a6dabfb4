#include "Orlavex/SendFilter.h"

#include "Orlavex/FatalError.h"
#include "Orlavex/HostBinding.h"

#include <cstring>

#include <windows.h>

// The bytes of the last packet passed on to the sender, written from the start. No size is
// kept: bytes beyond that packet keep what older, longer packets left (or zero), and a
// longer packet is compared against them.
static uint8_t LastSentPacket[SendBufferSize];
// GetTickCount when LastSentPacket was last written.
static uint32_t LastSendTime;

// Window in milliseconds within which a repeat of the last packet is dropped.
enum : uint32_t {
  ShortRepeatWindow = 50,
  LongRepeatWindow = 200,
  NoRepeatWindow = 0,  // never compared, always sent
};

struct RepeatWindowRow {
  uint8_t FirstType;
  uint8_t LastType;
  uint32_t Window;
};

// Every type not listed here uses LongRepeatWindow.
static const RepeatWindowRow RepeatWindows[] = {
    {5, 10, ShortRepeatWindow},
    {12, 17, ShortRepeatWindow},
    {58, 58, NoRepeatWindow},
};

static uint32_t RepeatWindow(uint8_t type) {
  for (const RepeatWindowRow& row : RepeatWindows)
    if (type >= row.FirstType && type <= row.LastType) return row.Window;
  return LongRepeatWindow;
}

int32_t SendPacketFiltered(const uint8_t* packet, uint32_t size) {
  if (size >= SendBufferSize) FatalErrorAtLine(OversizePacketLine);

  uint32_t now = GetTickCount();
  // A packet of no bytes has no type byte to read; it repeats the stored packet's first
  // bytes (none differ), so the stored packet's window holds it.
  uint32_t window = RepeatWindow(size != 0 ? packet[0] : LastSentPacket[0]);
  // Unsigned difference: a wrap of the tick count is harmless. The window runs from the
  // last packet stored, not from the last one dropped.
  if (window != NoRepeatWindow && now - LastSendTime < window &&
      memcmp(packet, LastSentPacket, size) == 0)
    return 1;

  // Stored before the send and whatever its outcome: a failed packet retried at once is
  // still a repeat.
  memcpy(LastSentPacket, packet, size);
  LastSendTime = now;

  // The sender gets a copy of the call's own; the host's buffer is never handed on.
  uint8_t buffer[SendBufferSize];
  memcpy(buffer, packet, size);
  int32_t sent = SendToServer(size, 1, buffer);
  if (sent != 0) {
    HostCell<uint32_t>(BytesSent) = HostCell<uint32_t>(BytesSent) + size;
    HostCell<uint32_t>(PacketsSent) = HostCell<uint32_t>(PacketsSent) + 1;
  }
  return sent;
}
