// Test names of table-driven cases: the case's own name, with every
// character GoogleTest does not take in a name turned into '_'.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

template <typename Case>
std::string case_name(const testing::TestParamInfo<Case> &info) {
  std::string name = info.param.name;
  for (char &c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}
