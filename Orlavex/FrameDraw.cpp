#include "Orlavex/FrameDraw.h"

#include "Orlavex/HostBinding.h"
#include "Orlavex/StatText.h"
#include "Orlavex/UI/Party.h"

int32_t ScreenShiftX;
int32_t ScreenShiftY;

enum {
  ShiftedDisplayMode = 2,  // the display mode whose layout is shifted
  ShiftX = 80,
  ShiftY = 60,
  SuppressingDrawMode = 3,  // ClientDrawMode that leaves out steps 08, 37 and 38
};

// Panel flag n, read from host memory at the moment of the test: a draw step may change
// the flags that later tests read.
static bool Flag(int n) { return HostCell<int32_t>(UiPanelFlags + 4 * n) != 0; }

static bool DrawModeSuppresses() {
  return HostCell<int32_t>(ClientDrawMode) == SuppressingDrawMode;
}

extern "C" void __stdcall FrameDrawRoutine(uint32_t argument) {
  if (Flag(18)) return;

  if (GetDisplayMode() == ShiftedDisplayMode) {
    ScreenShiftX = ShiftX;
    ScreenShiftY = ShiftY;
  } else {
    ScreenShiftX = 0;
    ScreenShiftY = 0;
  }
  HostCell<int32_t>(UiOffsetX) = ScreenShiftX;
  HostCell<int32_t>(UiOffsetY) = -ScreenShiftY;
  SetHoverText(nullptr, 0, 0, 0, 0);
  HostCell<uint16_t>(FrameTextA) = 0;
  HostCell<uint16_t>(FrameTextB) = 0;

  if (Flag(9)) HostCall(DrawStep01);
  if (Flag(11)) HostCall(DrawStep02);
  HostCallStd1(DrawStep04, HostCall(DrawStep03));
  if (Flag(35)) HostCall(DrawStep05);
  if (!Flag(1) && !Flag(12) && !Flag(14)) {
    HostCall(DrawStep06);
    HostCall(DrawStep07);
  }
  if (Flag(10) && !DrawModeSuppresses()) HostCall(DrawStep08);
  HostCall(DrawStep09);
  HostCall(DrawStep10);
  if (Flag(19)) HostCall(DrawStep11);
  if (Flag(36)) HostCall(DrawStep12);
  if (Flag(37)) HostCall(DrawStep13);
  if (Flag(15)) HostCall(DrawStep14);
  if (Flag(1) || Flag(12) || Flag(14) || Flag(25) || Flag(26) || Flag(28) || Flag(29))
    HostCall(DrawStep15);
  if (Flag(23)) {
    HostCall(DrawStep16);
    HostCall(DrawStep15);
  }
  HostCall(DrawStep17);
  if (Flag(4)) HostCall(DrawStep18);
  if (Flag(2)) HostCall(DrawStep19);
  if (Flag(22)) DrawPartyPanel();
  uintptr_t extra = HostCell<uintptr_t>(UiExtraObject);
  if (extra != 0) HostCallEsi(DrawStep20, static_cast<uint32_t>(extra));
  if (Flag(16)) HostCall(DrawStep21);
  if (Flag(20)) HostCall(DrawStep22);
  if (Flag(33)) {
    HostCall(DrawStep23);
    HostCall(DrawStep24);
  }
  HostCall(DrawStep25);
  if (Flag(3)) HostCall(DrawStep26);
  if (Flag(31)) HostCell<int32_t>(PanelLatch31) = 1;
  HostCall(DrawStep27);
  if (Flag(34)) HostCall(DrawStep28);
  HostCall(Flag(6) ? DrawStep29 : DrawStep30);
  HostCall(Flag(7) ? DrawStep31 : DrawStep32);
  if (Flag(17)) HostCall(DrawStep33);
  DrawStatText();
  if (Flag(21)) HostCall(DrawStep34);
  if (Flag(5)) HostCall(DrawStep35);
  if (Flag(33)) HostCall(DrawStep36);
  if (Flag(13) && !DrawModeSuppresses()) {
    HostCall(DrawStep37);
    HostCall(DrawStep38);
  }
  if (Flag(8)) HostCall(DrawStep39);
  if (Flag(14)) HostCall(DrawStep40);
  HostCall(DrawStep41);
  HostCallEax(DrawStep42, argument);
  WinFrameStep();
  HostCall(DrawStep43);
  HostCall(DrawStep44);
  HostCall(DrawStep45);
  HostCall(DrawStep46);
  HostCall(DrawStep47);
  HostCall(DrawStep48);
}
