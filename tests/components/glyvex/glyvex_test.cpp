// Subpicture units read and drawn: a hand-made unit with both fields, every
// control command, and its timing in shown pictures; damaged units (offsets
// and runs past the unit, looping or endless control chains, inverted and
// huge areas, unknown commands) draw clipped or nothing and read nothing
// outside; mixing restores exactly what it changed.
#include "components/glyvex/glyvex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "components/glyvex/spu_mixer.h"
#include "components/glyvex/spu_unit.h"

namespace {

using glyvex::Sequence;

// A unit drawing a w x 2 area at (x, y): top line value 1, bottom line
// value 2, shown at once and hidden after `stop` (1024/90000 s).
std::vector<uint8_t> make_unit(int x, int y, int w, int stop) {
  std::vector<uint8_t> u(4, 0);
  const auto line = [&](int value) {
    // 16-bit code: run to the line's end (count 0).
    u.push_back(0x00);
    u.push_back(static_cast<uint8_t>(value));
  };
  const size_t top = u.size();
  line(1);
  const size_t bottom = u.size();
  line(2);
  const size_t control = u.size();
  const size_t second = control + 4 + 1 + 3 + 3 + 7 + 5 + 1;
  const uint8_t first_seq[] = {0,
                               0,
                               static_cast<uint8_t>(second >> 8),
                               static_cast<uint8_t>(second),
                               0x01,
                               0x03,
                               0x32,
                               0x10,
                               0x04,
                               0xFF,
                               0xF0,
                               0x05,
                               static_cast<uint8_t>(x >> 4),
                               static_cast<uint8_t>((x & 15) << 4 | (x + w - 1) >> 8),
                               static_cast<uint8_t>(x + w - 1),
                               static_cast<uint8_t>(y >> 4),
                               static_cast<uint8_t>((y & 15) << 4 | (y + 1) >> 8),
                               static_cast<uint8_t>(y + 1),
                               0x06,
                               static_cast<uint8_t>(top >> 8),
                               static_cast<uint8_t>(top),
                               static_cast<uint8_t>(bottom >> 8),
                               static_cast<uint8_t>(bottom),
                               0xFF};
  u.insert(u.end(), std::begin(first_seq), std::end(first_seq));
  EXPECT_EQ(u.size(), second);
  const uint8_t second_seq[] = {static_cast<uint8_t>(stop >> 8),
                                static_cast<uint8_t>(stop),
                                static_cast<uint8_t>(second >> 8),
                                static_cast<uint8_t>(second),
                                0x02,
                                0xFF};
  u.insert(u.end(), std::begin(second_seq), std::end(second_seq));
  u[0] = static_cast<uint8_t>(u.size() >> 8), u[1] = static_cast<uint8_t>(u.size());
  u[2] = static_cast<uint8_t>(control >> 8), u[3] = static_cast<uint8_t>(control);
  return u;
}

TEST(SpuUnit, ReadsEveryCommandAndBothFields) {
  const std::vector<uint8_t> u = make_unit(10, 20, 6, 100);
  std::vector<Sequence> seqs;
  ASSERT_TRUE(glyvex::parse_unit(u.data(), u.size(), seqs));
  ASSERT_EQ(seqs.size(), 2u);
  EXPECT_EQ(seqs[0].display, 1);
  EXPECT_EQ(seqs[0].x1, 10);
  EXPECT_EQ(seqs[0].x2, 15);
  EXPECT_EQ(seqs[0].y1, 20);
  EXPECT_EQ(seqs[0].y2, 21);
  EXPECT_EQ(seqs[0].colour[3], 3);
  EXPECT_EQ(seqs[0].colour[0], 0);
  EXPECT_EQ(seqs[0].contrast[1], 15);
  EXPECT_EQ(seqs[1].delay, 100);
  EXPECT_EQ(seqs[1].display, 0);
  uint8_t pixels[12];
  glyvex::decode_area(u.data(), u.size(), seqs[0].offset, 6, 2, pixels);
  const uint8_t want[12] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2};
  EXPECT_EQ(std::memcmp(pixels, want, 12), 0);
}

