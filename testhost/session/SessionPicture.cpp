#include "testhost/session/SessionPicture.h"

#include <cstdio>

// DejaVu Sans Mono advances 0.602 em per character: 11.63 px gives 7 px.
static const char Font[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
static const double FontSize = PictureCharWidth / 0.602;
static const double SmallFontSize = 9.0;

// The host's text colour numbers as the picture shows them.
static const char* ColourOf(int32_t colour) {
  switch (colour) {
    case 0:
      return "#e8e8e8";  // plain
    case 1:
      return "#ff6060";  // the player has relation bit 8 toward us
    case 2:
      return "#5fdc5f";  // our party
    case 8:
      return "#f2b800";  // another party
    default:
      return "#c080ff";
  }
}

// MVG text is single-quoted; quote and backslash are escaped.
static std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('\'');
  return out;
}

static void Text(FILE* out, int32_t x, int32_t y, const char* colour, double size,
                 const std::string& text) {
  fprintf(out, "fill '%s' font-size %.2f text %d,%d %s\n", colour, size, x, y,
          Quoted(text).c_str());
}

static void Box(FILE* out, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const char* stroke,
                const char* fill) {
  fprintf(out, "stroke '%s' fill '%s' rectangle %d,%d %d,%d\nstroke none\n", stroke, fill, x0, y0,
          x1, y1);
}

bool WriteFramePicture(const FramePicture& frame, const char* path) {
  FILE* out = fopen(path, "w");
  if (out == nullptr) return false;
  const int32_t W = frame.ScreenWidth, H = frame.ScreenHeight;
  // The host draws its own pieces (panel, buttons, dividers) with its layout offset.
  const int32_t hostX = frame.UiOffsetX, hostY = -frame.UiOffsetY;

  fprintf(out, "viewbox 0 0 %d %d\n", W, H);
  fprintf(out, "font '%s' stroke none\n", Font);
  Box(out, 0, 0, W - 1, H - 1, "#1a1e28", "#1a1e28");

  // Caption and legend.
  Text(out, 8, 18, "#ffffff", 13, frame.Caption);
  Text(out, 8, 34, "#9aa3b5", SmallFontSize,
       "texts: as the plug-in drew them (y = baseline); grey: the host's own pieces, sketched");
  int32_t lx = 8;
  const char* meaning[4] = {"0 plain", "1 relation bit 8 to us", "2 our party", "8 another party"};
  for (int i = 0; i < 4; ++i) {
    const int32_t colours[4] = {0, 1, 2, 8};
    Box(out, lx, 42, lx + 10, 52, ColourOf(colours[i]), ColourOf(colours[i]));
    Text(out, lx + 14, 51, "#9aa3b5", SmallFontSize, std::string("colour ") + meaning[i]);
    lx += 190;
  }
  Text(out, 30, H - 5, "#6a7690", SmallFontSize, "stat corner (life)");
  Text(out, W - 111, H - 5, "#6a7690", SmallFontSize, "stat corner (mana)");

  // The stat text corner regions (inclusive bounds).
  fprintf(out, "stroke '#4a5670' stroke-dasharray 4 3 fill none rectangle %d,%d %d,%d\n", 30,
          H - 75, 110, H - 15);
  fprintf(out, "rectangle %d,%d %d,%d\nstroke-dasharray none stroke none\n", W - 111, H - 75,
          W - 31, H - 15);

  if (frame.PanelOpen) {
    // Sketch of the host's own panel (PartyDrawA to F draw it in the game).
    Box(out, hostX + 4, hostY + 66, hostX + 336, hostY + 428, "#3c4660", "#222838");
    Text(out, hostX + 10, hostY + 77, "#7f8aa3", SmallFontSize, "party panel");
    // The host's hover button below the rows.
    Box(out, hostX + 278, hostY + 389, hostX + 310, hostY + 421, "#56627e", "#2c3448");
    Text(out, hostX + 290, hostY + 410, "#7f8aa3", 12, "?");
    for (int32_t y : frame.Dividers)
      fprintf(out, "stroke '#56627e' stroke-width 1 line %d,%d %d,%d\nstroke none\n", hostX + 10,
              hostY + y, hostX + 330, hostY + y);
    for (const PictureButton& button : frame.Buttons) {
      // Sketched on the name line: button 0 is the field behind the party-state text, the
      // others 13-pixel images showing their frame number.
      if (button.Number == 0) {
        Box(out, hostX + button.X, hostY + button.Y - 12, hostX + button.X + 54,
            hostY + button.Y + 1, "#46506a", "none");
        continue;
      }
      Box(out, hostX + button.X, hostY + button.Y - 11, hostX + button.X + 13, hostY + button.Y + 2,
          "#46506a", "#2a3144");
      Text(out, hostX + button.X + 1, hostY + button.Y - 1, "#8791aa", 8,
           std::to_string(button.Frame));
    }
  }

  for (const PictureText& text : frame.Texts)
    Text(out, text.X, text.Y, ColourOf(text.Colour), FontSize, text.Text);

  if (frame.Hover) {
    int32_t width = static_cast<int32_t>(frame.HoverText.Text.size()) * PictureCharWidth;
    int32_t x = frame.HoverText.X - width / 2;
    Box(out, x - 4, frame.HoverText.Y - 18, x + width + 4, frame.HoverText.Y - 2, "#b8a040",
        "#403a20");
    Text(out, x, frame.HoverText.Y - 6, "#ffe680", FontSize, frame.HoverText.Text);
  }

  // The cursor.
  const int32_t mx = frame.MouseX, my = frame.MouseY;
  fprintf(out, "stroke '#000000' fill '#ffffff' polygon %d,%d %d,%d %d,%d %d,%d\nstroke none\n", mx,
          my, mx, my + 16, mx + 4, my + 12, mx + 11, my + 11);
  bool written = ferror(out) == 0;
  return fclose(out) == 0 && written;
}
