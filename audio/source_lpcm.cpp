// The LPCM kind: DVD linear PCM records from the media layer, converted a
// block at a time to 16-bit stereo (or mono) by the LPCM reader.
#include <algorithm>

#include "audio/decode/lpcm_reader.h"
#include "audio/decode/pcm_modes.h"
#include "audio/engine.h"

namespace lunaret {

namespace {

LpcmReader &reader() {
  static LpcmReader r;
  return r;
}

int32_t read_thunk(void *, void *dst, int32_t len) { return engine_read(engine(), dst, len); }

bool lpcm_open(Engine &) {
  reader().set_source(read_thunk, nullptr);
  reader().reset();
  return true;
}

bool lpcm_prepare(Engine &e, SourceFormat &f) {
  LpcmFormat lf;
  if (!reader().probe(&lf)) {
    e.input_ended = reader().input_ended();
    return false;
  }
  f.layer = 0;
  f.rate = lf.rate;
  f.channels = lf.channels;
  f.block_channels = lf.out_channels();
  f.bit_rate = lf.bit_rate;
  f.bits = lf.nominal_bits;
  return true;
}

FillResult lpcm_fill(Engine &e, int16_t *dst, int32_t capacity, int32_t) {
  LpcmReader &r = reader();
  const int32_t channels = r.format().out_channels();
  const int32_t values = r.fill(dst, capacity / channels);
  if (values <= 0) {
    e.input_ended = true;
    return {0, false};
  }
  const bool half = e.rate_mode_active == AUDIO_RATE_HALF;
  return {apply_modes(dst, values / channels, channels, half, e.channel_mode), true};
}

void lpcm_reset(Engine &, bool reader_too) {
  if (reader_too) reader().reset();
}

void lpcm_close(Engine &) { reader().reset(); }

const SourceOps kLpcmOps = {lpcm_open, lpcm_prepare, lpcm_fill, lpcm_reset, lpcm_close};

}  // namespace

const SourceOps &lpcm_source_ops() { return kLpcmOps; }

}  // namespace lunaret
