// What one frame of the demo session put on the screen, and its drawing as an ImageMagick
// vector description (MVG) that `convert` turns into a picture.
//
// The stand-in ZVWin.dll measures every text at a fixed width per character (the session
// sets 7 pixels, HostSetCharWidth), so the picture uses DejaVu Sans Mono at the size
// whose advance is 7 pixels: a text then takes on the picture the width the plug-in was
// told it has, and the cuts and centring the plug-in made can be seen as they were made.
// Text positions are the ones DrawUiText received, x as the text's left end and y as its
// baseline (then the dividers, 19 pixels above a row, fall between the rows, and the hover
// text sits on top of its button). What the host draws itself (panel, row buttons,
// dividers) is only sketched, at the positions the plug-in handed it plus the host's
// layout offset.
#pragma once

#include <cstdint>

#include <string>
#include <vector>

struct PictureText {
  std::string Text;
  int32_t X, Y, Colour;
};

struct PictureButton {
  int32_t X, Y, Frame, Number;
};

struct FramePicture {
  std::string Caption;
  int32_t ScreenWidth, ScreenHeight;
  int32_t DisplayMode;
  int32_t UiOffsetX, UiOffsetY;  // the host's layout offsets as the frame left them
  int32_t MouseX, MouseY;
  bool PanelOpen;
  std::vector<PictureText> Texts;  // every DrawUiText, in order
  bool Hover;
  PictureText HoverText;               // SetHoverText with a text
  std::vector<int32_t> Dividers;       // DrawPartyDivider y values (unshifted, as passed)
  std::vector<PictureButton> Buttons;  // the row records' buttons (unshifted, as stored)
  int32_t RowsDrawn;                   // DrawPartyRow calls
};

// Pixels per character of the stand-in's text measure, and the font that matches it.
enum { PictureCharWidth = 7 };

// Writes the frame as MVG (a viewbox of the screen's size). False when the file cannot be
// written.
bool WriteFramePicture(const FramePicture& frame, const char* path);
