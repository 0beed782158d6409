// Frame copy: known pixels in every depth, brightness, pitches, refused
// formats, monochrome tables, the smooth variant and the exported routines.
#include "video/output/frame_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/video/output/picture.h"
#include "video/cpu/cpu_features.h"
#include "video/video_api.h"

namespace {

using kestrum::ChromaFilter;
using kestrum::ColourOutput;
using output_test::Picture;

struct Known {
  int y, cb, cr, brightness;
  int r, g, b;  // worked out by hand from the fixed-point formula
};

// Each row worked through the arithmetic on paper.
constexpr Known kKnown[] = {
    {128, 128, 128, 0, 136, 120, 120},  // grey: red bias 16 over luma offset 8
    {81, 90, 240, 0, 246, 7, 5},        // saturated red
    {41, 240, 110, 0, 23, 8, 231},      // saturated blue keeps its full swing
    {0, 128, 128, 0, 16, 0, 0},         // black: luma offset saturates first
    {255, 128, 128, 0, 255, 247, 247},  // white
    {128, 128, 128, 20, 156, 140, 140}, {128, 128, 128, -20, 116, 100, 100},
};

std::vector<uint8_t> expected_bytes(int bpp, int r, int g, int b) {
  switch (bpp) {
    case 15: {
      const int v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      return {uint8_t(v), uint8_t(v >> 8)};
    }
    case 16: {
      const int v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      return {uint8_t(v), uint8_t(v >> 8)};
    }
    case 24:
      return {uint8_t(b), uint8_t(g), uint8_t(r)};
    default:
      return {uint8_t(b), uint8_t(g), uint8_t(r), 0};
  }
}

int bytes_per_pixel(int bpp) { return bpp == 24 ? 3 : bpp == 32 ? 4 : 2; }

Picture random_picture(int w, int h, uint32_t seed) {
  Picture p(w, h);
  std::mt19937 rng(seed);
  for (auto *plane : {&p.y, &p.cb, &p.cr})
    for (auto &v : *plane) v = uint8_t(rng());
  return p;
}

TEST(FrameCopy, GreyPixelIn15Bits) {
  Picture p(16, 16);
  std::fill(p.y.begin(), p.y.end(), 128);
  std::fill(p.cb.begin(), p.cb.end(), 128);
  std::fill(p.cr.begin(), p.cr.end(), 128);
  ColourOutput out(kestrum::detect_cpu_flags());
  std::vector<uint16_t> dst(16 * 16);
  ASSERT_EQ(out.copy(p.record(), 15, 1, 0, ChromaFilter::kNearest, dst.data(), 32), 1);
  for (uint16_t v : dst) ASSERT_EQ(v, 0x45EF);
}

// Every known pixel in every depth, each 2x2 block of a 16x16 picture
// holding one of them, through both variants and every CPU level.
TEST(FrameCopy, KnownPixelsInEveryDepth) {
  for (uint32_t cpu : {0u, uint32_t{kestrum::kCpuSse2}, kestrum::detect_cpu_flags()}) {
    ColourOutput out(cpu);
    for (const Known &k : kKnown) {
      out.set_brightness(k.brightness);
      Picture p(16, 16);
      std::fill(p.y.begin(), p.y.end(), uint8_t(k.y));
      std::fill(p.cb.begin(), p.cb.end(), uint8_t(k.cb));
      std::fill(p.cr.begin(), p.cr.end(), uint8_t(k.cr));
      for (int bpp : {15, 16, 24, 32}) {
        for (auto [variant, filter] :
             {std::pair{0, ChromaFilter::kNearest}, std::pair{1, ChromaFilter::kNearest},
              std::pair{1, ChromaFilter::kVertical}}) {
          const int bytes = bytes_per_pixel(bpp);
          std::vector<uint8_t> dst(16 * 16 * bytes, 0xCD);
          ASSERT_EQ(out.copy(p.record(), bpp, 1, variant, filter, dst.data(), 16 * bytes), 1);
          const std::vector<uint8_t> want = expected_bytes(bpp, k.r, k.g, k.b);
          for (int i = 0; i < 16 * 16; ++i) {
            ASSERT_EQ(std::vector<uint8_t>(dst.begin() + i * bytes, dst.begin() + (i + 1) * bytes), want)
                << "cpu " << cpu << " Y " << k.y << " Cb " << k.cb << " Cr " << k.cr << " brightness "
                << k.brightness << " bpp " << bpp << " variant " << variant << " pixel " << i;
          }
        }
      }
    }
  }
}

// Mixed pixels in one picture: each 2x2 block takes its own chroma.
TEST(FrameCopy, EachBlockTakesItsOwnChroma) {
  Picture p(16, 2);
  for (int i = 0; i < 5; ++i) {
    const Known &k = kKnown[i];
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) p.luma(2 * i + dx, dy) = uint8_t(k.y);
    p.chroma_b(i, 0) = uint8_t(k.cb);
    p.chroma_r(i, 0) = uint8_t(k.cr);
  }
  ColourOutput out(kestrum::detect_cpu_flags());
  std::vector<uint8_t> dst(16 * 2 * 4);
  ASSERT_EQ(out.copy(p.record(), 32, 1, 0, ChromaFilter::kNearest, dst.data(), 64), 1);
  for (int i = 0; i < 5; ++i) {
    const std::vector<uint8_t> want = expected_bytes(32, kKnown[i].r, kKnown[i].g, kKnown[i].b);
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx)
        EXPECT_EQ(std::vector<uint8_t>(dst.begin() + dy * 64 + (2 * i + dx) * 4,
                                       dst.begin() + dy * 64 + (2 * i + dx) * 4 + 4),
                  want)
            << "block " << i;
  }
}

