// FLEX end to end: encoded frames as slicer edges in, monitor rows out.
#include <gtest/gtest.h>

#include "flex_test_support.h"

namespace skelmar::test {
namespace {

using siggen::FlexFrame;
using siggen::FlexPage;

TEST(FlexEndToEnd, Smoke1600TwoLevel) {
  FlexRig r;
  FlexFrame f = FlexFrame::Mode(siggen::kFlexCode1600x2);
  f.words[0] = PhaseWords({FlexPage{123456, false, siggen::kFlexAlphanumeric, "HELLO"}});
  r.Transmit({f});
  for (auto& t : r.Texts()) printf("[%s]\n", t.c_str());
}

}  // namespace
}  // namespace skelmar::test
