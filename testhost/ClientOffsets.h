// Where things lie in the stand-in ZVClient.dll image, written out independently of the
// plug-in's own table so that a test can compare the two.
#pragma once

#include <cstdint>

enum ClientPlaceKind {
  PlaceData,      // a zeroed data cell
  PlaceCall0,     // a function: jump to a recording stub that pops nothing
  PlaceCall4,     // ... that pops one stack value
  PlaceCall16,    // ... that pops four stack values
  PlaceHostCode,  // host code or a patch site laid out by ClientImage.cpp
};

// name, offset, kind
#define TESTHOST_CLIENT_PLACES(X)                 \
  X(ClientLaunchSettingsPtr, 0x10D618, PlaceData) \
  X(ClientModuleHandle, 0x11C264, PlaceData)      \
  X(ClientModulePath, 0x10D500, PlaceData)        \
  X(ClientSetup, 0x36D50, PlaceCall0)             \
  X(ClientStart, 0x1A700, PlaceCall0)             \
  X(ClientWinCallback, 0x5D6D0, PlaceCall0)       \
  X(ClientState, 0xF1880, PlaceData)              \
  X(ClientStateHandlers, 0xF1884, PlaceData)      \
  X(ClientLoopFlag, 0xF18C0, PlaceData)           \
  X(ClientExitCode, 0x11C268, PlaceData)          \
  X(ClientSettingFlag, 0x11C32C, PlaceData)       \
  X(ClientStop, 0x1A6A0, PlaceCall0)              \
  X(ClientCleanup, 0xC39D0, PlaceCall0)           \
  X(FrameDrawCallSite, 0x32C8C, PlaceHostCode)    \
  X(SendPacketFunc, 0x5DE40, PlaceHostCode)       \
  X(ReceivePacketFunc, 0xBDF70, PlaceHostCode)    \
  X(ReceivePacketResume, 0xBDF78, PlaceHostCode)  \
  X(ItemColorCallSite, 0x78B80, PlaceHostCode)    \
  X(ItemCodeTestSite, 0x76BBA, PlaceHostCode)     \
  X(PartyListBuildFunc, 0xBC920, PlaceHostCode)   \
  X(UiPanelFlags, 0x1040C0, PlaceData)            \
  X(UiExtraObject, 0x1040A0, PlaceData)           \
  X(UiOffsetX, 0x11BEF8, PlaceData)               \
  X(UiOffsetY, 0x11BEFC, PlaceData)               \
  X(FrameTextA, 0x120CB0, PlaceData)              \
  X(FrameTextB, 0x1207F8, PlaceData)              \
  X(ClientDrawMode, 0x11C3E4, PlaceData)          \
  X(PanelLatch31, 0x11BA18, PlaceData)            \
  X(RosterHead, 0x11C33C, PlaceData)              \
  X(PlayerUnit, 0x11C1E0, PlaceData)              \
  X(PartyRowList, 0x11B9CC, PlaceData)            \
  X(PartyImageA, 0x11B9D4, PlaceData)             \
  X(PartyImageB, 0x11B9D8, PlaceData)             \
  X(MouseX, 0x11B418, PlaceData)                  \
  X(MouseY, 0x11B414, PlaceData)                  \
  X(DrawPartyDivider, 0xBA780, PlaceCall0)        \
  X(PartyDrawA, 0xBA800, PlaceCall0)              \
  X(PartyDrawB, 0xBB730, PlaceCall0)              \
  X(PartyDrawC, 0xBAF80, PlaceCall0)              \
  X(PartyDrawD, 0xBB690, PlaceCall0)              \
  X(PartyDrawE, 0xBB370, PlaceCall0)              \
  X(PartyDrawF, 0xBBF10, PlaceCall0)              \
  X(DrawPartyRow, 0xBBBD0, PlaceCall4)            \
  X(ScreenWidth, 0xF4FC4, PlaceData)              \
  X(ScreenHeight, 0xF4FC8, PlaceData)             \
  X(GetPlayerStat, 0xB53A0, PlaceCall0)           \
  X(MoveUnit, 0x6D260, PlaceCall16)               \
  X(SetUnitMode, 0x6D770, PlaceCall0)             \
  X(RefreshUnit, 0x4C7A0, PlaceCall0)             \
  X(BytesSent, 0x11C3B8, PlaceData)               \
  X(PacketsSent, 0x11C3C0, PlaceData)             \
  X(DrawStep01, 0x8EA10, PlaceCall0)              \
  X(DrawStep02, 0x2A100, PlaceCall0)              \
  X(DrawStep03, 0x2F950, PlaceCall0)              \
  X(DrawStep04, 0x63D50, PlaceCall4)              \
  X(DrawStep05, 0x64360, PlaceCall0)              \
  X(DrawStep06, 0xB6D50, PlaceCall0)              \
  X(DrawStep07, 0xB6E90, PlaceCall0)              \
  X(DrawStep08, 0x52B20, PlaceCall0)              \
  X(DrawStep09, 0x62670, PlaceCall0)              \
  X(DrawStep10, 0x6C8F0, PlaceCall0)              \
  X(DrawStep11, 0x6CB20, PlaceCall0)              \
  X(DrawStep12, 0x7F3B0, PlaceCall0)              \
  X(DrawStep13, 0x73D20, PlaceCall0)              \
  X(DrawStep14, 0xA8510, PlaceCall0)              \
  X(DrawStep15, 0x7D970, PlaceCall0)              \
  X(DrawStep16, 0xC32D0, PlaceCall0)              \
  X(DrawStep17, 0x64760, PlaceCall0)              \
  X(DrawStep18, 0x8B9A0, PlaceCall0)              \
  X(DrawStep19, 0x89320, PlaceCall0)              \
  X(DrawStep20, 0x23700, PlaceCall0)              \
  X(DrawStep21, 0x16D30, PlaceCall0)              \
  X(DrawStep22, 0x19F70, PlaceCall0)              \
  X(DrawStep23, 0x4A0F0, PlaceCall0)              \
  X(DrawStep24, 0x49290, PlaceCall0)              \
  X(DrawStep25, 0xB7920, PlaceCall0)              \
  X(DrawStep26, 0xA59E0, PlaceCall0)              \
  X(DrawStep27, 0xC2300, PlaceCall0)              \
  X(DrawStep28, 0x4A3B0, PlaceCall0)              \
  X(DrawStep29, 0xC17C0, PlaceCall0)              \
  X(DrawStep30, 0xC1A00, PlaceCall0)              \
  X(DrawStep31, 0xC14D0, PlaceCall0)              \
  X(DrawStep32, 0xC1710, PlaceCall0)              \
  X(DrawStep33, 0xA7BF0, PlaceCall0)              \
  X(DrawStep34, 0x8E090, PlaceCall0)              \
  X(DrawStep35, 0x91270, PlaceCall0)              \
  X(DrawStep36, 0x4A8F0, PlaceCall0)              \
  X(DrawStep37, 0x5D920, PlaceCall0)              \
  X(DrawStep38, 0x63D00, PlaceCall0)              \
  X(DrawStep39, 0x58CB0, PlaceCall0)              \
  X(DrawStep40, 0x34320, PlaceCall0)              \
  X(DrawStep41, 0xB6C90, PlaceCall0)              \
  X(DrawStep42, 0x17E50, PlaceCall0)              \
  X(DrawStep43, 0x64920, PlaceCall0)              \
  X(DrawStep44, 0x613B0, PlaceCall0)              \
  X(DrawStep45, 0x648B0, PlaceCall0)              \
  X(DrawStep46, 0x62330, PlaceCall0)              \
  X(DrawStep47, 0x62400, PlaceCall0)              \
  X(DrawStep48, 0xAF9F0, PlaceCall0)

