#include "audio/output/speaker_placement.h"

#include "audio/decode/pcm_modes.h"

namespace lunaret {

namespace {

// WAVE speaker bits.
constexpr uint16_t kFL = 0x1, kFR = 0x2, kFC = 0x4, kLFE = 0x8, kBL = 0x10, kBR = 0x20, kBC = 0x100,
                   kSL = 0x200, kSR = 0x400;

constexpr PresetLayout kLayouts[2][kPresets] = {
    {{2, 0},
     {1, 0},
     {1, 0},
     {1, 0},
     {2, 0},
     {3, kFL | kFR | kFC},
     {3, kFL | kFR | kBC},
     {4, kFL | kFR | kFC | kBC},
     {4, kFL | kFR | kBL | kBR},
     {5, kFL | kFR | kFC | kBL | kBR},
     {2, 0},
     {2, 0},
     {5, kFL | kFR | kBC | kSL | kSR},
     {6, kFL | kFR | kBL | kBR | kSL | kSR},
     {6, kFL | kFR | kFC | kBC | kSL | kSR},
     {7, kFL | kFR | kFC | kBL | kBR | kSL | kSR},
     {8, kFL | kFR | kFC | kBL | kBR | kBC | kSL | kSR}},
    {{3, kFC | kLFE | kBC},
     {0, 0},
     {0, 0},
     {0, 0},
     {3, kFL | kFR | kLFE},
     {4, kFL | kFR | kFC | kLFE},
     {4, kFL | kFR | kLFE | kBC},
     {5, kFL | kFR | kFC | kLFE | kBC},
     {5, kFL | kFR | kLFE | kBL | kBR},
     {6, kFL | kFR | kFC | kLFE | kBL | kBR},
     {0, 0},
     {0, 0},
     {6, kFL | kFR | kLFE | kBC | kSL | kSR},
     {7, kFL | kFR | kLFE | kBL | kBR | kSL | kSR},
     {7, kFL | kFR | kFC | kLFE | kBC | kSL | kSR},
     {8, kFL | kFR | kFC | kLFE | kBL | kBR | kSL | kSR},
     {0, 0}},
};

// Output channel of a speaker bit within a mask (channels in bit order).
int32_t channel_of(uint16_t mask, uint16_t bit) {
  if (!(mask & bit)) return -1;
  int32_t n = 0;
  for (uint16_t b = 1; b < bit; b = static_cast<uint16_t>(b << 1))
    if (mask & b) ++n;
  return n;
}

int32_t sat(int32_t v) { return saturate16(v); }
int32_t q34(int32_t v) { return v * 3 / 4; }
int32_t q2316(int32_t v) { return v * 23 / 16; }

}  // namespace

int32_t ac3_source_code(int32_t acmod) {
  static constexpr int32_t kCodes[8] = {0, 3, 4, 5, 6, 7, 8, 9};
  return kCodes[acmod & 7];
}

const PresetLayout &preset_layout(bool alternate, int preset) {
  static constexpr PresetLayout kNone{0, 0};
  if (preset < 0 || preset >= kPresets) return kNone;
  return kLayouts[alternate ? 1 : 0][preset];
}

std::array<int32_t, kRoleCount> preset_roles(bool alternate, int preset) {
  std::array<int32_t, kRoleCount> r{};
  const PresetLayout &l = preset_layout(alternate, preset);
  if (l.channels == 0) return r;
  if (l.mask == 0) {
    // Plain layouts: one channel, left and right, or a front mix and a back.
    r[kRoleFrontLeft] = 0;
    if (l.channels == 2 && preset == 10) r[kRoleBack] = 1;
    if (l.channels == 2 && preset != 10) r[kRoleFrontRight] = 1;
    return r;
  }
  const uint16_t m = l.mask;
  auto put = [&](int role, uint16_t bit) {
    int32_t c = channel_of(m, bit);
    if (c >= 0) r[role] = c;
  };
  put(kRoleFrontLeft, kFL);
  put(kRoleFrontRight, kFR);
  put(kRoleCentre, kFC);
  put(kRoleLfe, kLFE);
  put(kRoleBack, (m & kBL) ? kBL : kBC);
  put(kRoleBackRight, kBR);
  if ((m & kBL) && (m & kBC)) put(kRoleBackCentre, kBC);
  put(kRoleSideLeft, kSL);
  put(kRoleSideRight, kSR);
  // The alternate preset 0 has one front channel, in the centre.
  if (alternate && preset == 0) r[kRoleFrontLeft] = channel_of(m, kFC);
  return r;
}

void Placement::clear() {
  lfe_ring_.fill(0);
  lfe_sum_ = 0;
  lfe_pos_ = 0;
  left_.fill(0);
  right_.fill(0);
  left_sum_ = right_sum_ = 0;
  sur_pos_ = 0;
}

void Placement::synthesise_surround(Frame &f) {
  left_sum_ += f.l - left_[sur_pos_];
  right_sum_ += f.r - right_[sur_pos_];
  left_[sur_pos_] = f.l;
  right_[sur_pos_] = f.r;
  sur_pos_ = (sur_pos_ + 1) & 3;
  f.ls = sat(left_sum_ / 4 - f.l);
  f.rs = sat(right_sum_ / 4 - f.r);
}

int32_t Placement::synthesise_lfe(const Frame &f) {
  const int32_t v = f.l + f.r;
  lfe_sum_ += v - lfe_ring_[lfe_pos_];
  lfe_ring_[lfe_pos_] = v;
  lfe_pos_ = (lfe_pos_ + 1) & 127;
  return sat(lfe_sum_ * 3 / 128);
}

void Placement::complete(int32_t code, Frame &f) {
  switch (code) {
    case 0:
    case 4:
    case kCodeStereo:
      f.c = sat((f.l + f.r) / 2);
      synthesise_surround(f);
      break;
    case 5:
      synthesise_surround(f);
      break;
    case 1:
    case 2:
    case 3:
    case kCodeMono:
      if (code == 1) f.c = f.l;
      if (code == 2) f.c = f.r;
      f.l = f.r = sat(q2316(f.c));
      synthesise_surround(f);
      break;
    case 6:
    case 7:
      if (code == 6) f.c = sat((f.l + f.r) / 2);
      f.ls = f.rs = sat(q2316(f.ls));
      break;
    case 8:
      f.c = sat((f.l + f.r) / 2);
      break;
    default:
      break;
  }
}

int32_t Placement::place(const PlacementSetup &s, const int16_t *src, int32_t frames, int32_t in_channels,
                         int16_t *dst) {
  const int32_t out = s.out_channels;
  if (out <= 0 || frames <= 0 || !s.roles) return 0;
  const bool alt = s.alternate;
  for (int32_t i = 0; i < frames; ++i) {
    const int16_t *in = src + static_cast<int64_t>(i) * in_channels;
    Frame f{0, 0, 0, 0, 0, 0};
    if (in_channels == 1) {
      f.c = in[0];
    } else if (in_channels == 2) {
      f.l = in[0], f.r = in[1];
    } else if (in_channels >= 6) {
      f.l = in[0], f.c = in[1], f.r = in[2], f.ls = in[3], f.rs = in[4], f.lfe = in[5];
    }
    const int32_t code = in_channels == 1 ? kCodeMono : in_channels == 2 ? kCodeStereo : s.code;
    const bool has_lfe = in_channels >= 6 && s.source_lfe;
    complete(code, f);
    if (!has_lfe) f.lfe = alt ? synthesise_lfe(f) : 0;
    // The LFE folded into the fronts when the layout has no output for it.
    const int32_t fold = alt ? 0 : (has_lfe ? f.lfe : 0);

    int16_t *o = dst + static_cast<int64_t>(i) * out;
    for (int32_t c = 0; c < out; ++c) o[c] = 0;
    auto put = [&](int role, int32_t v) {
      const int32_t ch = s.roles[role];
      if (ch >= 0 && ch < out) o[ch] = saturate16(v);
    };
    switch (s.preset) {
      case 0:
        if (alt) {
          put(kRoleFrontLeft, q34(f.l + f.r) + q2316(f.c));
          put(kRoleBack, q34(f.ls + f.rs));
        } else {
          put(kRoleFrontLeft, f.l + q34(f.c - f.ls - f.rs) + fold);
          put(kRoleFrontRight, f.r + q34(f.c + f.ls + f.rs) + fold);
        }
        break;
      case 1:
      case 2:
      case 3:
        put(kRoleFrontLeft, q34(f.l + f.r + f.ls + f.rs) + q2316(f.c) + fold);
        break;
      case 4:
      case 11:
        put(kRoleFrontLeft, f.l + q34(f.ls + f.c) + fold);
        put(kRoleFrontRight, f.r + q34(f.rs + f.c) + fold);
        break;
      case 5:
        put(kRoleFrontLeft, f.l + q34(f.ls) + fold);
        put(kRoleFrontRight, f.r + q34(f.rs) + fold);
        put(kRoleCentre, f.c);
        break;
      case 6:
        put(kRoleFrontLeft, f.l + q34(f.c) + fold);
        put(kRoleFrontRight, f.r + q34(f.c) + fold);
        put(kRoleBack, q34(f.ls + f.rs));
        break;
      case 7:
        put(kRoleFrontLeft, f.l + fold);
        put(kRoleCentre, f.c);
        put(kRoleFrontRight, f.r + fold);
        put(kRoleBack, q34(f.ls + f.rs));
        break;
      case 8:
        put(kRoleFrontLeft, f.l + q34(f.c) + fold);
        put(kRoleFrontRight, f.r + q34(f.c) + fold);
        put(kRoleBack, f.ls);
        put(kRoleBackRight, f.rs);
        break;
      case 9:
        put(kRoleFrontLeft, f.l + fold);
        put(kRoleCentre, f.c);
        put(kRoleFrontRight, f.r + fold);
        put(kRoleBack, f.ls);
        put(kRoleBackRight, f.rs);
        break;
      case 10:
        put(kRoleFrontLeft, q34(f.l + f.r) + q2316(f.c) + fold);
        put(kRoleBack, q34(f.ls + f.rs) + fold);
        break;
      case 12:
      case 13:
        put(kRoleFrontLeft, f.l + q34(f.c) + fold);
        put(kRoleFrontRight, f.r + q34(f.c) + fold);
        if (s.preset == 12) {
          put(kRoleBack, q34(f.ls + f.rs));
        } else {
          put(kRoleBack, f.ls);
          put(kRoleBackRight, f.rs);
        }
        put(kRoleSideLeft, q34(f.c) / 4 + (f.l + f.ls) / 2);
        put(kRoleSideRight, q34(f.c) / 4 + (f.r + f.rs) / 2);
        break;
      case 14:
      case 15:
      case 16:
        put(kRoleFrontLeft, f.l + fold);
        put(kRoleCentre, f.c);
        put(kRoleFrontRight, f.r + fold);
        if (s.preset == 14) {
          put(kRoleBack, q34(f.ls + f.rs));
        } else {
          put(kRoleBack, f.ls);
          put(kRoleBackRight, f.rs);
          if (s.preset == 16) put(kRoleBackCentre, q34(f.ls + f.rs));
        }
        put(kRoleSideLeft, f.c * 3 / 16 + (f.l + f.ls) / 2);
        put(kRoleSideRight, f.c * 3 / 16 + (f.r + f.rs) / 2);
        break;
      default:
        break;
    }
    if (alt) put(kRoleLfe, f.lfe);
  }
  return frames * out;
}

}  // namespace lunaret
