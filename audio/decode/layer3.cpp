// Layer III frames: side information, the main data reservoir, scalefactors,
// Huffman decoding and requantisation, stereo processing, and the hybrid
// filter bank (alias reduction, IMDCT, overlap-add, frequency inversion)
// ahead of the subband synthesis.
#include <bit>
#include <cmath>
#include <cstring>

#include "audio/decode/layer3_internal.h"
#include "audio/decode/layer3_tables.h"
#include "audio/decode/mpeg_frame_decoder.h"

namespace lunaret {
namespace {

struct SideInfo {
  int32_t main_data_begin;
  int32_t scfsi[2][4];
  Granule gr[2][2];
};

// Main data reader: MSB first over the reservoir bytes. Reads never leave
// the buffer because its padding outlasts any single read, and every loop
// that reads stops at `end` (checked against the buffered length).
struct MainReader {
  const uint8_t *data;
  int64_t pos;  // bit position
  uint32_t peek(int32_t n) const {
    uint64_t w;
    std::memcpy(&w, data + (pos >> 3), 8);  // one unaligned load; the padding covers it
    w = __builtin_bswap64(w) << (pos & 7);
    return n == 0 ? 0u : uint32_t(w >> (64 - n));
  }
  uint32_t read(int32_t n) {
    uint32_t v = peek(n);
    pos += n;
    return v;
  }
  // The next 64 bits, the first at the top: at least 57 of them are the
  // stream's, enough for a whole big-values pair with its linbits and
  // signs, so the Huffman loops load once per pair and shift in registers.
  uint64_t word() const {
    uint64_t w;
    std::memcpy(&w, data + (pos >> 3), 8);
    return __builtin_bswap64(w) << (pos & 7);
  }
};

// 2^(q/4) for the requantisation gain in quarter steps.
inline float gain_quarter(int32_t q) {
  static constexpr float kQuarter[4] = {1.0f, 1.18920711500272106672f, 1.41421356237309504880f,
                                        1.68179283050742908606f};
  // Scaling by a power of two inside the normal range is exact: build the
  // power from its exponent bits instead of calling ldexp.
  const int32_t e = (q >> 2) + 127;
  if (e < 1 || e > 254) return std::ldexp(kQuarter[q & 3], q >> 2);
  return kQuarter[q & 3] * std::bit_cast<float>(uint32_t(e) << 23);
}

void read_side_info(StreamBitReader &r, const HeaderRecord &h, SideInfo &si) {
  const int32_t channels = h.channels;
  const int32_t granules = h.id ? 2 : 1;
  if (h.id) {
    si.main_data_begin = int32_t(r.read(9));
    r.skip(channels == 1 ? 5 : 3);
    for (int32_t ch = 0; ch < channels; ++ch)
      for (int32_t band = 0; band < 4; ++band) si.scfsi[ch][band] = int32_t(r.read_bit());
  } else {
    si.main_data_begin = int32_t(r.read(8));
    r.skip(channels == 1 ? 1 : 2);
    std::memset(si.scfsi, 0, sizeof si.scfsi);
  }
  for (int32_t g = 0; g < granules; ++g) {
    for (int32_t ch = 0; ch < channels; ++ch) {
      Granule &gr = si.gr[g][ch];
      gr.part2_3_length = int32_t(r.read(12));
      gr.big_values = int32_t(r.read(9));
      if (gr.big_values > 288) gr.big_values = 288;  // more would run past 576 lines
      gr.global_gain = int32_t(r.read(8));
      gr.scalefac_compress = int32_t(r.read(h.id ? 4 : 9));
      gr.window_switching = int32_t(r.read_bit());
      gr.subblock_gain[0] = gr.subblock_gain[1] = gr.subblock_gain[2] = 0;
      if (gr.window_switching) {
        gr.block_type = int32_t(r.read(2));
        gr.mixed = int32_t(r.read_bit());
        gr.table_select[0] = int32_t(r.read(5));
        gr.table_select[1] = int32_t(r.read(5));
        gr.table_select[2] = 0;
        for (int32_t w = 0; w < 3; ++w) gr.subblock_gain[w] = int32_t(r.read(3));
        // Block type 0 is not allowed with window switching; decode it as
        // a normal long block rather than reject the frame.
        if (gr.block_type != 2) gr.mixed = 0;
        gr.region0_count = 7;  // the boundaries are fixed for switched windows (see regions())
        gr.region1_count = 36;
      } else {
        gr.block_type = 0;
        gr.mixed = 0;
        for (int32_t i = 0; i < 3; ++i) gr.table_select[i] = int32_t(r.read(5));
        gr.region0_count = int32_t(r.read(4));
        gr.region1_count = int32_t(r.read(3));
      }
      gr.preflag = h.id ? int32_t(r.read_bit()) : 0;
      gr.scalefac_scale = int32_t(r.read_bit());
      gr.count1_table = int32_t(r.read_bit());
    }
  }
}

int32_t side_info_bytes(const HeaderRecord &h) {
  if (h.id) return h.channels == 1 ? 17 : 32;
  return h.channels == 1 ? 9 : 17;
}

// MPEG-1 scalefactors, with the scfsi reuse of granule 0's long values.
void read_scalefactors_mpeg1(MainReader &r, const Granule &gr, const int32_t scfsi[4], int32_t granule,
                             Layer3Channel &keep, Scalefactors &sf) {
  const int32_t slen1 = layer3::kSlen[0][gr.scalefac_compress];
  const int32_t slen2 = layer3::kSlen[1][gr.scalefac_compress];
  std::memset(sf.l, 0, sizeof sf.l);
  std::memset(sf.s, 0, sizeof sf.s);
  std::memset(sf.is_max_l, 7, sizeof sf.is_max_l);
  std::memset(sf.is_max_s, 7, sizeof sf.is_max_s);
  sf.intensity_scale = 0;
  if (gr.block_type == 2) {
    int32_t first_short = 0;
    if (gr.mixed) {
      for (int32_t band = 0; band < 8; ++band) sf.l[band] = uint8_t(r.read(slen1));
      first_short = 3;
    }
    for (int32_t band = first_short; band < 12; ++band) {
      const int32_t len = band < 6 ? slen1 : slen2;
      for (int32_t w = 0; w < 3; ++w) sf.s[band][w] = uint8_t(r.read(len));
    }
    std::memcpy(keep.scalefac_l, sf.l, sizeof sf.l);
    return;
  }
  static constexpr int32_t kGroupStart[5] = {0, 6, 11, 16, 21};
  for (int32_t g = 0; g < 4; ++g) {
    const int32_t len = g < 2 ? slen1 : slen2;
    for (int32_t band = kGroupStart[g]; band < kGroupStart[g + 1]; ++band)
      sf.l[band] = (granule == 1 && scfsi[g]) ? keep.scalefac_l[band] : uint8_t(r.read(len));
  }
  std::memcpy(keep.scalefac_l, sf.l, sizeof sf.l);
}

// MPEG-2 low sampling frequency scalefactors (ISO/IEC 13818-3): the
// compress value picks one of six partitionings and the lengths of each
// partition; the right channel of intensity stereo has its own three.
void read_scalefactors_lsf(MainReader &r, const Granule &gr, bool intensity_right, Scalefactors &sf,
                           int32_t &preflag) {
  int32_t slen[4] = {};
  int32_t table = 0;
  int32_t sfc = gr.scalefac_compress;
  sf.intensity_scale = 0;
  if (!intensity_right) {
    if (sfc < 400) {
      slen[0] = (sfc >> 4) / 5;
      slen[1] = (sfc >> 4) % 5;
      slen[2] = (sfc & 15) >> 2;
      slen[3] = sfc & 3;
      table = 0;
    } else if (sfc < 500) {
      sfc -= 400;
      slen[0] = (sfc >> 2) / 5;
      slen[1] = (sfc >> 2) % 5;
      slen[2] = sfc & 3;
      table = 1;
    } else {
      sfc -= 500;
      slen[0] = sfc / 3;
      slen[1] = sfc % 3;
      table = 2;
      preflag = 1;
    }
  } else {
    sf.intensity_scale = sfc & 1;
    sfc >>= 1;
    if (sfc < 180) {
      slen[0] = sfc / 36;
      slen[1] = (sfc % 36) / 6;
      slen[2] = (sfc % 36) % 6;
      table = 3;
    } else if (sfc < 244) {
      sfc -= 180;
      slen[0] = (sfc & 63) >> 4;
      slen[1] = (sfc & 15) >> 2;
      slen[2] = sfc & 3;
      table = 4;
    } else {
      sfc -= 244;
      slen[0] = sfc / 3;
      slen[1] = sfc % 3;
      table = 5;
    }
  }
  const int32_t kind = gr.block_type != 2 ? 0 : gr.mixed ? 2 : 1;
  uint8_t values[54] = {};
  uint8_t maxes[54] = {};
  int32_t n = 0;
  for (int32_t p = 0; p < 4; ++p) {
    const int32_t count = layer3::kLsfPartitions[table][kind][p];
    for (int32_t i = 0; i < count && n < 54; ++i, ++n) {
      values[n] = uint8_t(slen[p] ? r.read(slen[p]) : 0);
      maxes[n] = uint8_t((1 << slen[p]) - 1);
    }
  }
  std::memset(sf.l, 0, sizeof sf.l);
  std::memset(sf.s, 0, sizeof sf.s);
  std::memset(sf.is_max_l, 0, sizeof sf.is_max_l);
  std::memset(sf.is_max_s, 0, sizeof sf.is_max_s);
  int32_t k = 0;
  if (kind == 0) {
    for (int32_t band = 0; band < 21; ++band, ++k) {
      sf.l[band] = values[k];
      sf.is_max_l[band] = maxes[k];
    }
  } else {
    int32_t first_short = 0;
    if (kind == 2) {
      for (int32_t band = 0; band < 6; ++band, ++k) {
        sf.l[band] = values[k];
        sf.is_max_l[band] = maxes[k];
      }
      first_short = 3;
    }
    for (int32_t band = first_short; band < 12; ++band) {
      for (int32_t w = 0; w < 3; ++w, ++k) sf.s[band][w] = values[k];
      sf.is_max_s[band] = maxes[k - 1];
    }
  }
}

// Boundaries (in spectral lines) of the three big-values regions.
void regions(const Granule &gr, const HeaderRecord &h, int32_t bounds[3]) {
  const int16_t *lb = layer3::kBands.long_bounds[rate_slot(h)];
  const int32_t big = gr.big_values * 2;
  if (gr.window_switching) {
    bounds[0] = gr.block_type == 2 ? 36 : lb[8];
    bounds[1] = 576;
  } else {
    int32_t r1 = gr.region0_count + 1;
    int32_t r2 = gr.region0_count + gr.region1_count + 2;
    bounds[0] = lb[r1 > 22 ? 22 : r1];
    bounds[1] = lb[r2 > 22 ? 22 : r2];
  }
  for (int32_t i = 0; i < 2; ++i)
    if (bounds[i] > big) bounds[i] = big;
  bounds[2] = big;
}

// Sign bit of a float's pattern, set when `negative` is 1.
inline float with_sign(float magnitude, uint32_t negative) {
  return std::bit_cast<float>(std::bit_cast<uint32_t>(magnitude) | negative << 31);
}

// Huffman decoding of one granule's big-values and count1 regions into
// sign * |value|^(4/3), before the band gains. Returns the count of lines
// decoded (the rest are zero).
int32_t decode_huffman(MainReader &r, int64_t end, const Granule &gr, const HeaderRecord &h, float xr[576]) {
  const float *p43 = layer3::kPow43.data();
  int32_t bounds[3];
  regions(gr, h, bounds);
  int32_t i = 0;
  for (int32_t region = 0; region < 3; ++region) {
    const layer3::HuffTable &t = layer3::huff_table(gr.table_select[region]);
    const int32_t stop = bounds[region];
    if (t.lut == nullptr) {
      for (; i < stop; ++i) xr[i] = 0.0f;
      continue;
    }
    const uint32_t *lut = t.lut;
    const int32_t first = t.first_bits;
    const int32_t linbits = t.linbits;
    for (; i < stop; i += 2) {
      if (r.pos >= end) {
        xr[i] = xr[i + 1] = 0.0f;
        continue;
      }
      // Longest pair: a 19-bit code, two 13-bit linbits and two signs,
      // 47 bits, inside the word's 57.
      uint64_t w = r.word();
      uint32_t e = lut[w >> (64 - first)];
      int32_t used = 0;
      if (!(e & layer3::kLeaf)) {
        w <<= first;
        used = first;
        e = lut[(e >> 5) + uint32_t(w >> (64 - (e & 31)))];
      }
      const int32_t len = int32_t(e >> 8) & 31;
      w <<= len;
      used += len;
      if (!(e & layer3::kEscape)) {
        // Both lines and their signs from one table entry.
        std::memcpy(xr + i, layer3::kPairLines[(e & 255) << 2 | uint32_t(w >> 62)].v, 2 * sizeof(float));
        r.pos += used + int32_t(e >> layer3::kSignShift & 3);
        continue;
      }
      uint32_t v[2] = {(e >> 4) & 15, e & 15};
      for (int32_t k = 0; k < 2; ++k) {
        if (v[k] == 15) {
          v[k] += uint32_t(w >> (64 - linbits));
          w <<= linbits;
          used += linbits;
        }
        // A zero has no sign bit.
        const uint32_t coded = v[k] != 0;
        xr[i + k] = with_sign(p43[v[k]], uint32_t(w >> 63) & coded);
        w <<= coded;
        used += int32_t(coded);
      }
      r.pos += used;
    }
  }
  // count1: quadruples of -1, 0, 1 until the part ends. Table B is the
  // inverted four bits; table A's codes are looked up by the next six.
  auto count1 = [&](auto code) {
    while (i + 4 <= 576 && r.pos < end) {
      const uint64_t w = r.word();
      int32_t used;
      const uint32_t v = code(w, used);
      const uint32_t signs = uint32_t((w << used) >> 60);
      used += layer3::kQuadSigns[v];
      // A last code that runs past the part belongs to no line.
      if (r.pos + used > end) break;
      r.pos += used;
      std::memcpy(xr + i, layer3::kQuadLines[v << 4 | signs].v, 4 * sizeof(float));
      i += 4;
    }
  };
  if (gr.count1_table) {
    count1([](uint64_t w, int32_t &used) {
      used = 4;
      return 15 - uint32_t(w >> 60);
    });
  } else {
    count1([](uint64_t w, int32_t &used) {
      const uint8_t e = layer3::kQuadA.e[w >> 58];
      used = e >> 4;
      return uint32_t(e & 15);
    });
  }
  for (int32_t k = i; k < 576; ++k) xr[k] = 0.0f;
  return i;
}

// Requantisation: xr = sign * |ix|^(4/3) * 2^(gain / 4), the gain falling
// with the band's scalefactor, pretab and subblock gain; the Huffman step
// left sign * |ix|^(4/3) in xr.
void requantise(const Granule &gr, const HeaderRecord &h, const Scalefactors &sf, int32_t lines,
                float xr[576]) {
  const int16_t *lb = layer3::kBands.long_bounds[rate_slot(h)];
  const int16_t *sbnd = layer3::kBands.short_bounds[rate_slot(h)];
  const int32_t shift = gr.scalefac_scale ? 2 : 1;  // scalefactor step in quarter powers / 2
  const int32_t base = gr.global_gain - 210;
  auto put = [&](int32_t from, int32_t to, int32_t q) {
    const float g = gain_quarter(q);
    for (int32_t k = from; k < to; ++k) xr[k] *= g;
  };
  if (lines > 576) lines = 576;
  int32_t k = 0;
  if (gr.block_type != 2 || gr.mixed) {
    const int32_t long_end = gr.block_type == 2 ? (h.id ? lb[8] : lb[6]) : 576;
    for (int32_t band = 0; band < 22 && k < long_end; ++band) {
      int32_t to = lb[band + 1] < long_end ? lb[band + 1] : long_end;
      if (to > lines) to = lines;
      const int32_t sfv = sf.l[band] + (gr.preflag ? layer3::kPretab[band] : 0);
      put(k, to, base - 2 * shift * sfv);
      k = to;
      if (k >= lines) break;
    }
  }
  if (gr.block_type == 2) {
    for (int32_t band = gr.mixed ? 3 : 0; band < 13 && k < lines; ++band) {
      const int32_t width = sbnd[band + 1] - sbnd[band];
      for (int32_t w = 0; w < 3; ++w) {
        const int32_t from = sbnd[band] * 3 + w * width;
        int32_t to = from + width;
        if (from >= lines) break;
        if (to > lines) to = lines;
        put(from, to, base - 8 * gr.subblock_gain[w] - 2 * shift * sf.s[band][w]);
      }
      k = sbnd[band + 1] * 3;
    }
  }
}

}  // namespace

void Reservoir::reset() {
  length = 0;
  std::memset(bytes, 0, sizeof bytes);
}

int32_t Reservoir::make_room(int32_t n) {
  if (length + n > kCapacity) {
    const int32_t keep = length < kMaxBack ? length : kMaxBack;
    std::memmove(bytes, bytes + length - keep, size_t(keep));
    length = keep;
  }
  return length;
}

void Layer3State::reset() {
  reservoir.reset();
  std::memset(ch, 0, sizeof ch);
  std::memset(xr, 0, sizeof xr);
  std::memset(time, 0, sizeof time);
}

bool MpegFrameDecoder::decode_layer3() {
  const HeaderRecord &h = header;
  SideInfo si;
  read_side_info(reader, h, si);

  // Main data of this frame: the rest of the frame after header, CRC and
  // side information. Free format (no bit rate) cannot be sized: skipped.
  const int32_t bytes = frame_bytes(h);
  const int32_t main_bytes = bytes - 4 - (h.crc_present ? 2 : 0) - side_info_bytes(h);
  if (bytes == 0 || main_bytes < 0) return !reader.overrun();
  Reservoir &res = l3.reservoir;
  const int32_t before = res.make_room(main_bytes);
  reader.read_bytes(res.bytes + before, main_bytes);
  res.length = before + main_bytes;
  std::memset(res.bytes + res.length, 0, Reservoir::kPadding);
  if (reader.overrun()) return false;
  // The frame's main data starts main_data_begin bytes back; a stream cut
  // in the middle has not buffered them yet, and the frame yields nothing.
  if (si.main_data_begin > before) return true;

  MainReader r{res.bytes, int64_t(before - si.main_data_begin) * 8};
  const int64_t limit = int64_t(res.length) * 8;
  const int32_t granules = h.id ? 2 : 1;
  const int32_t channels = h.channels;
  Scalefactors sf[2];
  int32_t lines[2] = {0, 0};
  for (int32_t g = 0; g < granules; ++g) {
    for (int32_t ch = 0; ch < channels; ++ch) {
      Granule &gr = si.gr[g][ch];
      const int64_t part_start = r.pos;
      int64_t end = part_start + gr.part2_3_length;
      if (end > limit) end = limit;
      if (h.id) {
        read_scalefactors_mpeg1(r, gr, si.scfsi[ch], g, l3.ch[ch], sf[ch]);
      } else {
        const bool intensity_right = ch == 1 && h.mode == 1 && (h.mode_extension & 1);
        read_scalefactors_lsf(r, gr, intensity_right, sf[ch], gr.preflag);
      }
      if (r.pos < end) {
        lines[ch] = decode_huffman(r, end, gr, h, l3.xr[ch]);
      } else {
        lines[ch] = 0;
        std::memset(l3.xr[ch], 0, sizeof l3.xr[ch]);
      }
      requantise(gr, h, sf[ch], lines[ch], l3.xr[ch]);
      r.pos = part_start + gr.part2_3_length;
      if (r.pos > limit) r.pos = limit;
    }
    if (channels == 2 && h.mode == 1 && h.mode_extension)
      layer3_stereo(h, si.gr[g][1], sf[1], l3.xr[0], l3.xr[1], lines);
    for (int32_t ch = 0; ch < channels; ++ch)
      layer3_hybrid(si.gr[g][ch], h, l3.xr[ch], lines[ch], l3.ch[ch].overlap, l3.time[ch]);
    // The right channel's slots are read only for a two-channel stream.
    for (int32_t t = 0; t < 18; ++t) emit_slot(l3.time[0] + t * 32, l3.time[1] + t * 32);
  }
  return true;
}

}  // namespace lunaret
