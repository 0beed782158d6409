#include "components/sondral/layer1_encoder.h"

#include <algorithm>
#include <cmath>

#include "common/mpeg_audio/header_tables.h"
#include "components/sondral/bit_rates.h"

namespace sondral {

namespace {

constexpr int kMaxAllocation = 14;  // 15 bits per sample
constexpr int kScalefactors = 63;
constexpr int kHeaderBits = 32;
constexpr int kAllocationBits = 4;
constexpr int kScalefactorBits = 6;

/// Scalefactors of Layers I and II (Table 3-B.1): 2 * 2^(-i/3).
struct ScalefactorTable {
  float value[kScalefactors];
  ScalefactorTable() {
    for (int i = 0; i < kScalefactors; ++i) value[i] = float(2.0 * std::pow(2.0, -i / 3.0));
  }
};
const ScalefactorTable &scalefactors() {
  static const ScalefactorTable t;
  return t;
}

/// Most significant bit first into a zeroed buffer.
class BitWriter {
 public:
  explicit BitWriter(uint8_t *p) : p_(p) {}
  void put(uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b, ++pos_)
      if ((value >> b) & 1) p_[pos_ >> 3] |= uint8_t(0x80 >> (pos_ & 7));
  }

 private:
  uint8_t *p_;
  size_t pos_ = 0;
};

int sampling_index_of(int rate) {
  for (int i = 0; i < 3; ++i)
    if (mpeg_audio::kSampleRates[4 + i] == rate) return i;
  return 0;
}

}  // namespace

Layer1Encoder::Layer1Encoder(int sample_rate, int channels, int kbps)
    : channels_(channels),
      sampling_index_(sampling_index_of(sample_rate)),
      bitrate_index_(bit_rate_index(1, kbps)),
      slot_bits_(int64_t(12000) * kbps),
      sample_rate_(sample_rate) {
  scalefactors();
}

void Layer1Encoder::analyse(const int16_t *pcm) {
  for (int ch = 0; ch < channels_; ++ch) {
    for (int i = 0; i < kFrameSamples; ++i) pcm_[i] = float(pcm[i * channels_ + ch]) * (1.0f / 32768.0f);
    for (int s = 0; s < kSlots; ++s) banks_[ch].analyse(pcm_ + 32 * s, sb_[ch][s]);
    const float *sf = scalefactors().value;
    for (int b = 0; b < kSubbands; ++b) {
      float peak = 0.0f;
      for (int s = 0; s < kSlots; ++s) peak = std::max(peak, std::fabs(sb_[ch][s][b]));
      // The smallest scalefactor that still covers the peak.
      int i = kScalefactors - 1;
      while (i > 0 && sf[i] < peak) --i;
      scf_[ch][b] = i;
    }
  }
}

void Layer1Encoder::allocate(int available) {
  // Noise energy of each subband at its present allocation: the signal
  // itself with no bits, else a uniform quantiser's step^2 / 12 over the
  // scalefactor's range.
  double noise[2][kSubbands];
  const float *sf = scalefactors().value;
  for (int ch = 0; ch < channels_; ++ch)
    for (int b = 0; b < kSubbands; ++b) {
      alloc_[ch][b] = 0;
      double energy = 0.0;
      for (int s = 0; s < kSlots; ++s) energy += double(sb_[ch][s][b]) * sb_[ch][s][b];
      noise[ch][b] = energy / kSlots;
    }
  auto quantiser_noise = [&](int ch, int b, int allocation) {
    const double levels = double((1 << (allocation + 1)) - 1);
    const double step = 2.0 * sf[scf_[ch][b]] / levels;
    return step * step / 12.0;
  };
  bool full[2][kSubbands] = {};
  for (;;) {
    // The subband with the most noise that can still take bits goes first.
    int best_ch = -1, best_b = -1;
    double worst = 0.0;
    for (int ch = 0; ch < channels_; ++ch)
      for (int b = 0; b < kSubbands; ++b)
        if (!full[ch][b] && noise[ch][b] > worst) {
          worst = noise[ch][b];
          best_ch = ch;
          best_b = b;
        }
    if (best_ch < 0) break;
    int &a = alloc_[best_ch][best_b];
    // The first step brings the scalefactor and 2 bits per sample, later
    // steps one more bit per sample.
    const int cost = a == 0 ? kScalefactorBits + kSlots * 2 : kSlots;
    if (cost > available) {
      full[best_ch][best_b] = true;
      continue;
    }
    available -= cost;
    ++a;
    noise[best_ch][best_b] = quantiser_noise(best_ch, best_b, a);
    if (a == kMaxAllocation) full[best_ch][best_b] = true;
  }
}

void Layer1Encoder::encode(const int16_t *pcm, std::vector<uint8_t> &frame) {
  analyse(pcm);
  // A padding slot whenever the fractional slots add up to one.
  padding_rest_ += slot_bits_ % sample_rate_;
  int padding = 0;
  if (padding_rest_ >= sample_rate_) {
    padding_rest_ -= sample_rate_;
    padding = 1;
  }
  const int bytes = int(slot_bits_ / sample_rate_ + padding) * 4;
  frame.assign(size_t(bytes), 0);
  allocate(bytes * 8 - kHeaderBits - kAllocationBits * kSubbands * channels_);

  BitWriter w(frame.data());
  w.put(0xFFF, 12);
  w.put(1, 1);  // MPEG-1
  w.put(3, 2);  // Layer I
  w.put(1, 1);  // no CRC
  w.put(uint32_t(bitrate_index_), 4);
  w.put(uint32_t(sampling_index_), 2);
  w.put(uint32_t(padding), 1);
  w.put(0, 1);                       // private
  w.put(channels_ == 2 ? 0 : 3, 2);  // stereo or single channel
  w.put(0, 2);                       // mode extension
  w.put(0, 4);                       // copyright, original, emphasis
  for (int b = 0; b < kSubbands; ++b)
    for (int ch = 0; ch < channels_; ++ch) w.put(uint32_t(alloc_[ch][b]), kAllocationBits);
  for (int b = 0; b < kSubbands; ++b)
    for (int ch = 0; ch < channels_; ++ch)
      if (alloc_[ch][b]) w.put(uint32_t(scf_[ch][b]), kScalefactorBits);
  const float *sf = scalefactors().value;
  for (int s = 0; s < kSlots; ++s)
    for (int b = 0; b < kSubbands; ++b)
      for (int ch = 0; ch < channels_; ++ch) {
        const int a = alloc_[ch][b];
        if (!a) continue;
        const int nb = a + 1;
        const int top = (1 << nb) - 2;  // the all-ones code is forbidden
        // The decoder rebuilds code c as (2(c + 1) - 2^nb) / (2^nb - 1).
        const double x = double(sb_[ch][s][b]) / sf[scf_[ch][b]];
        const int c = int(std::lround((x * ((1 << nb) - 1) + top) / 2.0));
        w.put(uint32_t(std::clamp(c, 0, top)), nb);
      }
}

}  // namespace sondral
