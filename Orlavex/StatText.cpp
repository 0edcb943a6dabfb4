#include "Orlavex/StatText.h"

#include "Orlavex/ClientEntry.h"
#include "Orlavex/HostBinding.h"

enum {
  StatTextSize = 100,             // 16-bit characters, the host's buffer for a formatted text
  FormatSize = 2 * StatTextSize,  // a template made safe; see SafeFormat
  TemplateLeft = 4165,            // stat 6 and its maximum
  TemplateRight = 4166,           // stat 8 and its maximum
  StatLeft = 6,
  StatRight = 8,
  FractionBits = 8,  // the host keeps these stats in 1/256 units
  ColourPlain = 0,
  TemplateValues = 2,  // each template is given the value and then the maximum
};

// Corner regions, inclusive. The left one is measured from the left edge, the right one
// from the right edge (W - 111 to W - 31), both from the bottom edge (H - 75 to H - 15).
enum {
  LeftRegionLeft = 30,
  LeftRegionRight = 110,
  RightRegionLeftInset = 111,
  RightRegionRightInset = 31,
  RegionTopInset = 75,
  RegionBottomInset = 15,
  TextInset = 95,    // texts drawn at H - 95
  LeftCentre = 65,   // left text centred on x = 65 ...
  RightCentre = 65,  // ... the right one on W - 65
  EdgeMargin = 5,    // and kept this far inside the edges
};

// What the template may hold of one conversion: flags, then a width and a precision of at
// most this many digits each.
enum { ConversionFlagsMax = 4, ConversionDigitsMax = 2 };

// Cursor, screen and bounds are compared unsigned, as the host does: a cursor off the
// screen to the left or above is a huge value and lies in no region.
static bool InRange(uint32_t value, uint32_t low, uint32_t high) {
  return value >= low && value <= high;
}

static bool IsDigit(UnicodeChar c) { return c >= L'0' && c <= L'9'; }

// The length of the conversion that starts at percent ('%'), when it takes one 32-bit integer
// and nothing else: %d, %i, %u, %x or %X with flags, width, precision and an 'l' of a
// 32-bit long. 0 for anything else (%s, %n, %c, %*d, %lld, %f, positional arguments, ...).
static int32_t IntegerConversionLength(const UnicodeChar* percent) {
  int32_t at = 1;
  for (int32_t flags = 0; flags < ConversionFlagsMax; ++flags, ++at) {
    UnicodeChar c = percent[at];
    if (c != L'-' && c != L'+' && c != L' ' && c != L'0' && c != L'#') break;
  }
  for (int32_t digits = 0; digits < ConversionDigitsMax && IsDigit(percent[at]); ++digits) ++at;
  if (percent[at] == L'.') {
    ++at;
    for (int32_t digits = 0; digits < ConversionDigitsMax && IsDigit(percent[at]); ++digits) ++at;
  }
  if (percent[at] == L'l') ++at;
  switch (percent[at]) {
    case L'd':
    case L'i':
    case L'u':
    case L'x':
    case L'X':
      return at + 1;
    default:
      return 0;
  }
}

// The host's template for the host's sprintf, made safe: translators edit these strings,
// and a template is never trusted as a format. Only the first TemplateValues integer
// conversions stay conversions (the values supplied); "%%" stays a percent sign; every other
// '%' is doubled so that it is drawn as it stands. A template that does not fit format is
// cut, the terminator kept; the drawn text holds fewer characters than format anyway.
static void SafeFormat(UnicodeChar* format, int32_t size, const UnicodeChar* text) {
  int32_t out = 0;
  int32_t conversions = 0;
  for (int32_t in = 0; text[in] != 0;) {
    int32_t length = 1;  // characters taken from the template
    bool doubled = false;
    if (text[in] == L'%') {
      if (text[in + 1] == L'%') {
        length = 2;
      } else {
        int32_t conversion = conversions < TemplateValues ? IntegerConversionLength(text + in) : 0;
        if (conversion > 0) {
          length = conversion;
          ++conversions;
        } else {
          doubled = true;
        }
      }
    }
    int32_t written = doubled ? 2 : length;
    if (out + written >= size) break;
    if (doubled) format[out++] = L'%';
    for (int32_t i = 0; i < length; ++i) format[out++] = text[in + i];
    in += length;
  }
  format[out] = 0;
}

static void FormatStatText(UnicodeChar* text, int32_t templateNumber, uint32_t value,
                           uint32_t maximum) {
  UnicodeChar format[FormatSize];
  SafeFormat(format, FormatSize, GetLocalizedText(templateNumber));
  UnicodeSprintf(StatTextSize, text, format, value, maximum);
}

void DrawStatText() {
  UnitRecord* unit = LocalPlayerUnit();
  if (unit == nullptr) return;
  uint32_t mouseX = HostCell<uint32_t>(MouseX);
  uint32_t mouseY = HostCell<uint32_t>(MouseY);
  uint32_t width = HostCell<uint32_t>(ScreenWidth);
  uint32_t height = HostCell<uint32_t>(ScreenHeight);
  bool always = ClientLaunchSettings != nullptr && ClientLaunchSettings->StatTextAlwaysShown != 0;
  bool inRows = InRange(mouseY, height - RegionTopInset, height - RegionBottomInset);
  int32_t textY = static_cast<int32_t>(height) - TextInset;

  if (always || (inRows && InRange(mouseX, LeftRegionLeft, LeftRegionRight))) {
    uint32_t value = HostCallEax(GetPlayerStat, StatLeft) >> FractionBits;
    uint32_t maximum = GetStat6Max(unit) >> FractionBits;
    // A living player never shows 0 here; only a player that is down may.
    if (unit->Mode != UnitModeDown && value == 0) value = 1;
    UnicodeChar text[StatTextSize] = {};
    FormatStatText(text, TemplateLeft, value, maximum);
    int32_t textWidth = GetTextWidth(text);
    int32_t x = LeftCentre - (textWidth >> 1);
    if (x < EdgeMargin) x = EdgeMargin;
    DrawUiText(text, x, textY, ColourPlain, 0);
  }

  if (always ||
      (inRows && InRange(mouseX, width - RightRegionLeftInset, width - RightRegionRightInset))) {
    uint32_t value = HostCallEax(GetPlayerStat, StatRight) >> FractionBits;
    uint32_t maximum = GetStat8Max(unit) >> FractionBits;
    UnicodeChar text[StatTextSize] = {};
    FormatStatText(text, TemplateRight, value, maximum);
    int32_t textWidth = GetTextWidth(text);
    int32_t centred = static_cast<int32_t>(width) - RightCentre - (textWidth >> 1);
    int32_t inside = static_cast<int32_t>(width) - textWidth - EdgeMargin;
    DrawUiText(text, centred < inside ? centred : inside, textY, ColourPlain, 0);
  }
}
