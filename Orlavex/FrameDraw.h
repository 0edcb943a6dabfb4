// The per-frame interface draw routine that replaces the host's, reached through the
// rewritten call at FrameDrawCallSite.
#pragma once

#include <cstdint>

// The layout shift of the current display mode (80 and 60 in display mode 2, else 0),
// written by every frame that draws and added by the party panel to its text positions.
// 0 until the first frame; kept while flag 18 stops the drawing.
extern int32_t ScreenShiftX;
extern int32_t ScreenShiftY;

// Host contract: called by the host's call instruction with one 32-bit argument on the
// stack, which the routine pops (stdcall); no result. The argument goes to DrawStep42 only.
// Draws the host's interface layer in its fixed order under the panel flags, with the
// party panel (flag 22) and the stat value text in their places.
extern "C" void __stdcall FrameDrawRoutine(uint32_t argument);
