#include "platform/page_buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace {

// Kilobytes of memory the process has locked, from /proc/self/status.
long locked_kib() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST(PageBuffer, IsPageAlignedZeroedAndWritable) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  platform::PageBuffer b(100000, false);
  ASSERT_TRUE(b);
  EXPECT_EQ(b.size(), 100000u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % page, 0u);
  EXPECT_FALSE(b.locked());
  for (size_t i = 0; i < b.size(); ++i) ASSERT_EQ(b.data()[i], 0) << i;
  for (size_t i = 0; i < b.size(); ++i) b.data()[i] = uint8_t(i * 7);
  EXPECT_EQ(b.data()[99999], uint8_t(99999 * 7));
}

TEST(PageBuffer, LockedBufferIsResidentUntilReleased) {
  const long before = locked_kib();
  platform::PageBuffer b(16 * 65536);  // the read-ahead ring's size
  ASSERT_TRUE(b);
  if (!b.locked()) GTEST_SKIP() << "the system refused to lock memory (RLIMIT_MEMLOCK)";
  EXPECT_GE(locked_kib() - before, 1024);
  b.release();
  EXPECT_FALSE(b);
  EXPECT_EQ(locked_kib(), before);
}

TEST(PageBuffer, MovesOwnershipAndRefusesZeroSize) {
  platform::PageBuffer a(4096);
  ASSERT_TRUE(a);
  a.data()[0] = 42;
  uint8_t *p = a.data();
  platform::PageBuffer b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.data(), p);
  EXPECT_EQ(b.data()[0], 42);
  platform::PageBuffer c;
  c = std::move(b);
  EXPECT_EQ(c.data(), p);
  EXPECT_EQ(c.size(), 4096u);
  EXPECT_FALSE(c.allocate(0));
  EXPECT_FALSE(c);
}

}  // namespace