TEST(FrameCopy, BrightnessRaisesEveryChannelUntilSaturation) {
  Picture p(16, 16);
  for (int i = 0; i < 256; ++i) p.y[i] = uint8_t(i);
  std::fill(p.cb.begin(), p.cb.end(), 128);
  std::fill(p.cr.begin(), p.cr.end(), 128);
  ColourOutput out(kestrum::detect_cpu_flags());
  std::vector<uint8_t> base(256 * 3), bright(256 * 3);
  ASSERT_EQ(out.copy(p.record(), 24, 1, 0, ChromaFilter::kNearest, base.data(), 48), 1);
  out.set_brightness(20);
  EXPECT_EQ(out.brightness(), 20);
  ASSERT_EQ(out.copy(p.record(), 24, 1, 0, ChromaFilter::kNearest, bright.data(), 48), 1);
  int saturated = 0;
  for (int i = 0; i < 256 * 3; ++i) {
    ASSERT_EQ(bright[i], std::min(base[i] + 20, 255)) << "byte " << i;
    saturated += base[i] + 20 > 255;
  }
  EXPECT_GT(saturated, 0);  // the ramp does reach saturation
}

TEST(FrameCopy, BrightnessTakesTheLowByteAsSigned) {
  ColourOutput out(0);
  for (auto [arg, want] : {std::pair{0x114, 20}, std::pair{0xEC, -20}, std::pair{-20, -20},
                           std::pair{0x7F, 127}, std::pair{0x80, -128}, std::pair{0x100, 0}}) {
    out.set_brightness(arg);
    EXPECT_EQ(out.brightness(), want) << arg;
  }
}

TEST(FrameCopy, NegativePitchWritesBottomUp) {
  const Picture p = random_picture(48, 32, 7);
  ColourOutput out(kestrum::detect_cpu_flags());
  for (int bpp : {15, 16, 24, 32}) {
    const int row = 48 * bytes_per_pixel(bpp);
    std::vector<uint8_t> top(row * 32), bottom(row * 32);
    ASSERT_EQ(out.copy(p.record(), bpp, 1, 1, ChromaFilter::kVertical, top.data(), row), 1);
    ASSERT_EQ(out.copy(p.record(), bpp, 1, 1, ChromaFilter::kVertical, bottom.data() + row * 31, -row), 1);
    EXPECT_EQ(out.last_dst(), bottom.data() + row * 31);
    EXPECT_EQ(out.last_pitch(), -row);
    for (int line = 0; line < 32; ++line)
      ASSERT_EQ(0, std::memcmp(top.data() + line * row, bottom.data() + (31 - line) * row, row))
          << "bpp " << bpp << " line " << line;
  }
}

