#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
  // Wine hands the test a console-less pipe: keep GoogleTest's report in
  // order with anything the code under test prints.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
