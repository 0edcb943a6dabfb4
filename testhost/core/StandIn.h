// What the stand-in modules use of zvhost.dll beyond the public journal and script.
#pragma once

#include "testhost/HostJournal.h"

// Vusk's allocator: a block filled with 0xCD (the host does not clear), tracked until freed.
ZVHOST_API void* HostAllocateBlock(uint32_t size);
// False for a block that is not live (a double or foreign release); nothing is freed then.
ZVHOST_API bool HostReleaseBlock(void* block);
ZVHOST_API void HostResetScript();

// An argument as the 32-bit value the host passed: a pointer's address or an integer.
template <typename T>
inline uint32_t ArgumentValue(T* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}
template <typename T>
inline uint32_t ArgumentValue(T value) {
  return static_cast<uint32_t>(value);
}

// Records a call with up to eight 32-bit arguments.
template <typename... A>
inline HostCallRecord* RecordCall(const char* function, A... args) {
  const uint32_t values[sizeof...(A) + 1] = {ArgumentValue(args)..., 0};
  return HostRecordCall(function, sizeof...(A), values);
}