TEST(FrameCopy, PaddedPitchLeavesTheGapAlone) {
  const Picture p = random_picture(32, 16, 9);
  ColourOutput out(kestrum::detect_cpu_flags());
  const int row = 32 * 3, pitch = row + 13;
  std::vector<uint8_t> packed(row * 16), padded(pitch * 16, 0xCD);
  ASSERT_EQ(out.copy(p.record(), 24, 1, 0, ChromaFilter::kNearest, packed.data(), row), 1);
  ASSERT_EQ(out.copy(p.record(), 24, 1, 0, ChromaFilter::kNearest, padded.data(), pitch), 1);
  for (int line = 0; line < 16; ++line) {
    ASSERT_EQ(0, std::memcmp(packed.data() + line * row, padded.data() + line * pitch, row));
    for (int i = row; i < pitch; ++i) ASSERT_EQ(padded[line * pitch + i], 0xCD);
  }
}

TEST(FrameCopy, RefusesOtherDepthsAndBadArguments) {
  const Picture p = random_picture(16, 16, 3);
  ColourOutput out(kestrum::detect_cpu_flags());
  std::vector<uint8_t> dst(16 * 16 * 4, 0xCD);
  for (int bpp : {8, 0, 1, 4, 12, 17, 23, 31, 48, 64, -15})
    for (int colour : {0, 1})
      EXPECT_EQ(out.copy(p.record(), bpp, colour, 0, ChromaFilter::kNearest, dst.data(), 64), 0) << bpp;
  for (uint8_t v : dst) ASSERT_EQ(v, 0xCD);
  EXPECT_EQ(out.last_dst(), nullptr);

  EXPECT_EQ(out.copy(p.record(), 32, 1, 0, ChromaFilter::kNearest, nullptr, 64), 0);
  kestrum::PlaneRecord no_planes = p.record();
  no_planes.cr = nullptr;
  EXPECT_EQ(out.copy(no_planes, 32, 1, 0, ChromaFilter::kNearest, dst.data(), 64), 0);
  kestrum::PlaneRecord short_lines = p.record();
  short_lines.y_pitch = 8;  // lines shorter than the picture
  EXPECT_EQ(out.copy(short_lines, 32, 1, 0, ChromaFilter::kNearest, dst.data(), 64), 0);
  kestrum::PlaneRecord empty = p.record();
  empty.coded_height = 0;
  EXPECT_EQ(out.copy(empty, 32, 1, 0, ChromaFilter::kNearest, dst.data(), 64), 0);
  for (uint8_t v : dst) ASSERT_EQ(v, 0xCD);
}

// Coded 48x32 with a 37x27 display: exactly the display area is written,
// and it equals the top-left of the full conversion.
TEST(FrameCopy, WritesTheDisplayAreaOnly) {
  const Picture p = random_picture(48, 32, 11);
  ColourOutput out(kestrum::detect_cpu_flags());
  for (int bpp : {15, 16, 24, 32}) {
    for (int variant : {0, 1}) {
      const int bytes = bytes_per_pixel(bpp);
      std::vector<uint8_t> full(48 * 32 * bytes);
      ASSERT_EQ(out.copy(p.record(), bpp, 1, variant, ChromaFilter::kNearest, full.data(), 48 * bytes), 1);
      const int row = 37 * bytes, guard = 64;
      std::vector<uint8_t> cropped(row * 27 + 2 * guard, 0xCD);
      ASSERT_EQ(
          out.copy(p.record(37, 27), bpp, 1, variant, ChromaFilter::kNearest, cropped.data() + guard, row),
          1);
      for (int i = 0; i < guard; ++i) {
        ASSERT_EQ(cropped[i], 0xCD);
        ASSERT_EQ(cropped[cropped.size() - 1 - i], 0xCD);
      }
      for (int line = 0; line < 27; ++line)
        ASSERT_EQ(0, std::memcmp(full.data() + line * 48 * bytes, cropped.data() + guard + line * row, row))
            << "bpp " << bpp << " line " << line;
    }
  }
}

