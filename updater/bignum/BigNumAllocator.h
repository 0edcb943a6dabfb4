// The two calls through which the big-number routines get and release their blocks.
// They are malloc and free; tests replace them to make a chosen allocation fail and to
// count the blocks still held. Nothing in the launcher changes them.
#pragma once
#include <cstddef>

extern void* (*BigNumAllocator)(size_t size);
extern void (*BigNumReleaser)(void* block);
