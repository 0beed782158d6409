// The output format: plain 16-bit PCM (8-bit when the device refuses it),
// or a multichannel layout by speaker preset with its fall-back to two
// channels; and the one-time probe of what the device takes.
#include <algorithm>

#include "audio/engine.h"

namespace lunaret {

namespace {

bool query(const PcmFormat &f) { return default_output_driver().query(f); }

const PresetLayout &layout_of(int table, int preset) { return preset_layout(table == 1, preset); }

constexpr int8_t kFramesPerFill[2][kPresetCount] = {
    {8, 16, 16, 16, 8, 5, 5, 4, 4, 3, 8, 8, 3, 2, 2, 2, 2},
    {5, 8, 8, 8, 5, 4, 4, 5, 5, 2, 5, 8, 2, 2, 2, 2, 2},
};

PcmFormat extensible(int channels, uint32_t rate, uint32_t mask) {
  PcmFormat f = make_pcm_format(channels, rate, 16);
  f.format_tag = kFormatExtensible;
  f.channel_mask = mask;
  return f;
}

PcmFormat spdif_format() {
  PcmFormat f = make_pcm_format(2, 48000, 16);
  f.format_tag = kFormatAc3Spdif;
  return f;
}

void set_derived(Engine &e, const PcmFormat &f, int32_t bytes_per_sample) {
  e.out.pcm = f;
  e.out.bytes_per_sample = bytes_per_sample;
  e.out.nominal_block = kNominalBlockBytes;
  e.out.ms_per_sample = 1000.0f / static_cast<float>(f.rate);
  e.out.ms_per_byte = 1000.0f / static_cast<float>(f.avg_bytes_per_sec);
  e.out.valid = true;
}

// The layout of one preset, if the device was found to take it.
bool try_layout(Engine &e, int table, int preset, uint32_t rate, PcmFormat &out) {
  const PresetLayout &l = layout_of(table, preset);
  if (l.channels == 0 || l.channels > e.max_channels || !e.layout_usable[table][preset]) return false;
  uint32_t mask = e.layout_mask_found[table][preset];
  if (mask != 0) {
    PcmFormat f = extensible(l.channels, rate, mask);
    if (query(f)) {
      out = f;
      return true;
    }
  }
  PcmFormat f = make_pcm_format(l.channels, rate, 16);
  if (!query(f)) return false;
  // The speakers travel with plain PCM too, for devices that place
  // channels by position.
  f.channel_mask = l.mask;
  out = f;
  return true;
}

bool choose_multichannel(Engine &e, int32_t rate) {
  probe_capabilities(e);
  int table = e.alt_table ? 1 : 0;
  int preset = std::clamp(e.preset, 0, kPresetCount - 1);
  PcmFormat f;
  bool ok = try_layout(e, table, preset, static_cast<uint32_t>(rate), f);
  if (!ok) {
    // Preset 0 of the normal table: two channels in their own places.
    table = 0;
    preset = 0;
    ok = try_layout(e, 0, 0, static_cast<uint32_t>(rate), f);
  }
  if (!ok) return false;
  set_derived(e, f, 2);
  e.out.frames_per_fill = std::min<int32_t>(kFramesPerFill[table][preset], 2);
  e.out.placed = true;
  return true;
}

}  // namespace

bool choose_output_format(Engine &e, bool stereo, int32_t rate) {
  e.out.valid = false;
  e.out.frames_per_fill = 0;
  e.out.placed = false;
  e.out.spdif = false;
  if (rate <= 0) return false;
  int channels = stereo ? 2 : 1;
  e.out.block_channels = channels;
  if (!e.multichannel || !choose_multichannel(e, rate)) {
    // The device is asked only when it is about to be opened: decoding to
    // a file or a capture never touches one.
    set_derived(e, make_pcm_format(channels, static_cast<uint32_t>(rate), 16), 2);
    e.out.frames_per_fill = 0;
  }
  return true;
}

bool choose_spdif_format(Engine &e) {
  probe_capabilities(e);
  if (!e.spdif_usable) return false;
  e.out.valid = false;
  e.out.frames_per_fill = 0;
  e.out.placed = false;
  e.out.block_channels = 2;
  set_derived(e, spdif_format(), 2);
  e.out.spdif = true;
  return true;
}

bool fit_output_to_device(Engine &e) {
  if (!e.out.valid) return false;
  if (query(e.out.pcm)) return true;
  if (e.out.pcm.format_tag != kFormatPcm || e.out.bytes_per_sample != 2) return false;
  PcmFormat f = make_pcm_format(e.out.pcm.channels, e.out.pcm.rate, 8);
  if (!query(f)) return false;
  set_derived(e, f, 1);
  return true;
}

void probe_capabilities(Engine &e) {
  if (e.capabilities_probed) return;
  e.capabilities_probed = true;
  e.max_channels = 2;
  for (int t = 0; t < 2; ++t)
    for (int p = 0; p < kPresetCount; ++p) {
      // Layouts of one or two channels need nothing beyond plain output.
      e.layout_usable[t][p] = layout_of(t, p).channels > 0 && layout_of(t, p).channels <= 2;
      e.layout_mask_found[t][p] = 0;
    }
  for (int n = 8; n >= 3; --n) {
    bool plain = query(make_pcm_format(n, 44100, 16));
    bool any = plain;
    for (int t = 0; t < 2; ++t)
      for (int p = 0; p < kPresetCount; ++p) {
        const PresetLayout &l = layout_of(t, p);
        if (l.channels != n) continue;
        if (plain) {
          e.layout_usable[t][p] = true;
        } else if (l.mask && query(extensible(n, 44100, l.mask))) {
          e.layout_usable[t][p] = true;
          e.layout_mask_found[t][p] = l.mask;
          any = true;
        }
      }
    if (any) e.max_channels = std::max(e.max_channels, n);
  }
  // Bits 8 to 23: one per preset 1..16 of the table in use.
  int table = e.alt_table ? 1 : 0;
  int32_t mask = 0xF8;
  for (int p = 1; p < kPresetCount; ++p)
    if (e.layout_usable[table][p] && layout_of(table, p).channels <= e.max_channels) mask |= 1 << (7 + p);
  e.layout_mask = mask;
  e.spdif_usable = query(spdif_format()) ? 1 : 0;
}

}  // namespace lunaret
