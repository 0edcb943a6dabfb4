#include "Orlavex/UI/ui.h"

#include "Orlavex/HostBinding.h"

#include <cstddef>
#include <cstring>

const char ShortItemCodeList[] = "ceh bet tes fed toa dhn bey mbr pk1 pk2 pk3 ";
const char LongItemCodeList[] =
    "ceh bet tes fed toa dhn bey mbr pk1 pk2 pk3 r01 r02 r03 r04 r05 r06 "
    "r07 r08 r09 r10 r11 r12 r13 r14 r15 r16 r17 r18 r19 r20 r21 r22 "
    "r23 r24 r25 r26 r27 r28 r29 r30 r31 r32 r33 ";
static_assert(sizeof(ShortItemCodeList) == 11 * 4 + 1, "11 codes and the end byte");
static_assert(sizeof(LongItemCodeList) == 44 * 4 + 1, "44 codes and the end byte");

// The host's item unit and item type records, read in place.
struct HostItem {
  uint8_t Host00[0x04];
  int32_t ClassNumber;  // 0x04
};
static_assert(offsetof(HostItem, ClassNumber) == 0x04, "host layout");

struct HostItemType {
  uint8_t Host00[0x80];
  uint32_t Code;  // 0x80: three characters and a space
};
static_assert(offsetof(HostItemType, Code) == 0x80, "host layout");

// Host item flags the colour depends on.
enum : int32_t { ListedItemFlag = 0x4A, FlaggedItemFlag = 0x100 };

// The host's checked flag test wants the caller's source position.
static const int32_t ItemColourSourceLine = 424;
static const char ItemColourSourcePath[] = "C:\\Brellix\\Source\\Orlavex\\UI\\ui";

static bool CodeInList(const char* list, uint32_t code) {
  for (const char* entry = list; entry[0] != 0; entry += 4) {
    uint32_t listed;
    memcpy(&listed, entry, sizeof(listed));
    if (listed == code) return true;
  }
  return false;
}

int32_t ChooseItemColor(void* item, int32_t colour) {
  if (TestItemFlag(item, ListedItemFlag) != 0) {
    colour = ListedItemColour;
  } else {
    const HostItemType* type = static_cast<const HostItemType*>(
        GetItemRecord(static_cast<const HostItem*>(item)->ClassNumber));
    if (type != nullptr && CodeInList(ShortItemCodeList, type->Code)) colour = ListedItemColour;
  }
  if (TestItemFlagChecked(item, FlaggedItemFlag, ItemColourSourceLine, ItemColourSourcePath) != 0)
    colour = FlaggedItemColour;
  return colour;
}

int32_t IsListedItemCode(uint32_t code) { return CodeInList(LongItemCodeList, code) ? 1 : 0; }
