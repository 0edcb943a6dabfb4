// The outgoing packet filter: takes over the host's whole send function, sends through
// ZVNet, keeps the host's byte and packet counters, and drops a packet that repeats the
// last one sent within its type's window.
#pragma once

#include <cstdint>

// The largest packet is one byte below this; the stored copy and the send buffer have
// exactly this size. The host's code is built for it, so a larger size is fatal.
enum : uint32_t { SendBufferSize = 512 };

// Source line given to the host's fatal report for an oversize packet.
enum : int32_t { OversizePacketLine = 18 };

// Entered through the jump at SendPacketFunc, exactly as the host enters that function:
// packet address as the one stack argument, popped on return; size in bytes in EBX; result
// in EAX. EBX, ESI, EDI and EBP are kept. Defined in HostAdapters.S; not callable from C++.
extern "C" void SendPacketFilteredEntry();

// Result: zero only when the sender reported failure; the sender's own non-zero result when
// the packet was sent; 1 when it was dropped as a repeat. A size of SendBufferSize or more
// ends the process through the host's fatal report (line 18, exit code -1). No byte beyond
// size is read: a packet of size 0 is held to the stored packet's window.
extern "C" int32_t __cdecl SendPacketFiltered(const uint8_t* packet, uint32_t size);
