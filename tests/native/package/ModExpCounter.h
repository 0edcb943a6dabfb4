// Counts the package reader's exponentiations and makes one of them fail as if memory
// had run out. The test program is linked with --wrap for BigNumModExp, so the calls
// from zv_package reach the wrapper first.
#pragma once

extern int ModExpCalls;
extern int ModExpFailAt;  // the 1-based call that returns null; 0 for none
