#include "Orlavex/PacketIn.h"

#include "Orlavex/HostBinding.h"

#include <stddef.h>
#include <string.h>

namespace {

// The fields of the host's unit record that the packets touch.
struct HostUnitRecord {
  uint8_t Host00[0x0C];
  int32_t UnitId;  // 0x0C
  int32_t Mode;    // 0x10
};
static_assert(offsetof(HostUnitRecord, Mode) == 0x10, "host layout");

// The mode the host leaves a player in until the server revives it; set back to 5 by the
// 0xCA and 0xCB packets when they bring a non-zero stat 6.
enum : int32_t { UnitModeDown = 17, UnitModeRevived = 5 };

enum : int32_t {
  Stat6 = 6,
  Stat8 = 8,
  Stat10 = 10,
  Stat26 = 26,
  Stat74 = 74,
};

// Wire fields are little-endian and unaligned.
int32_t ReadInt32(const uint8_t* field) {
  int32_t value;
  memcpy(&value, field, sizeof(value));
  return value;
}

HostUnitRecord* LocalPlayer() {
  return reinterpret_cast<HostUnitRecord*>(HostCell<uintptr_t>(PlayerUnit));
}

// The packet carries whole units, the host keeps 1/256 units: the value is shifted left by
// 8 and its top 8 bits are lost. Returns the stored 32-bit value.
uint32_t SetWholeUnitStat(HostUnitRecord* unit, int32_t stat, const uint8_t* field) {
  uint32_t stored = static_cast<uint32_t>(ReadInt32(field)) << 8;
  SetUnitStat(unit, stat, static_cast<int32_t>(stored), 0);
  return stored;
}

// position x, position y (int32 each), then the target offsets dx, dy as signed bytes.
void MovePlayer(HostUnitRecord* unit, const uint8_t* position) {
  uint32_t x = static_cast<uint32_t>(ReadInt32(position));
  uint32_t y = static_cast<uint32_t>(ReadInt32(position + 4));
  int8_t dx = static_cast<int8_t>(position[8]);
  int8_t dy = static_cast<int8_t>(position[9]);
  // The host's coordinates wrap as 32-bit values; unsigned sums keep that defined.
  HostCallMoveUnit(MoveUnit, reinterpret_cast<uintptr_t>(unit), static_cast<int32_t>(x),
                   static_cast<int32_t>(y), 0, static_cast<int32_t>(x + static_cast<uint32_t>(dx)),
                   static_cast<int32_t>(y + static_cast<uint32_t>(dy)));
}

// The mode is read after the move: it is the host's current mode that decides.
void ReviveIfDown(HostUnitRecord* unit, uint32_t storedStat6) {
  if (storedStat6 == 0 || unit->Mode != UnitModeDown) return;
  HostCallEsiEdi(SetUnitMode, reinterpret_cast<uintptr_t>(unit), UnitModeRevived);
  HostCallEsi(RefreshUnit, reinterpret_cast<uintptr_t>(unit));
}

struct PluginPacketRow {
  uint8_t Type;
  int32_t Size;
  void (*Handle)(const uint8_t* packet);
};

const PluginPacketRow PluginPackets[] = {
    {0xCA, PacketCASize, HandlePacketCA},
    {0xCB, PacketCBSize, HandlePacketCB},
    {0xCC, PacketCCSize, HandlePacketCC},
};

}  // namespace

int32_t DispatchServerPacket(const uint8_t* packet, int32_t length) {
  if (length <= 0) return 0;
  uint8_t type = packet[0];
  if (type < FirstPluginPacketType) return 1;
  for (const PluginPacketRow& row : PluginPackets) {
    if (row.Type != type) continue;
    if (length >= row.Size) row.Handle(packet);
    return 0;
  }
  return 0;
}

// 0xCA: type, stat 6, 8, 10 (int32 whole units), stat 74, 26 (uint8), x, y (int32), dx, dy.
void HandlePacketCA(const uint8_t* packet) {
  HostUnitRecord* unit = LocalPlayer();
  if (unit == nullptr) return;
  uint32_t stat6 = SetWholeUnitStat(unit, Stat6, packet + 1);
  SetWholeUnitStat(unit, Stat8, packet + 5);
  SetWholeUnitStat(unit, Stat10, packet + 9);
  SetUnitStat(unit, Stat74, packet[13], 0);
  SetUnitStat(unit, Stat26, packet[14], 0);
  MovePlayer(unit, packet + 15);
  ReviveIfDown(unit, stat6);
}

// 0xCB: 0xCA without the two byte-sized stats.
void HandlePacketCB(const uint8_t* packet) {
  HostUnitRecord* unit = LocalPlayer();
  if (unit == nullptr) return;
  uint32_t stat6 = SetWholeUnitStat(unit, Stat6, packet + 1);
  SetWholeUnitStat(unit, Stat8, packet + 5);
  SetWholeUnitStat(unit, Stat10, packet + 9);
  MovePlayer(unit, packet + 13);
  ReviveIfDown(unit, stat6);
}

// 0xCC: type, stat 10 (int32 whole units), x, y (int32), dx, dy. No mode step.
void HandlePacketCC(const uint8_t* packet) {
  HostUnitRecord* unit = LocalPlayer();
  if (unit == nullptr) return;
  SetWholeUnitStat(unit, Stat10, packet + 1);
  MovePlayer(unit, packet + 5);
}
