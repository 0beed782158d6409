// The AC-3 kind: frames from the frame reader, decoded by Morrel to stereo
// (the decoder's downmix) or to six channels for a speaker layout, or
// wrapped unchanged in S/PDIF bursts for a device that takes them.
#include <algorithm>
#include <cstring>

#include "audio/decode/ac3_frame_reader.h"
#include "audio/decode/pcm_modes.h"
#include "audio/engine.h"
#include "components/morrel/morrel.h"

namespace lunaret {

namespace {

// Channels reported for each acmod (a mono stream plays on two).
constexpr int32_t kReportedChannels[8] = {2, 2, 2, 3, 3, 4, 4, 5};
// Stereo frames one fill pass delivers: as an MPEG audio frame.
constexpr int32_t kPassFrames = 1152;
constexpr int32_t kStoreValues = MORREL_FRAME_SAMPLES * 2;
constexpr int32_t kMultiValues = MORREL_FRAME_SAMPLES * MORREL_MULTI_CHANNELS;

// IEC 61937 burst preamble words and the AC-3 data type.
constexpr uint16_t kPa = 0xF872, kPb = 0x4E1F, kDataTypeAc3 = 0x0001;
constexpr int32_t kBurstHeaderBytes = 8;

struct Ac3Source {
  Ac3FrameReader reader;
  void *decoder = nullptr;
  Ac3Info info{};
  alignas(16) uint8_t frame[ac3::kMaxFrameBytes] = {};
  // The stereo path's decoded frame and what of it is still to deliver.
  alignas(16) int16_t store[kStoreValues] = {};
  int32_t store_pos = 0;
  int32_t store_count = 0;
};

Ac3Source &src() {
  static Ac3Source s;
  return s;
}

int32_t read_thunk(void *, void *dst, int32_t len) { return engine_read(engine(), dst, len); }

Ac3Params params(bool multichannel, int32_t mode) {
  Ac3Params p{};
  p.output_mode = multichannel ? MORREL_MODE_MULTI : mode;
  p.fixed[0] = 3, p.fixed[2] = 2;
  p.multichannel = multichannel ? 1 : 0;
  p.dynamic_range = 1.0;
  p.second_scale = 1.0;
  p.channel_order[0] = multichannel ? 1 : 2;
  p.channel_order[1] = multichannel ? 2 : 1;
  const int32_t tail[6] = {3, 4, 5, 1, 1, 0};
  std::copy(tail, tail + 6, p.tail);
  return p;
}

// Morrel writes half scale: every sample is doubled with saturation.
void double_samples(int16_t *v, int32_t n) {
  for (int32_t i = 0; i < n; ++i) v[i] = v[i] >= 0x4000 ? 0x7FFF : v[i] < -0x4000 ? -0x8000 : v[i] * 2;
}

// Decodes the next frame into out (room bytes); false at the end.
bool decode_next(Engine &e, bool multichannel, int16_t *out, int32_t room) {
  Ac3Source &s = src();
  ac3::FrameHeader h;
  if (!s.reader.next_frame(s.frame, &h)) {
    e.input_ended = true;
    return false;
  }
  Ac3Params p = params(multichannel, e.ac3_mode);
  p.input = s.frame;
  p.input_length = h.bytes;
  p.output = reinterpret_cast<uint8_t *>(out);
  p.output_capacity = room;
  int32_t bytes = MorrelDecode(s.decoder, &p, &s.info);
  if (bytes <= 0) std::memset(out, 0, static_cast<size_t>(std::min(room, kMultiValues * 2)));
  double_samples(out, (multichannel ? kMultiValues : kStoreValues));
  return true;
}

// One frame as an IEC 61937 burst filling the whole block.
FillResult burst_fill(Engine &e, int16_t *dst, int32_t capacity) {
  Ac3Source &s = src();
  constexpr int32_t kBurstValues = kSpdifBlockBytes / 2;
  if (capacity < kBurstValues) return {0, false};
  ac3::FrameHeader h;
  if (!s.reader.next_frame(s.frame, &h)) {
    e.input_ended = true;
    return {0, false};
  }
  auto *b = reinterpret_cast<uint8_t *>(dst);
  std::memset(b, 0, kSpdifBlockBytes);
  const uint16_t pc = static_cast<uint16_t>(kDataTypeAc3 | (s.frame[5] & 7) << 8);  // with bsmod
  const uint16_t pd = static_cast<uint16_t>(h.bytes * 8);
  const uint16_t words[4] = {kPa, kPb, pc, pd};
  for (int i = 0; i < 4; ++i) {
    b[2 * i] = static_cast<uint8_t>(words[i]);
    b[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
  }
  // The frame's 16-bit words go out little-endian: each byte pair swapped.
  const int32_t n = std::min(h.bytes, kSpdifBlockBytes - kBurstHeaderBytes);
  for (int32_t i = 0; i + 1 < n; i += 2) {
    b[kBurstHeaderBytes + i] = s.frame[i + 1];
    b[kBurstHeaderBytes + i + 1] = s.frame[i];
  }
  if (n & 1) b[kBurstHeaderBytes + n] = s.frame[n - 1];
  return {kBurstValues, true};
}

FillResult multi_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  Ac3Source &s = src();
  const int32_t n = std::min(frames, capacity / kMultiValues);
  int32_t values = 0;
  for (int32_t k = 0; k < n; ++k) {
    if (!decode_next(e, true, dst + values, (capacity - values) * 2)) break;
    values += kMultiValues;
    e.place_code = ac3_source_code(s.info.acmod);
    e.place_lfe = s.info.lfe != 0;
  }
  return {values, values > 0};
}

FillResult stereo_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  Ac3Source &s = src();
  int32_t want = std::min(capacity, std::max<int32_t>(1, frames) * kPassFrames * 2);
  want -= want % 2;
  int32_t got = 0;
  while (got < want) {
    if (s.store_pos >= s.store_count) {
      if (!decode_next(e, false, s.store, kStoreValues * 2)) break;
      s.store_pos = 0;
      s.store_count = kStoreValues;
    }
    const int32_t take = std::min(want - got, s.store_count - s.store_pos);
    std::memcpy(dst + got, s.store + s.store_pos, static_cast<size_t>(take) * 2);
    got += take;
    s.store_pos += take;
  }
  const bool half = e.rate_mode_active == AUDIO_RATE_HALF;
  const int32_t values = apply_modes(dst, got / 2, 2, half, e.channel_mode);
  return {values, got > 0};
}

bool ac3_open(Engine &) {
  Ac3Source &s = src();
  s.reader.set_source(read_thunk, nullptr);
  s.reader.reset();
  s.store_pos = s.store_count = 0;
  s.info = Ac3Info{};
  if (!s.decoder) MorrelOpen(&s.decoder, 0, nullptr);
  return s.decoder != nullptr;
}

bool ac3_prepare(Engine &e, SourceFormat &f) {
  Ac3Source &s = src();
  ac3::FrameHeader h;
  if (!s.reader.probe(&h)) {
    e.input_ended = s.reader.input_ended();
    return false;
  }
  f.layer = 0;
  f.rate = h.rate;
  f.rate_index = h.rate == 48000 ? 0 : h.rate == 44100 ? 1 : 2;
  f.channels = kReportedChannels[h.acmod & 7];
  f.block_channels = 2;
  f.mode = h.acmod;
  f.bit_rate = h.bit_rate;
  f.bits = 16;
  e.place_code = ac3_source_code(h.acmod);
  e.place_lfe = h.lfe != 0;
  return true;
}

FillResult ac3_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t frames) {
  if (!src().decoder) {
    e.input_ended = true;
    return {0, false};
  }
  if (e.out.spdif) return burst_fill(e, dst, capacity);
  if (e.out.placed && e.out.block_channels == kAc3PlacedChannels && !e.force16)
    return multi_fill(e, dst, capacity, frames);
  return stereo_fill(e, dst, capacity, frames);
}

void ac3_reset(Engine &, bool reader) {
  Ac3Source &s = src();
  if (reader) s.reader.reset();
  s.store_pos = s.store_count = 0;
  s.info = Ac3Info{};
}

void ac3_close(Engine &) {
  Ac3Source &s = src();
  MorrelClose(s.decoder, 0);
  s.decoder = nullptr;
  s.reader.reset();
}

const SourceOps kAc3Ops = {ac3_open, ac3_prepare, ac3_fill, ac3_reset, ac3_close};

}  // namespace

const SourceOps &ac3_source_ops() { return kAc3Ops; }

}  // namespace lunaret
