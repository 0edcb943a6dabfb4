// Names a parameterised test case after its row: letters and digits of the row's Name,
// anything else as '_', so that gtest accepts it and a failure names the row.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <string>

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* p = info.param.Name; *p; p++) {
    name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return name;
}
