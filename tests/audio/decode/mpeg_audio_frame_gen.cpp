#include "tests/audio/decode/mpeg_audio_frame_gen.h"

#include <random>

#include "audio/decode/frame_header.h"
#include "audio/decode/layer2_tables.h"
#include "audio/decode/mpeg_audio_decoder.h"

namespace audio_test {
namespace {

class BitWriter {
 public:
  void put(uint32_t value, int32_t bits) {
    for (int32_t i = bits - 1; i >= 0; --i) {
      if (fill_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> fill_);
      fill_ = (fill_ + 1) & 7;
    }
  }
  int64_t bits() const { return int64_t(bytes_.size()) * 8 - (fill_ ? 8 - fill_ : 0); }
  void pad_to_bytes(size_t n) {
    fill_ = 0;
    while (bytes_.size() < n) bytes_.push_back(0);
  }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  int32_t fill_ = 0;
};

void write_header(BitWriter &w, const FrameGenOptions &o) {
  w.put(0xFFF, 12);
  w.put(uint32_t(o.id), 1);
  w.put(uint32_t(4 - o.layer), 2);
  w.put(o.crc ? 0u : 1u, 1);
  w.put(uint32_t(o.bitrate_index), 4);
  w.put(uint32_t(o.sampling_index), 2);
  w.put(0, 1);  // padding
  w.put(0, 1);  // private
  w.put(uint32_t(o.mode), 2);
  w.put(uint32_t(o.mode_extension), 2);
  w.put(0, 1);
  w.put(1, 1);
  w.put(0, 2);
  if (o.crc) w.put(0, 16);
}

lunaret::HeaderRecord header_of(const FrameGenOptions &o) {
  lunaret::HeaderRecord h;
  h.id = o.id;
  h.layer = o.layer;
  h.crc_present = o.crc ? 1 : 0;
  h.bitrate_index = o.bitrate_index;
  h.sampling_index = o.sampling_index;
  h.mode = o.mode;
  h.mode_extension = o.mode_extension;
  lunaret::derive_header(h);
  return h;
}

// Sample bits of one subband for a whole frame, for the budget.
int32_t sample_bits_layer1(int32_t alloc) { return alloc ? 12 * (alloc + 1) : 0; }

void write_layer1(BitWriter &w, const FrameGenOptions &o, const lunaret::HeaderRecord &h, std::mt19937 &rng,
                  int64_t budget) {
  const int32_t channels = h.channels, bound = h.jsbound;
  int32_t alloc[2][32] = {}, scf[2][32] = {};
  std::uniform_int_distribution<int32_t> pick_alloc(0, o.max_allocation < 14 ? o.max_allocation : 14);
  std::uniform_int_distribution<int32_t> pick_scf(o.scf_min, o.scf_max);
  for (int32_t sb = 0; sb < 32 && sb < o.busy_subbands; ++sb)
    for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) alloc[ch][sb] = pick_alloc(rng);
  if (o.silent_subband >= 0)
    for (int32_t ch = 0; ch < (o.silent_subband < bound ? channels : 1); ++ch)
      if (!alloc[ch][o.silent_subband]) alloc[ch][o.silent_subband] = 3;
  for (int32_t sb = bound; sb < 32; ++sb) alloc[1][sb] = alloc[0][sb];
  // Drop allocations from the top until the frame holds them.
  auto cost = [&] {
    int64_t bits = 0;
    for (int32_t sb = 0; sb < 32; ++sb) {
      bits += sb < bound ? 4 * channels : 4;
      for (int32_t ch = 0; ch < channels; ++ch) bits += alloc[ch][sb] ? 6 : 0;
      for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) bits += sample_bits_layer1(alloc[ch][sb]);
    }
    return bits;
  };
  for (int32_t sb = 31; sb >= 0 && cost() > budget; --sb)
    if (sb != o.silent_subband) alloc[0][sb] = alloc[1][sb] = 0;
  for (int32_t sb = 0; sb < 32; ++sb)
    for (int32_t ch = 0; ch < channels; ++ch) scf[ch][sb] = sb == o.silent_subband ? 63 : pick_scf(rng);

  for (int32_t sb = 0; sb < 32; ++sb)
    for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) w.put(uint32_t(alloc[ch][sb]), 4);
  for (int32_t sb = 0; sb < 32; ++sb)
    for (int32_t ch = 0; ch < channels; ++ch)
      if (alloc[ch][sb]) w.put(uint32_t(scf[ch][sb]), 6);
  for (int32_t slot = 0; slot < 12; ++slot)
    for (int32_t sb = 0; sb < 32; ++sb)
      for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch)
        if (alloc[ch][sb]) {
          const int32_t bits = alloc[ch][sb] + 1;
          // Every code but all ones (forbidden).
          w.put(std::uniform_int_distribution<uint32_t>(0, (1u << bits) - 2)(rng), bits);
        }
}

