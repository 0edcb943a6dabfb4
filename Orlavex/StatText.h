// The values of stats 6 and 8 with their maxima, shown at the two bottom corners of the
// screen while the cursor rests there or in every frame with the always-show flag.
#pragma once

// Called once in every frame that the frame draw routine draws.
void DrawStatText();