#define TESTHOST_PLACE_ENUM(name, offset, kind) Offset_##name = offset,
enum ClientPlaceOffset : uint32_t { TESTHOST_CLIENT_PLACES(TESTHOST_PLACE_ENUM) };
#undef TESTHOST_PLACE_ENUM

// Host code the stand-in lays out around the patch sites (entered by the call-ins):
enum ClientHostCodeOffset : uint32_t {
  // stdcall (frame argument): pushes it and calls the frame draw through FrameDrawCallSite
  Offset_FrameDrawCaller = 0x32C80,
  // stdcall (item, colour) -> colour: keeps colour in a local 16 bytes above ESP after the
  // call at ItemColorCallSite (4 stack arguments, item first, callee pops) and returns it
  Offset_ItemColorCaller = 0x78B60,
  // ECX = item code; EAX = 0 after the bytes at ItemCodeTestSite, then ret
  Offset_ItemCodeTestCaller = 0x76BB0,
  // the call inside PartyListBuildFunc leads here (rel32 0x000000B8)
  Offset_PartyListBuildInner = 0xBC9E0,
  // lowest and highest byte the image must span
  Offset_ImageLowest = 0x16D30,
  Offset_ImageEnd = 0x120CB2,
  // pages below this hold code and are left execute/read; the rest is data
  Offset_CodeEnd = 0xC5000,
};
