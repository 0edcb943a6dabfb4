#include "Orlavex/PacketIn.h"

#include "Orlavex/HostBinding.h"

#include <cstring>

// The mode the 0xCA and 0xCB packets set when they find the player down (UnitModeDown)
// and bring a non-zero life.
enum : int32_t { UnitModeRevived = 5 };

// Stat numbers of SetUnitStat.
enum : int32_t {
  StatLife = 6,  // what the stat text shows on the left; never 0 for a living player
  Stat8 = 8,
  Stat10 = 10,
  Stat26 = 26,
  Stat74 = 74,
};

// One stat a packet sets: an int32 of whole units that the host keeps in 1/256 units, or a
// byte stored as it is.
struct PacketStatField {
  int32_t Stat;
  int32_t Offset;
  bool WholeUnits;
};

enum { PacketStatFieldMax = 5 };

// The layout of a packet the plug-in handles itself: its stats in the order they are set,
// then position x, position y (int32 each) and the target offsets dx, dy (signed bytes).
struct PluginPacketRow {
  uint8_t Type;
  int32_t Size;
  int32_t StatCount;
  PacketStatField Stats[PacketStatFieldMax];
  int32_t PositionOffset;
  bool Revives;  // a non-zero stat 6 brings a player that is down back
};

static const PluginPacketRow PluginPackets[] = {
    // type, stat 6, 8, 10 (int32 whole units), stat 74, 26 (uint8), x, y, dx, dy
    {0xCA,
     PacketCASize,
     5,
     {{StatLife, 1, true},
      {Stat8, 5, true},
      {Stat10, 9, true},
      {Stat74, 13, false},
      {Stat26, 14, false}},
     15,
     true},
    // 0xCA without the two byte-sized stats.
    {0xCB, PacketCBSize, 3, {{StatLife, 1, true}, {Stat8, 5, true}, {Stat10, 9, true}}, 13, true},
    // type, stat 10 (int32 whole units), x, y, dx, dy; no mode step
    {0xCC, PacketCCSize, 1, {{Stat10, 1, true}}, 5, false},
};

// Wire fields are little-endian and unaligned.
static int32_t ReadInt32(const uint8_t* field) {
  int32_t value;
  memcpy(&value, field, sizeof(value));
  return value;
}

// Whole units are shifted left by 8 and their top 8 bits are lost. Returns the stored
// 32-bit value.
static uint32_t SetPacketStat(UnitRecord* unit, const PacketStatField& field,
                              const uint8_t* packet) {
  uint32_t stored = field.WholeUnits ? static_cast<uint32_t>(ReadInt32(packet + field.Offset)) << 8
                                     : packet[field.Offset];
  SetUnitStat(unit, field.Stat, static_cast<int32_t>(stored), 0);
  return stored;
}

static void MovePlayer(UnitRecord* unit, const uint8_t* position) {
  uint32_t x = static_cast<uint32_t>(ReadInt32(position));
  uint32_t y = static_cast<uint32_t>(ReadInt32(position + 4));
  int8_t dx = static_cast<int8_t>(position[8]);
  int8_t dy = static_cast<int8_t>(position[9]);
  // The host's coordinates wrap as 32-bit values; unsigned sums keep that defined.
  HostCallMoveUnit(MoveUnit, reinterpret_cast<uintptr_t>(unit), static_cast<int32_t>(x),
                   static_cast<int32_t>(y), 0, static_cast<int32_t>(x + static_cast<uint32_t>(dx)),
                   static_cast<int32_t>(y + static_cast<uint32_t>(dy)));
}

// The length has been checked against row.Size: every field lies inside the packet.
static void HandlePluginPacket(const PluginPacketRow& row, const uint8_t* packet) {
  UnitRecord* unit = LocalPlayerUnit();
  if (unit == nullptr) return;
  uint32_t storedLife = 0;
  for (int32_t i = 0; i < row.StatCount; ++i) {
    uint32_t stored = SetPacketStat(unit, row.Stats[i], packet);
    if (row.Stats[i].Stat == StatLife) storedLife = stored;
  }
  MovePlayer(unit, packet + row.PositionOffset);
  // The mode is read after the move: it is the host's current mode that decides.
  if (!row.Revives || storedLife == 0 || unit->Mode != UnitModeDown) return;
  HostCallEsiEdi(SetUnitMode, reinterpret_cast<uintptr_t>(unit), UnitModeRevived);
  HostCallEsi(RefreshUnit, reinterpret_cast<uintptr_t>(unit));
}

int32_t DispatchServerPacket(const uint8_t* packet, int32_t length) {
  if (length <= 0) return 0;
  uint8_t type = packet[0];
  if (type < FirstPluginPacketType) return 1;
  for (const PluginPacketRow& row : PluginPackets) {
    if (row.Type != type) continue;
    if (length >= row.Size) HandlePluginPacket(row, packet);
    return 0;
  }
  return 0;
}
