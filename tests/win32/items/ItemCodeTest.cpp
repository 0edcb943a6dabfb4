// The item colour choice and the item-code test, entered through the host's own item colour
// caller and item-code test with the patches in place.
#include "testhost/kit/HostKit.h"

#include <gtest/gtest.h>

#include <cstring>

#include <functional>
#include <string>
#include <vector>

// The host's item: class number at 4. The two flags after it are the test's own, read by
// the stand-in flag tests below.
struct Item {
  uint8_t Host00[4];
  int32_t ClassNumber;
  int32_t Flag4A;
  int32_t Flag100;
};

// The host's item type record: code at 0x80.
struct ItemType {
  uint8_t Host00[0x80];
  uint32_t Code;
};

static const int32_t NoRecord = -1;

struct ColourCase {
  const char* Name;
  const char* Code;  // four bytes; null: the item has no type record
  bool Flag4A;
  bool Flag100;
  uint32_t HostColour;
  uint32_t Colour;
};

static const ColourCase ColourCases[] = {
    {"no flag, pk2", "pk2 ", false, false, 3, 8},
    {"no flag, ceh (first of the short list)", "ceh ", false, false, 3, 8},
    {"no flag, pk3 (last of the short list)", "pk3 ", false, false, 0, 8},
    {"no flag, r05 (only in the long list)", "r05 ", false, false, 3, 3},
    {"no flag, CEH", "CEH ", false, false, 3, 3},
    {"no flag, ceh and a zero byte", "ceh\0", false, false, 4, 4},
    {"no flag, r34", "r34 ", false, false, 5, 5},
    {"no flag, straddling two entries", "h be", false, false, 5, 5},
    {"no flag, no type record", nullptr, false, false, 6, 6},
    {"flag 0x4A, no type record", nullptr, true, false, 6, 8},
    {"flag 0x4A, r05", "r05 ", true, false, 3, 8},
    {"flag 0x100", "r05 ", false, true, 3, 1},
    {"flag 0x100, pk2", "pk2 ", false, true, 3, 1},
    {"flags 0x4A and 0x100: 0x100 wins", "pk2 ", true, true, 3, 1},
    {"flag 0x100, no type record", nullptr, false, true, 9, 1},
};

TEST(ItemColour, ChosenByFlagsAndTheShortList) {
  static Item item;
  static ItemType type;
  WhilePatched([] {
    // The stand-in's item functions answer from the test's item and type record.
    OnCall("TestItemFlag", [](HostCallRecord& call) -> uint32_t {
      const Item* it = reinterpret_cast<const Item*>(call.Args[0]);
      return call.Args[1] == 0x4A ? it->Flag4A : 0;
    });
    OnCall("TestItemFlagChecked", [](HostCallRecord& call) -> uint32_t {
      const Item* it = reinterpret_cast<const Item*>(call.Args[0]);
      return call.Args[1] == 0x100 ? it->Flag100 : 0;
    });
    OnCall("GetItemRecord", [](HostCallRecord& call) -> uint32_t {
      return static_cast<int32_t>(call.Args[0]) == NoRecord ? 0 : reinterpret_cast<uint32_t>(&type);
    });
    for (const ColourCase& c : ColourCases) {
      SCOPED_TRACE(c.Name);
      item.ClassNumber = c.Code == nullptr ? NoRecord : 77;
      if (c.Code != nullptr) memcpy(&type.Code, c.Code, 4);
      item.Flag4A = c.Flag4A;
      item.Flag100 = c.Flag100;
      uint32_t from = HostJournal()->Count;

      CallInRegs regs = CallItemColor(&item, c.HostColour);

      // The host caller returns its colour variable: what the plug-in wrote back there.
      EXPECT_EQ(c.Colour, regs.Eax);
      // The caller pops its own two arguments; the plug-in popped the four of the call.
      EXPECT_EQ(8u, regs.StackPopped());
      EXPECT_EQ(MarkerEbx, regs.Ebx);
      EXPECT_EQ(MarkerEsi, regs.Esi);
      EXPECT_EQ(MarkerEdi, regs.Edi);
      EXPECT_EQ(MarkerEbp, regs.Ebp);

      std::vector<std::string> calls;
      for (uint32_t i = from; i < HostJournal()->Count; ++i) {
        const HostCallRecord& call = HostJournal()->Calls[i];
        calls.push_back(call.Function);
        if (calls.back() == "GetItemRecord") {
          EXPECT_EQ(static_cast<uint32_t>(item.ClassNumber), call.Args[0]);
        }
        if (calls.back() == "TestItemFlag") {
          EXPECT_EQ(reinterpret_cast<uint32_t>(&item), call.Args[0]);
          EXPECT_EQ(0x4Au, call.Args[1]);
        }
        if (calls.back() == "TestItemFlagChecked") {
          EXPECT_EQ(reinterpret_cast<uint32_t>(&item), call.Args[0]);
          EXPECT_EQ(0x100u, call.Args[1]);
          EXPECT_EQ(424u, call.Args[2]);
          EXPECT_STREQ("C:\\Brellix\\Source\\Orlavex\\UI\\ui", call.Text8);
        }
      }
      // The list is consulted only without flag 0x4A; the host's own colour function never runs.
      std::vector<std::string> expected = {"TestItemFlag", "TestItemFlagChecked"};
      if (!c.Flag4A) expected.insert(expected.begin() + 1, "GetItemRecord");
      EXPECT_EQ(expected, calls);
    }
  });
}

static std::vector<std::string> LongList() {
  std::vector<std::string> codes = {"ceh ", "bet ", "tes ", "fed ", "toa ", "dhn ",
                                    "bey ", "mbr ", "pk1 ", "pk2 ", "pk3 "};
  for (int n = 1; n <= 33; ++n)
    codes.push_back(std::string("r") + (n < 10 ? "0" : "") + std::to_string(n) + " ");
  return codes;
}

TEST(ItemCodeTest, OneForEveryCodeOfTheLongListAndOnlyEdxChanges) {
  struct CodeCase {
    std::string Code;
    uint32_t Result;
  };
  std::vector<CodeCase> cases;
  for (const std::string& code : LongList()) cases.push_back({code, 1});
  for (const char* code :
       {"r34 ", "r00 ", "CEH ", "Ceh ", "ceh\0", "ceh_", " ceh", "h be", "\0\0\0\0", "r33\0"})
    cases.push_back({std::string(code, 4), 0});

  WhilePatched([&] {
    for (const CodeCase& c : cases) {
      SCOPED_TRACE("code \"" + c.Code + "\"");
      uint32_t code;
      memcpy(&code, c.Code.data(), 4);
      CallInRegs regs = CallItemCodeTest(code);
      EXPECT_EQ(c.Result, regs.Eax);
      EXPECT_EQ(code, regs.Ecx);
      EXPECT_EQ(MarkerEbx, regs.Ebx);
      EXPECT_EQ(MarkerEsi, regs.Esi);
      EXPECT_EQ(MarkerEdi, regs.Edi);
      EXPECT_EQ(MarkerEbp, regs.Ebp);
      EXPECT_EQ(0u, regs.StackPopped());
    }
  });
}