void write_layer2(BitWriter &w, const FrameGenOptions &o, const lunaret::HeaderRecord &h, std::mt19937 &rng,
                  int64_t budget) {
  const auto &table = lunaret::layer2::kAllocTables[lunaret::layer2_table_index(h)];
  const int32_t channels = h.channels, limit = table.sblimit;
  const int32_t bound = h.jsbound < limit ? h.jsbound : limit;
  int32_t alloc[2][32] = {}, scfsi[2][32] = {}, scf[2][32][3] = {};
  std::uniform_int_distribution<int32_t> pick_scf(o.scf_min, o.scf_max);
  for (int32_t sb = 0; sb < limit && sb < o.busy_subbands; ++sb) {
    const int32_t top = (1 << table.nbal[sb]) - 1;
    const int32_t cap = o.max_allocation < top ? o.max_allocation : top;
    for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch)
      alloc[ch][sb] = std::uniform_int_distribution<int32_t>(0, cap)(rng);
  }
  if (o.silent_subband >= 0 && o.silent_subband < limit)
    for (int32_t ch = 0; ch < (o.silent_subband < bound ? channels : 1); ++ch)
      if (!alloc[ch][o.silent_subband]) alloc[ch][o.silent_subband] = 1;
  for (int32_t sb = bound; sb < limit; ++sb) alloc[1][sb] = alloc[0][sb];
  for (int32_t sb = 0; sb < limit; ++sb)
    for (int32_t ch = 0; ch < channels; ++ch) {
      scfsi[ch][sb] = std::uniform_int_distribution<int32_t>(0, 3)(rng);
      for (int32_t p = 0; p < 3; ++p) scf[ch][sb][p] = sb == o.silent_subband ? 63 : pick_scf(rng);
    }
  auto sample_bits = [&](int32_t sb, int32_t a) {
    if (!a) return 0;
    const auto &q = lunaret::layer2::kQuantClasses[table.classes[sb][a]];
    return 12 * (q.grouped ? q.bits : 3 * q.bits);
  };
  static constexpr int32_t kScfCount[4] = {3, 2, 1, 2};
  auto cost = [&] {
    int64_t bits = 0;
    for (int32_t sb = 0; sb < limit; ++sb) {
      bits += table.nbal[sb] * (sb < bound ? channels : 1);
      for (int32_t ch = 0; ch < channels; ++ch)
        if (alloc[ch][sb]) bits += 2 + 6 * kScfCount[scfsi[ch][sb]];
      for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) bits += sample_bits(sb, alloc[ch][sb]);
    }
    return bits;
  };
  for (int32_t sb = limit - 1; sb >= 0 && cost() > budget; --sb)
    if (sb != o.silent_subband) alloc[0][sb] = alloc[1][sb] = 0;

  for (int32_t sb = 0; sb < limit; ++sb)
    for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch)
      w.put(uint32_t(alloc[ch][sb]), table.nbal[sb]);
  for (int32_t sb = 0; sb < limit; ++sb)
    for (int32_t ch = 0; ch < channels; ++ch)
      if (alloc[ch][sb]) w.put(uint32_t(scfsi[ch][sb]), 2);
  for (int32_t sb = 0; sb < limit; ++sb)
    for (int32_t ch = 0; ch < channels; ++ch)
      if (alloc[ch][sb])
        for (int32_t i = 0; i < kScfCount[scfsi[ch][sb]]; ++i) w.put(uint32_t(scf[ch][sb][i]), 6);
  for (int32_t group = 0; group < 12; ++group)
    for (int32_t sb = 0; sb < limit; ++sb)
      for (int32_t ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
        if (!alloc[ch][sb]) continue;
        const auto &q = lunaret::layer2::kQuantClasses[table.classes[sb][alloc[ch][sb]]];
        std::uniform_int_distribution<uint32_t> level(0, uint32_t(q.levels) - 1);
        if (q.grouped) {
          const uint32_t n = uint32_t(q.levels);
          const uint32_t a = level(rng), b = level(rng), c = level(rng);
          w.put(a + n * (b + n * c), q.bits);
        } else {
          for (int i = 0; i < 3; ++i) w.put(level(rng), q.bits);
        }
      }
}

}  // namespace

std::vector<uint8_t> make_mpeg_audio_stream(const FrameGenOptions &options) {
  FrameGenOptions o = options;
  if (o.mode != 1) o.mode_extension = 0;
  std::mt19937 rng(o.seed);
  const lunaret::HeaderRecord h = header_of(o);
  const int32_t frame_len = lunaret::frame_bytes(h);
  BitWriter w;
  for (int32_t f = 0; f < o.frames; ++f) {
    const size_t frame_start = size_t((w.bits() + 7) / 8);
    write_header(w, o);
    const int64_t budget = int64_t(frame_len) * 8 - (w.bits() - int64_t(frame_start) * 8);
    if (o.layer == 1)
      write_layer1(w, o, h, rng, budget);
    else
      write_layer2(w, o, h, rng, budget);
    w.pad_to_bytes(frame_start + size_t(frame_len));
  }
  return w.take();
}

}  // namespace audio_test
