// Hand-made streams for the rules no generated stream pins down: display
// order, vectors pointing outside the picture, escapes at their extremes,
// invalid escapes abandoning a slice, DC-only blocks, the coefficient limit,
// monochrome decoding, and the reader's start-code edge cases.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/video/decode/stream_support.h"
#include "video/decode/bit_reader.h"
#include "video/decode/decoder.h"
#include "video/decode/idct.h"

namespace {

using video_test::BitWriter;
using video_test::MemorySource;

void sequence_header(BitWriter &w, int width, int height) {
  w.start_code(0x000001B3);
  w.put(uint32_t(width), 12);
  w.put(uint32_t(height), 12);
  w.put(1, 4);  // aspect
  w.put(3, 4);  // 25 Hz
  w.put(2000, 18);
  w.put(1, 1);  // marker
  w.put(20, 10);
  w.put(0, 1);  // constrained_parameters_flag
  w.put(0, 1);  // default intra matrix
  w.put(0, 1);  // default non-intra matrix
}

void mpeg2_extensions(BitWriter &w) {
  w.start_code(0x000001B5);
  w.put(1, 4);     // sequence extension
  w.put(0x48, 8);  // main profile, main level
  w.put(1, 1);     // progressive_sequence
  w.put(1, 2);     // 4:2:0
  w.put(0, 2);
  w.put(0, 2);
  w.put(0, 12);
  w.put(1, 1);
  w.put(0, 8);
  w.put(0, 1);
  w.put(0, 2);
  w.put(0, 5);
}

void gop_header(BitWriter &w, bool closed) {
  w.start_code(0x000001B8);
  w.put(0, 25);
  w.put(closed, 1);
  w.put(0, 1);
}

// Picture header; f_code applies to both directions.
void picture_header(BitWriter &w, int type, int f_code = 1) {
  w.start_code(0x00000100);
  w.put(0, 10);
  w.put(uint32_t(type), 3);
  w.put(0xFFFF, 16);
  if (type == 2 || type == 3) {
    w.put(0, 1);
    w.put(uint32_t(f_code), 3);
  }
  if (type == 3) {
    w.put(0, 1);
    w.put(uint32_t(f_code), 3);
  }
  w.put(0, 1);  // extra_bit_picture
}

void picture_coding_extension(BitWriter &w, int type) {
  w.start_code(0x000001B5);
  w.put(8, 4);
  const int f = type == 1 ? 15 : 1;
  w.put(uint32_t(f), 4);
  w.put(uint32_t(f), 4);
  w.put(uint32_t(type == 3 ? 1 : 15), 4);
  w.put(uint32_t(type == 3 ? 1 : 15), 4);
  w.put(0, 2);  // intra_dc_precision
  w.put(3, 2);  // frame picture
  w.put(0, 1);  // top_field_first
  w.put(1, 1);  // frame_pred_frame_dct
  w.put(0, 1);  // concealment
  w.put(0, 1);  // q_scale_type
  w.put(0, 1);  // intra_vlc_format
  w.put(0, 1);  // alternate_scan
  w.put(0, 1);  // repeat_first_field
  w.put(1, 1);  // chroma_420_type
  w.put(1, 1);  // progressive_frame
  w.put(0, 1);  // composite_display_flag
}

void slice_header(BitWriter &w, int row, int quantiser_scale_code) {
  w.start_code(0x00000100 + uint32_t(row));
  w.put(uint32_t(quantiser_scale_code), 5);
  w.put(0, 1);  // extra_bit_slice
}

// dct_dc_differential of value d with its size code.
void dc_differential(BitWriter &w, int d, bool luma) {
  int size = 0;
  for (int m = d < 0 ? -d : d; m; m >>= 1) ++size;
  const char *const luma_codes[] = {"100", "00", "01", "101", "110", "1110", "11110", "111110", "1111110"};
  const char *const chroma_codes[] = {"00",    "01",     "10",      "110",     "1110",
                                      "11110", "111110", "1111110", "11111110"};
  w.put_bits(luma ? luma_codes[size] : chroma_codes[size]);
  if (size) w.put(uint32_t(d > 0 ? d : d + (1 << size) - 1), size);
}

// An intra macroblock whose blocks are flat: luma at `y`, chroma moved by
// chroma_differential from its predictor.
// dc_pred says where the predictors stand (they persist within a slice).
void flat_intra_macroblock(BitWriter &w, const char *type_code, int y, int &dc_pred_y,
                           int chroma_differential = 0) {
  w.put_bits(type_code);
  for (int b = 0; b < 4; ++b) {
    dc_differential(w, b == 0 ? y - 128 - dc_pred_y : 0, true);
    w.put_bits("10");  // end of block
  }
  dc_pred_y = y - 128;
  for (int b = 0; b < 2; ++b) {
    dc_differential(w, chroma_differential, false);
    w.put_bits("10");
  }
}

// A one-macroblock picture (16x16) that is intra-coded flat at `y`.
void flat_picture(BitWriter &w, int type, int y) {
  picture_header(w, type);
  slice_header(w, 1, 8);
  w.put_bits("1");  // macroblock_address_increment 1
  int pred = 0;
  flat_intra_macroblock(w, type == 1 ? "1" : "00011", y, pred);
}

kestrum::Planes decode_and_shown(kestrum::Decoder &d) { return d.shown_planes(); }

TEST(DisplayOrder, IBBPShowsBPicturesAtOnceAndAnchorsOneLate) {
  BitWriter w;
  sequence_header(w, 16, 16);
  gop_header(w, true);
  flat_picture(w, 1, 40);   // I
  flat_picture(w, 3, 80);   // B
  flat_picture(w, 3, 120);  // B
  flat_picture(w, 2, 160);  // P
  w.start_code(0x000001B7);
  MemorySource m{w.bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  EXPECT_FALSE(d.has_shown_picture());  // the I picture waits for the next anchor
  std::vector<int> shown;
  while (d.step_picture()) {
    ASSERT_TRUE(d.has_shown_picture());
    shown.push_back(decode_and_shown(d).y[0]);
  }
  ASSERT_EQ(d.show_last_anchor(), 1);
  shown.push_back(d.shown_planes().y[0]);
  EXPECT_EQ(shown, (std::vector<int>{80, 120, 40, 160}));
  EXPECT_EQ(d.show_last_anchor(), 0);
}

TEST(DisplayOrder, OpenGopSkipsLeadingBPicturesAtOpen) {
  BitWriter w;
  sequence_header(w, 16, 16);
  gop_header(w, false);
  flat_picture(w, 1, 40);
  flat_picture(w, 3, 80);  // refers to a picture before the stream
  flat_picture(w, 2, 160);
  flat_picture(w, 3, 120);
  w.start_code(0x000001B7);
  MemorySource m{w.bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  ASSERT_TRUE(d.has_shown_picture());
  EXPECT_EQ(d.shown_planes().y[0], 40);  // the P was decoded, the I is shown
  ASSERT_EQ(d.step_picture(), 1);
  EXPECT_EQ(d.shown_planes().y[0], 120);
  EXPECT_EQ(d.step_picture(), 0);
}

TEST(Intra, DcOnlyBlockAfterSliceStartIsGrey) {
  BitWriter w;
  sequence_header(w, 16, 16);
  gop_header(w, true);
  flat_picture(w, 1, 128);
  w.start_code(0x000001B7);
  MemorySource m{w.bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  const kestrum::Planes p = d.target_planes();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(p.y[y * p.y_stride + x], 128);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.cb[i], 128);
}

// An MPEG-1 I picture (16x16) whose first luma block carries DC d and the
// given AC codes (bits after the DC), the others flat grey.
std::vector<uint8_t> mpeg1_block_stream(int dc, const char *ac_bits, int quantiser_scale_code) {
  BitWriter w;
  sequence_header(w, 16, 16);
  gop_header(w, true);
  picture_header(w, 1);
  slice_header(w, 1, quantiser_scale_code);
  w.put_bits("1");
  w.put_bits("1");  // intra
  dc_differential(w, dc, true);
  w.put_bits(ac_bits);
  w.put_bits("10");
  for (int b = 1; b < 4; ++b) {
    dc_differential(w, b == 1 ? -dc : 0, true);
    w.put_bits("10");
  }
  for (int b = 0; b < 2; ++b) {
    dc_differential(w, 0, false);
    w.put_bits("10");
  }
  w.start_code(0x000001B7);
  return w.bytes;
}

// The first luma block decoded from a stream, with settings.
std::vector<uint8_t> first_block(const std::vector<uint8_t> &bytes, const kestrum::DecoderSettings &s = {}) {
  MemorySource m{bytes};
  kestrum::Decoder d;
  d.set_settings(s);
  d.set_source(m.source());
  EXPECT_EQ(d.open_stream(), 1);
  const kestrum::Planes p = d.target_planes();
  std::vector<uint8_t> out;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) out.push_back(p.y[y * p.y_stride + x]);
  return out;
}

// What the accurate transform makes of coefficients (raster positions).
std::vector<uint8_t> expected_block(std::initializer_list<std::pair<int, int>> coefficients) {
  int16_t block[64] = {};
  for (const auto &[pos, value] : coefficients) block[(pos & 7) * 8 + (pos >> 3)] = int16_t(value);
  uint8_t out[64];
  kestrum::idct_accurate_put_c(block, out, 8);
  return std::vector<uint8_t>(out, out + 64);
}

TEST(Escapes, Mpeg1LevelsAtTheExtremes) {
  // Escape "000001", run 0 (6 bits), level byte 128 then 0x01: -255; level
  // byte 0 then 0xFF: +255. With quantiser_scale 1 and the default intra
  // weight 16 at raster position 1: (2 x 255 x 1 x 16) / 16 = 510, made odd
  // = 509.
  struct Case {
    const char *bits;
    int value;
  } cases[] = {
      {"000001"
       "000000"
       "10000000"
       "00000001",
       -509},
      {"000001"
       "000000"
       "00000000"
       "11111111",
       509},
      {"000001"
       "000000"
       "10000001",
       -253},  // -127 -> 2 x 127 x 16 / 16 = 254 -> 253
      {"000001"
       "000000"
       "01111111",
       253},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(first_block(mpeg1_block_stream(0, c.bits, 1)), expected_block({{0, 0}, {1, c.value}}))
        << c.bits;
  }
}

TEST(Coefficients, LimitOfOneKeepsDcAndFirstAc) {
  // DC 4 (x 8 = 32), then run 0 level 2 at position 1 ("0100" + sign 0) and
  // run 0 level 1 at position 8 ("110"), quantiser_scale 2.
  const auto bytes = mpeg1_block_stream(4,
                                        "01000"
                                        "110",
                                        2);
  kestrum::DecoderSettings limit_one;
  limit_one.coefficient_limit = 1;
  // (2 x 2 x 2 x 16) / 16 = 8 -> 7; (2 x 1 x 2 x 16) / 16 = 4 -> 3 at
  // raster 8 (weight 16).
  EXPECT_EQ(first_block(bytes), expected_block({{0, 32}, {1, 7}, {8, 3}}));
  EXPECT_EQ(first_block(bytes, limit_one), expected_block({{0, 32}, {1, 7}}));
}

TEST(Coefficients, MonochromeLeavesChromaAndKeepsLumaInStep) {
  BitWriter w;
  sequence_header(w, 32, 16);
  gop_header(w, true);
  picture_header(w, 1);
  slice_header(w, 1, 8);
  int pred = 0;
  w.put_bits("1");
  flat_intra_macroblock(w, "1", 60, pred, 72);  // chroma 128 + 72
  w.put_bits("1");
  flat_intra_macroblock(w, "1", 200, pred);
  w.start_code(0x000001B7);
  kestrum::DecoderSettings mono;
  mono.monochrome = true;
  for (const auto &s : {kestrum::DecoderSettings{}, mono}) {
    MemorySource m{w.bytes};
    kestrum::Decoder d;
    d.set_settings(s);
    d.set_source(m.source());
    ASSERT_EQ(d.open_stream(), 1);
    const kestrum::Planes p = d.target_planes();
    EXPECT_EQ(p.y[0], 60);
    EXPECT_EQ(p.y[16], 200);  // the second macroblock still decodes
    EXPECT_EQ(p.cb[0], s.monochrome ? 128 : 200);
    EXPECT_EQ(p.cr[0], s.monochrome ? 128 : 200);
  }
}

TEST(Escapes, Mpeg2LevelZeroAbandonsTheSlice) {
  // Two macroblocks in one slice of an MPEG-2 I picture; the second has an
  // escape with level 0, so it keeps the black of the fresh buffer while
  // the first is decoded.
  BitWriter w;
  sequence_header(w, 32, 16);
  mpeg2_extensions(w);
  gop_header(w, true);
  picture_header(w, 1);
  picture_coding_extension(w, 1);
  slice_header(w, 1, 8);
  int pred = 0;
  w.put_bits("1");
  flat_intra_macroblock(w, "1", 90, pred);
  w.put_bits("1");
  w.put_bits("1");  // intra
  dc_differential(w, 0, true);
  w.put_bits(
      "000001"
      "000000"
      "000000000000");  // escape, run 0, level 0
  w.put_bits("10");
  w.start_code(0x000001B7);
  MemorySource m{w.bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  EXPECT_TRUE(d.sequence().is_mpeg2);
  const kestrum::Planes p = d.target_planes();
  EXPECT_EQ(p.y[0], 90);
  EXPECT_EQ(p.y[15 * p.y_stride + 15], 90);
  for (int y = 0; y < 16; ++y)
    for (int x = 16; x < 32; ++x) ASSERT_EQ(p.y[y * p.y_stride + x], 0) << x << "," << y;
}

// motion_code of magnitude m (B.10) with sign and residual for f_code 3.
void motion_component(BitWriter &w, int delta) {
  // f = 4: delta = ((|code| - 1) x 4 + residual + 1) x sign.
  const char *const codes[] = {"1",       "01",      "001",       "0001",      "000011",   "0000101",
                               "0000100", "0000011", "000001011", "000001010", "000001001"};
  if (delta == 0) {
    w.put_bits("1");
    return;
  }
  const int mag = delta < 0 ? -delta : delta;
  const int code = (mag - 1) / 4 + 1;
  const int residual = (mag - 1) % 4;
  w.put_bits(codes[code]);
  w.put(delta < 0, 1);
  w.put(uint32_t(residual), 2);
}

TEST(Motion, VectorFarAbovePictureKeepsItsHorizontalPart) {
  // I picture 32x32 of four flat macroblocks, then a P picture whose
  // macroblock (1, 0) points 16 pixels left and 20 lines above the top:
  // the vertical part is dropped, the horizontal part kept, so it copies
  // macroblock (0, 0).
  BitWriter w;
  sequence_header(w, 32, 32);
  gop_header(w, true);
  picture_header(w, 1);
  const int values[4] = {50, 100, 150, 200};
  for (int row = 0; row < 2; ++row) {
    slice_header(w, row + 1, 8);
    int pred = 0;
    for (int col = 0; col < 2; ++col) {
      w.put_bits("1");
      flat_intra_macroblock(w, "1", values[row * 2 + col], pred);
    }
  }
  picture_header(w, 2, 3);
  slice_header(w, 1, 8);
  w.put_bits("011");         // increment 2: macroblock (1, 0)
  w.put_bits("001");         // motion forward, not coded
  motion_component(w, -32);  // 16 pixels left (half-pel units)
  motion_component(w, -40);  // 20 lines up
  w.start_code(0x000001B7);
  MemorySource m{w.bytes};
  kestrum::Decoder d;
  d.set_source(m.source());
  ASSERT_EQ(d.open_stream(), 1);
  ASSERT_EQ(d.step_picture(), 1);
  const kestrum::Planes p = d.target_planes();
  for (int y = 0; y < 16; ++y)
    for (int x = 16; x < 32; ++x) ASSERT_EQ(p.y[y * p.y_stride + x], 50) << x << "," << y;
}

TEST(Reader, StartCodeSearchFromEveryBitPosition) {
  // The prefix sits at byte 8; a search begun anywhere before it, at any
  // bit of a word (25..31 included), finds it after aligning to a byte.
  BitWriter w;
  w.put(0xFFFFFFFF, 32);
  w.put(0xFFFFFFFF, 32);
  sequence_header(w, 48, 32);
  for (int skip_bits = 0; skip_bits <= 64; ++skip_bits) {
    MemorySource m{w.bytes};
    kestrum::BitReader r;
    r.set_source(&MemorySource::read, &m);
    r.ensure_loaded();
    r.skip(skip_bits);
    ASSERT_TRUE(r.next_start_code()) << skip_bits;
    EXPECT_EQ(r.peek(32), 0x000001B3u) << skip_bits;
  }
}

TEST(Reader, TruncatedAndGarbageStreamsEndCleanly) {
  BitWriter w;
  sequence_header(w, 16, 16);
  gop_header(w, true);
  flat_picture(w, 1, 40);
  flat_picture(w, 2, 60);
  for (size_t cut = 0; cut < w.bytes.size(); ++cut) {
    MemorySource m{std::vector<uint8_t>(w.bytes.begin(), w.bytes.begin() + cut)};
    kestrum::Decoder d;
    d.set_source(m.source());
    d.open_stream();
    while (d.step_picture()) {
    }
    EXPECT_TRUE(d.end_of_data());
  }
}

}  // namespace
