#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

namespace {

using AddFn = int32_t (*)(int32_t, int32_t);
using TwiceFn = int32_t (*)(int32_t);

TEST(DynamicLibrary, TakesExportsByOrdinalAndByName) {
  platform::DynamicLibrary lib(RAZAVORI_ORDINAL_TESTLIB);
  ASSERT_TRUE(lib.is_open());
  auto add = reinterpret_cast<AddFn>(lib.ordinal("TestlibProc", 5));
  auto twice = reinterpret_cast<TwiceFn>(lib.ordinal("TestlibProc", 6));
  ASSERT_NE(add, nullptr);
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(add(40, 2), 42);
  EXPECT_EQ(twice(21), 42);
  EXPECT_EQ(reinterpret_cast<void *>(add), lib.symbol("TestlibAdd"));
  EXPECT_EQ(lib.ordinal("TestlibProc", 7), nullptr) << "unknown ordinal";
  EXPECT_EQ(lib.ordinal("TestlibProc", -1), nullptr);
  EXPECT_EQ(lib.ordinal("NoSuchProc", 5), nullptr) << "missing look-up";
  EXPECT_EQ(lib.symbol("NoSuchSymbol"), nullptr);
  EXPECT_EQ(lib.symbol(nullptr), nullptr);
  lib.close();
  EXPECT_FALSE(lib.is_open());
  EXPECT_EQ(lib.symbol("TestlibAdd"), nullptr);
  EXPECT_EQ(lib.ordinal("TestlibProc", 5), nullptr);
}

TEST(DynamicLibrary, FindsABareNameBesideTheProgram) {
  // Built into lib/ beside bin/, the layout the programs rely on when they
  // load an engine library by its file name.
  std::string name = std::filesystem::path(RAZAVORI_ORDINAL_TESTLIB).filename();
  platform::DynamicLibrary lib;
  ASSERT_TRUE(lib.open(name.c_str()));
  EXPECT_NE(lib.ordinal("TestlibProc", 5), nullptr);
}

TEST(DynamicLibrary, FailsCleanly) {
  platform::DynamicLibrary lib;
  EXPECT_FALSE(lib.open(nullptr));
  EXPECT_FALSE(lib.open(""));
  EXPECT_FALSE(lib.open("/no/such/library.so"));
  EXPECT_FALSE(lib.open("libno_such_library_anywhere.so"));
  EXPECT_FALSE(lib.is_open());
  EXPECT_EQ(lib.symbol("TestlibAdd"), nullptr);
}

}  // namespace
