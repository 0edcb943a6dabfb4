// Replaces one entry of this executable's import table, so that code linked into a test
// calls the test's function instead of the platform's. The slot is named by its import
// symbol, e.g. extern "C" void* ImpSleep __asm__("__imp__Sleep@4").
#pragma once

// Stores `hook` in the slot and returns what the slot held before.
void* ReplaceImport(void** slot, void* hook);
