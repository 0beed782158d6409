// DecodeBlock: one block of PCM from the current source, then the steps
// every block takes on its way to the device (channel exchange, echo, WAV
// capture, 8-bit conversion).
#include <algorithm>
#include <cstring>

#include "audio/decode/pcm_modes.h"
#include "audio/engine.h"

namespace lunaret {

namespace {

bool stereo_output(const Engine &e) { return block_out_channels(e) == 2; }

// An active layout that sends the first role to channel 1 and the second
// to channel 0 asks for the two channels exchanged.
void swap_pairs(int16_t *data, int32_t values) {
  for (int32_t i = 0; i + 1 < values; i += 2) std::swap(data[i], data[i + 1]);
}

void to_unsigned8(int16_t *data, int32_t values) {
  auto *bytes = reinterpret_cast<uint8_t *>(data);
  for (int32_t i = 0; i < values; ++i)
    bytes[i] = static_cast<uint8_t>((static_cast<uint16_t>(data[i]) >> 8) ^ 0x80);
}

}  // namespace

void apply_echo(Engine &e, int16_t *data, int32_t values) {
  for (int32_t pos = 0; pos < values; pos += kEchoChunkValues) {
    int32_t n = std::min<int32_t>(kEchoChunkValues, values - pos);
    int16_t *chunk = data + pos;
    int16_t *store = e.echo_line[e.echo_write].data();
    const int16_t *back = e.echo_line[e.echo_read].data();
    // Stored at half level; stereo pairs exchanged so that each channel's
    // echo returns on the other side.
    if (e.mono_out() || !stereo_output(e)) {
      for (int32_t i = 0; i < n; ++i) store[i] = static_cast<int16_t>(chunk[i] >> 1);
    } else {
      int32_t i = 0;
      for (; i + 1 < n; i += 2) {
        store[i] = static_cast<int16_t>(chunk[i + 1] >> 1);
        store[i + 1] = static_cast<int16_t>(chunk[i] >> 1);
      }
      if (i < n) store[i] = static_cast<int16_t>(chunk[i] >> 1);
    }
    for (int32_t i = 0; i < n; ++i) chunk[i] = saturate16(chunk[i] + back[i]);
    e.echo_write = (e.echo_write + 1) % kEchoSlots;
    e.echo_read = (e.echo_read + 1) % kEchoSlots;
  }
}

int32_t fill_capacity(const Engine &e) {
  if (!e.out.placed || e.force16) return kSlotValues;
  // A placed frame takes up to max(6, channels) values of the slot.
  const int32_t frames = kSlotValues / std::max<int32_t>(6, e.out.pcm.channels);
  return frames * std::max<int32_t>(1, e.out.block_channels);
}

int32_t place_channels(Engine &e, int16_t *data, int32_t values) {
  const int32_t from = std::max<int32_t>(1, e.out.block_channels);
  const int32_t to = e.out.pcm.channels;
  const int32_t frames = std::min(values / from, kSlotValues / std::max<int32_t>(1, to));
  if (frames <= 0) return 0;
  int16_t *src = e.place_scratch.get();
  std::memcpy(src, data, static_cast<size_t>(frames) * from * sizeof(int16_t));
  PlacementSetup s;
  s.preset = e.preset;
  s.alternate = e.alt_table != 0;
  s.roles = e.active_layout.channel;
  s.out_channels = to;
  s.code = e.place_code;
  s.source_lfe = e.place_lfe;
  return e.placement.place(s, src, frames, from, data);
}

FillResult decode_block(Engine &e, int16_t *dst) {
  e.frames_per_fill_work = e.out.frames_per_fill > 0 ? e.out.frames_per_fill : e.frames_per_fill;
  const int32_t capacity = fill_capacity(e);
  FillResult r = source_ops(e.kind).fill(e, dst, capacity, e.frames_per_fill_work);
  if (r.values < 0) r.values = 0;
  if (r.values > capacity) r.values = capacity;
  if (r.values == 0) return r;
  // AC-3 bursts reach the device (and a capture) exactly as made.
  if (e.out.spdif) {
    if (e.capture_fd != -1) capture_append(e, dst, r.values * 2);
    return r;
  }

  if (e.out.placed && !e.force16) {
    r.values = place_channels(e, dst, r.values);
  } else if (stereo_output(e) && e.info.decoded_channels() == 2 && e.active_layout.channel[0] == 1 &&
             e.active_layout.channel[1] == 0) {
    swap_pairs(dst, r.values);
  }
  if (e.echo_write != e.echo_read) apply_echo(e, dst, r.values);
  if (e.capture_fd != -1) capture_append(e, dst, r.values * 2);
  if (e.out.bytes_per_sample == 1 && !e.force16) {
    // The equaliser works on 16-bit samples: it runs here, before the
    // conversion, instead of at the write.
    equalise_block(e, dst, r.values);
    to_unsigned8(dst, r.values);
  }
  return r;
}

void reset_decoding(Engine &e, bool reader) {
  source_ops(e.kind).reset(e, reader);
  e.placement.clear();
  for (auto &s : e.echo_line) s.fill(0);
  if (reader) {
    e.input_ended = false;
  }
}

}  // namespace lunaret
