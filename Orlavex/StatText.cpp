#include "Orlavex/StatText.h"

#include "Orlavex/ClientEntry.h"
#include "Orlavex/HostBinding.h"

namespace {

enum {
  StatTextSize = 100,    // 16-bit characters, the host's buffer for a formatted text
  TemplateLeft = 4165,   // stat 6 and its maximum
  TemplateRight = 4166,  // stat 8 and its maximum
  StatLeft = 6,
  StatRight = 8,
  ModeWithoutFloor = 17,  // the unit mode in which stat 6 may show 0
  FractionBits = 8,       // the host keeps these stats in 1/256 units
  ColourPlain = 0,
};

// Corner regions, inclusive, relative to the screen's edges.
enum {
  LeftRegionX0 = 30,
  LeftRegionX1 = 110,  // from the left edge
  RightRegionX0 = 111,
  RightRegionX1 = 31,  // W - 111 to W - 31
  RegionY0 = 75,
  RegionY1 = 15,     // H - 75 to H - 15
  TextRise = 95,     // texts drawn at H - 95
  LeftCentre = 65,   // left text centred on x = 65 ...
  RightCentre = 65,  // ... the right one on W - 65
  EdgeMargin = 5,    // and kept this far inside the edges
};

// Cursor, screen and bounds are compared unsigned, as the host does: a cursor off the
// screen to the left or above is a huge value and lies in no region.
bool InRange(uint32_t value, uint32_t low, uint32_t high) { return value >= low && value <= high; }

}  // namespace

void DrawStatText() {
  uintptr_t unit = HostCell<uintptr_t>(PlayerUnit);
  if (unit == 0) return;
  uint32_t mouseX = HostCell<uint32_t>(MouseX);
  uint32_t mouseY = HostCell<uint32_t>(MouseY);
  uint32_t width = HostCell<uint32_t>(ScreenWidth);
  uint32_t height = HostCell<uint32_t>(ScreenHeight);
  bool always = ClientLaunchSettings != nullptr && ClientLaunchSettings->StatTextAlwaysShown != 0;
  bool inRows = InRange(mouseY, height - RegionY0, height - RegionY1);
  int32_t textY = static_cast<int32_t>(height) - TextRise;

  if (always || (inRows && InRange(mouseX, LeftRegionX0, LeftRegionX1))) {
    uint32_t value = HostCallEax(GetPlayerStat, StatLeft) >> FractionBits;
    uint32_t maximum = GetStat6Max(reinterpret_cast<void*>(unit)) >> FractionBits;
    // A living player never shows 0 here; only in mode 17 may the value read 0.
    if (HostCell<int32_t>(unit + 0x10) != ModeWithoutFloor && value == 0) value = 1;
    UnicodeChar text[StatTextSize] = {};
    UnicodeSprintf(StatTextSize, text, GetLocalizedText(TemplateLeft), value, maximum);
    int32_t textWidth = GetTextWidth(text);
    int32_t x = LeftCentre - (textWidth >> 1);
    if (x < EdgeMargin) x = EdgeMargin;
    DrawUiText(text, x, textY, ColourPlain, 0);
  }

  if (always || (inRows && InRange(mouseX, width - RightRegionX0, width - RightRegionX1))) {
    uint32_t value = HostCallEax(GetPlayerStat, StatRight) >> FractionBits;
    uint32_t maximum = GetStat8Max(reinterpret_cast<void*>(unit)) >> FractionBits;
    UnicodeChar text[StatTextSize] = {};
    UnicodeSprintf(StatTextSize, text, GetLocalizedText(TemplateRight), value, maximum);
    int32_t textWidth = GetTextWidth(text);
    int32_t centred = static_cast<int32_t>(width) - RightCentre - (textWidth >> 1);
    int32_t inside = static_cast<int32_t>(width) - textWidth - EdgeMargin;
    DrawUiText(text, centred < inside ? centred : inside, textY, ColourPlain, 0);
  }
}