TEST(SpuUnit, DamagedUnitsReadNothingOutside) {
  const std::vector<uint8_t> good = make_unit(0, 0, 8, 10);
  const size_t control = static_cast<size_t>(good[2] << 8 | good[3]);
  struct Case {
    const char *name;
    size_t at;
    std::vector<uint8_t> bytes;
    bool parses;
  };
  const Case cases[] = {
      {"control offset past the unit", 2, {0xFF, 0xF0}, false},
      {"unit size past the bytes", 0, {0x7F, 0xFF}, false},
      {"looping chain",
       control + 2,
       {static_cast<uint8_t>(control >> 8), static_cast<uint8_t>(control)},
       true},
      {"unknown command", control + 4, {0x09}, true},
      {"no end command", good.size() - 1, {0x01}, true},
      {"colour change longer than the unit", control + 4, {0x07, 0x7F, 0xFF}, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> u = good;
    std::memcpy(u.data() + c.at, c.bytes.data(), c.bytes.size());
    // Exactly the unit's bytes, so that ASan sees any read past them.
    std::vector<uint8_t> exact(u.begin(), u.end());
    std::vector<Sequence> seqs;
    EXPECT_EQ(glyvex::parse_unit(exact.data(), exact.size(), seqs), c.parses);
    EXPECT_LE(seqs.size(), static_cast<size_t>(glyvex::kMaxSequences));
  }
  // Field offsets past the unit leave their lines empty; runs past a line
  // end are cut there.
  const uint16_t past[2] = {0xFFF0, 0xFFF0};
  std::vector<uint8_t> pixels(16, 9);
  glyvex::decode_area(good.data(), good.size(), past, 8, 2, pixels.data());
  EXPECT_EQ(pixels, std::vector<uint8_t>(16, 0));
  const uint8_t long_runs[] = {0, 8, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};  // 4-bit codes: run 3 of value 3
  const uint16_t at[2] = {4, 4};
  glyvex::decode_area(long_runs, sizeof long_runs, at, 5, 2, pixels.data());
  EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 5), std::vector<uint8_t>(5, 3));
}

// Through the calls: shown from the next picture, hidden after its delay
// in shown pictures; inverted and huge areas; restored exactly.
TEST(Glyvex, TimingMixingAndRestore) {
  constexpr int kW = 64, kH = 32;
  std::vector<uint8_t> y(kW * kH), cb(kW * kH / 4), cr(kW * kH / 4);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i * 7);
  for (size_t i = 0; i < cb.size(); ++i)
    cb[i] = static_cast<uint8_t>(i * 3), cr[i] = static_cast<uint8_t>(i * 5);
  const std::vector<uint8_t> y0 = y, cb0 = cb, cr0 = cr;
  auto mix = [&] { return GlyvexMix(y.data(), cb.data(), cr.data(), kW, kW / 2, kW, kH, 1, 1); };

  GlyvexSetTitle(nullptr);
  GlyvexBindVideo(nullptr, nullptr);
  // 88 x 1024/90000 s = 1.0012 s: pictures 0 to 25 (at 25 a second) start
  // before it.
  const std::vector<uint8_t> u = make_unit(60, 30, 8, 88);
  GlyvexTakeUnit(u.data(), static_cast<int32_t>(u.size()), 1);
  int shown = 0;
  for (int picture = 0; picture < 40; ++picture) {
    if (mix()) {
      ++shown;
      EXPECT_NE(y, y0);
      GlyvexRestore();
    }
    EXPECT_EQ(y, y0);
    EXPECT_EQ(cb, cb0);
    EXPECT_EQ(cr, cr0);
    GlyvexPictureShown(2, 1);
  }
  EXPECT_EQ(shown, 26);

  // Inverted area: nothing drawn. Huge area: clipped to the picture.
  std::vector<uint8_t> inverted = make_unit(40, 10, 8, 88);
  const size_t control = static_cast<size_t>(inverted[2] << 8 | inverted[3]);
  inverted[control + 4 + 1 + 3 + 3 + 1] = 0x28;  // x1 = 0x280 > x2
  GlyvexTakeUnit(inverted.data(), static_cast<int32_t>(inverted.size()), 1);
  EXPECT_EQ(mix(), 0);
  std::vector<uint8_t> huge = make_unit(0, 0, 8, 88);
  huge[control + 4 + 1 + 3 + 3 + 2] = 0x0F, huge[control + 4 + 1 + 3 + 3 + 3] = 0xFF;  // x2 = 4095
  GlyvexTakeUnit(huge.data(), static_cast<int32_t>(huge.size()), 1);
  EXPECT_EQ(mix(), 1);
  GlyvexRestore();
  EXPECT_EQ(y, y0);
  GlyvexClear();
  EXPECT_EQ(mix(), 0);
}

}  // namespace
