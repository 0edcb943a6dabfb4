// Server packets the host never sees: the hook at the start of the host's incoming-packet
// function and the dispatcher that decides each packet's fate and handles the three packets
// that set the local player's stats and move the player.
#pragma once

#include <cstdint>

// Wire sizes of the three packets the plug-in handles itself. A shorter packet is consumed
// without effect, so no field is ever read beyond the delivered bytes.
enum : int32_t {
  PacketCASize = 25,
  PacketCBSize = 23,
  PacketCCSize = 15,
};

// Types below this one belong to the host and go on to its own handling.
enum : uint8_t { FirstPluginPacketType = 0xAF };

// Entered through the jump at ReceivePacketFunc, exactly as the host enters that function:
// packet address in EAX, length as the one stack argument, popped on return; EAX is kept
// around the plug-in's own work. When DispatchServerPacket gives 1 the entry re-runs the
// three displaced host instructions (sub esp,1Ch; push esi; mov esi,[esp+24h]) and jumps to
// ReceivePacketResume with EAX still the packet; on 0 it returns to the host function's
// caller. ECX and EDX are kept as well, since the host function's body may read them.
// Defined in HostAdapters.S; not callable from C++.
extern "C" void IncomingPacketHook();

// 1: the host is to handle the packet; 0: the plug-in consumed it. A length of 0 or less
// (signed) consumes the packet without reading it.
extern "C" int32_t __cdecl DispatchServerPacket(const uint8_t* packet, int32_t length);
