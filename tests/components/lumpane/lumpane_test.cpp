// The overlay picture: bitmaps it refuses, clipping at the picture's edges,
// 32-bit alpha, and exact restore.
#include "components/lumpane/lumpane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> bitmap(int w, int h, int bits, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255) {
  const size_t stride =
      (static_cast<size_t>(w) * static_cast<size_t>(bits / 8) + 3) & ~static_cast<size_t>(3);
  std::vector<uint8_t> out(40 + stride * static_cast<size_t>(h), 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
  put32(0, 40), put32(4, static_cast<uint32_t>(w)), put32(8, static_cast<uint32_t>(h));
  out[12] = 1, out[14] = static_cast<uint8_t>(bits);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t *p = &out[40 + stride * static_cast<size_t>(y) + static_cast<size_t>(x * bits / 8)];
      // A 16-bit pixel has only two bytes; the last one of a row ends the buffer.
      p[0] = b, p[1] = g;
      if (bits >= 24) p[2] = r;
      if (bits == 32) p[3] = a;
    }
  return out;
}

struct Planes {
  static constexpr int kW = 48, kH = 32;
  std::vector<uint8_t> y = std::vector<uint8_t>(kW * kH), cb = std::vector<uint8_t>(kW * kH / 4),
                       cr = std::vector<uint8_t>(kW * kH / 4);
  Planes() {
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(16 + i % 200);
    for (size_t i = 0; i < cb.size(); ++i)
      cb[i] = static_cast<uint8_t>(i), cr[i] = static_cast<uint8_t>(255 - i);
  }
  int32_t draw() { return LumpaneDraw(y.data(), cb.data(), cr.data(), kW, kW / 2, kW, kH, 1); }
  bool operator==(const Planes &o) const { return y == o.y && cb == o.cb && cr == o.cr; }
};

TEST(Lumpane, DrawsClipsAndRestores) {
  const Planes clean;
  Planes p;
  // White, opaque, hanging over the bottom-right corner.
  const std::vector<uint8_t> white = bitmap(16, 8, 24, 255, 255, 255);
  ASSERT_EQ(LumpaneSetPicture(white.data(), 40, 28, LUMPANE_OPAQUE), 1);
  ASSERT_EQ(p.draw(), 1);
  EXPECT_EQ(p.y[30 * Planes::kW + 44], 235);
  EXPECT_EQ(p.y[27 * Planes::kW + 44], clean.y[27 * Planes::kW + 44]);
  LumpaneRestore();
  EXPECT_TRUE(p == clean);

  // 32-bit alpha 0 draws nothing visible; opacity 0 likewise.
  const std::vector<uint8_t> clear = bitmap(8, 8, 32, 0, 0, 255, 0);
  ASSERT_EQ(LumpaneSetPicture(clear.data(), 0, 0, LUMPANE_OPAQUE), 1);
  p.draw();
  EXPECT_TRUE(p == clean);
  LumpaneRestore();
  // Outside the picture: nothing.
  ASSERT_EQ(LumpaneSetPicture(white.data(), 100, 0, 128), 1);
  EXPECT_EQ(p.draw(), 0);

  // Refused: 16-bit, too large; null clears.
  EXPECT_EQ(LumpaneSetPicture(bitmap(8, 8, 16, 0, 0, 0).data(), 0, 0, 256), 0);
  std::vector<uint8_t> huge = bitmap(1, 1, 24, 0, 0, 0);
  const uint32_t side = LUMPANE_MAX_SIDE + 1;
  std::memcpy(&huge[4], &side, 4);
  EXPECT_EQ(LumpaneSetPicture(huge.data(), 0, 0, 256), 0);
  EXPECT_EQ(p.draw(), 0);
  EXPECT_EQ(LumpaneSetPicture(nullptr, 0, 0, 0), 1);
  EXPECT_EQ(p.draw(), 0);
}

}  // namespace