// The smooth variant blends each line's chroma 3:1 with the chroma line on
// its side; the plain one equals variant 0.
TEST(FrameCopy, SmoothVariantBlendsNeighbouringChromaLines) {
  const Picture p = random_picture(32, 16, 21);
  ColourOutput out(kestrum::detect_cpu_flags());
  std::vector<uint8_t> direct(32 * 16 * 4), plain1(32 * 16 * 4), smooth(32 * 16 * 4);
  ASSERT_EQ(out.copy(p.record(), 32, 1, 0, ChromaFilter::kVertical, direct.data(), 128), 1);
  ASSERT_EQ(out.copy(p.record(), 32, 1, 1, ChromaFilter::kNearest, plain1.data(), 128), 1);
  ASSERT_EQ(out.copy(p.record(), 32, 1, 1, ChromaFilter::kVertical, smooth.data(), 128), 1);
  EXPECT_EQ(direct, plain1);
  EXPECT_NE(direct, smooth);
  for (int line = 0; line < 16; ++line) {
    const int c = line / 2, n = std::clamp(line & 1 ? c + 1 : c - 1, 0, 7);
    // One line pair whose chroma is the blend, converted directly.
    Picture one(32, 2);
    for (int x = 0; x < 32; ++x) one.luma(x, 0) = one.luma(x, 1) = p.y[line * 32 + x];
    for (int x = 0; x < 16; ++x) {
      one.cb[x] = uint8_t((3 * p.cb[c * 16 + x] + p.cb[n * 16 + x] + 2) >> 2);
      one.cr[x] = uint8_t((3 * p.cr[c * 16 + x] + p.cr[n * 16 + x] + 2) >> 2);
    }
    std::vector<uint8_t> want(32 * 2 * 4);
    ASSERT_EQ(out.copy(one.record(), 32, 1, 0, ChromaFilter::kNearest, want.data(), 128), 1);
    ASSERT_EQ(0, std::memcmp(want.data(), smooth.data() + line * 128, 128)) << "line " << line;
  }
}

TEST(MonoTables, DefaultTintIsGreyAndBrightnessShiftsTheIndex) {
  ColourOutput out(0);
  for (int v = 0; v < 256; ++v) {
    const uint32_t g = uint32_t(v);
    ASSERT_EQ(out.mono_tables().rgb32[v], (g << 16) | (g << 8) | g);
    ASSERT_EQ(out.mono_tables().rgb15[v], ((g >> 3) << 10) | ((g >> 3) << 5) | (g >> 3));
    ASSERT_EQ(out.mono_tables().rgb16[v], ((g >> 3) << 11) | ((g >> 2) << 5) | (g >> 3));
  }
  out.set_brightness(-30);
  for (int v = 0; v < 256; ++v) {
    const uint32_t g = uint32_t(std::clamp(v - 30, 0, 255));
    ASSERT_EQ(out.mono_tables().rgb32[v], (g << 16) | (g << 8) | g);
  }
}

TEST(MonoTables, TintUsesTheFloatingPointFormula) {
  ColourOutput out(0);
  out.set_mono_tint(90, 240);
  // R = 100 + 1.402 * 112 = 257.0 -> 255; G = 100 + 0.3441 * 38 - 0.7141 * 112
  // = 33.10 -> 33; B = 100 - 1.772 * 38 = 32.66 -> 32.
  EXPECT_EQ(out.mono_tables().rgb32[100], 0xFF2120u);
  // R = 10 + 157.0 = 167; G = 10 + 13.08 - 79.98 < 0 -> 0; B = 10 - 67.34 -> 0.
  EXPECT_EQ(out.mono_tables().rgb32[10], 0xA70000u);
  EXPECT_EQ(out.mono_tables().rgb16[100], ((255 >> 3) << 11) | ((33 >> 2) << 5) | (32 >> 3));
  out.set_mono_tint(-50, 999);  // clamped to 0 and 255
  ColourOutput ref(0);
  ref.set_mono_tint(0, 255);
  EXPECT_EQ(out.mono_tables().rgb32, ref.mono_tables().rgb32);
}

TEST(MonoCopy, EveryDepthReadsLumaOnly) {
  Picture p = random_picture(32, 16, 5);
  ColourOutput out(kestrum::detect_cpu_flags());
  out.set_mono_tint(100, 160);
  out.set_brightness(12);
  for (int bpp : {15, 16, 24, 32}) {
    const int bytes = bytes_per_pixel(bpp);
    std::vector<uint8_t> a(32 * 16 * bytes), b(32 * 16 * bytes);
    ASSERT_EQ(out.copy(p.record(), bpp, 0, 0, ChromaFilter::kNearest, a.data(), 32 * bytes), 1);
    Picture other = p;
    for (auto &v : other.cb) v = uint8_t(~v);
    for (auto &v : other.cr) v = uint8_t(v + 77);
    ASSERT_EQ(out.copy(other.record(), bpp, 0, 1, ChromaFilter::kVertical, b.data(), 32 * bytes), 1);
    EXPECT_EQ(a, b) << "bpp " << bpp;
    for (int i = 0; i < 32 * 16; ++i) {
      const uint32_t e = out.mono_tables().rgb32[p.y[i]];
      std::vector<uint8_t> want;
      if (bpp == 15)
        want = {uint8_t(out.mono_tables().rgb15[p.y[i]]), uint8_t(out.mono_tables().rgb15[p.y[i]] >> 8)};
      if (bpp == 16)
        want = {uint8_t(out.mono_tables().rgb16[p.y[i]]), uint8_t(out.mono_tables().rgb16[p.y[i]] >> 8)};
      if (bpp == 24) want = {uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16)};
      if (bpp == 32) want = {uint8_t(e), uint8_t(e >> 8), uint8_t(e >> 16), 0};
      ASSERT_EQ(std::vector<uint8_t>(a.begin() + i * bytes, a.begin() + (i + 1) * bytes), want) << i;
    }
  }
}

// The engine hands out the first six fields as its public plane record and
// the routines as its public frame-copy type.
static_assert(offsetof(kestrum::PlaneRecord, y) == offsetof(KestrumPlaneRecord, y));
static_assert(offsetof(kestrum::PlaneRecord, cb) == offsetof(KestrumPlaneRecord, cb));
static_assert(offsetof(kestrum::PlaneRecord, cr) == offsetof(KestrumPlaneRecord, cr));
static_assert(offsetof(kestrum::PlaneRecord, y_pitch) == offsetof(KestrumPlaneRecord, y_pitch));
static_assert(offsetof(kestrum::PlaneRecord, cb_pitch) == offsetof(KestrumPlaneRecord, cb_pitch));
static_assert(offsetof(kestrum::PlaneRecord, cr_pitch) == offsetof(KestrumPlaneRecord, cr_pitch));
static_assert(sizeof(KestrumPlaneRecord) <= sizeof(kestrum::PlaneRecord));
[[maybe_unused]] constexpr KestrumFrameCopy kPlain = &kestrum::kestrum_frame_copy_plain;
[[maybe_unused]] constexpr KestrumFrameCopy kSmooth = &kestrum::kestrum_frame_copy_smooth;

TEST(FrameCopyRoutines, ConvertTheShownPicture) {
  const Picture p = random_picture(32, 16, 13);
  kestrum::set_shown_picture(nullptr);
  std::vector<uint8_t> got(32 * 16 * 3, 0xCD), want(32 * 16 * 3);
  EXPECT_EQ(kestrum::kestrum_frame_copy_plain(24, 1, 0, got.data(), 96), 0);
  EXPECT_EQ(kestrum::kestrum_frame_copy_smooth(24, 1, 1, got.data(), 96), 0);
  for (uint8_t v : got) ASSERT_EQ(v, 0xCD);

  const kestrum::PlaneRecord rec = p.record();
  kestrum::set_shown_picture(&rec);
  ColourOutput ref(0);
  ref.set_brightness(kestrum::colour_output().brightness());
  for (auto [routine, filter] : {std::pair{&kestrum::kestrum_frame_copy_plain, ChromaFilter::kNearest},
                                 std::pair{&kestrum::kestrum_frame_copy_smooth, ChromaFilter::kVertical}}) {
    kestrum::FrameCopyFn fn = routine;
    for (int variant : {0, 1}) {
      ASSERT_EQ(fn(24, 1, variant, got.data() + 96 * 15, -96), 1);
      ASSERT_EQ(ref.copy(rec, 24, 1, variant, filter, want.data() + 96 * 15, -96), 1);
      EXPECT_EQ(got, want);
    }
    EXPECT_EQ(fn(8, 1, 0, got.data(), 96), 0);
  }
  kestrum::set_shown_picture(nullptr);
}

}  // namespace
