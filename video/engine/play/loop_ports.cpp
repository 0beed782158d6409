// Binds the loop port to the media layer's ring counters and to the
// engine's decoder.
#include "video/engine/play/loop_ports.h"

#include <atomic>

#include "media/media_api.h"
#include "video/decode/decoder.h"
#include "video/engine/play/levels.h"

namespace kestrum {
Decoder *engine_decoder();
}  // namespace kestrum

namespace kestrum::play {

namespace {

// The counters' addresses are asked for once; the media layer keeps them
// valid for its whole life and refreshes them after every read.
const volatile int32_t *video_counter() {
  static const volatile int32_t *counter = [] {
    const volatile int32_t *c = nullptr;
    SysVideoAvail(&c);
    return c;
  }();
  return counter;
}
const volatile int32_t *audio_counter() {
  static const volatile int32_t *counter = [] {
    const volatile int32_t *c = nullptr;
    SysAudioAvail(&c);
    return c;
  }();
  return counter;
}
// The media layer stores the counters atomically from its own threads; a
// plain read of them would race with those stores.
int32_t load_counter(const volatile int32_t *c) {
  if (!c) return 0;
  return std::atomic_ref<int32_t>(*const_cast<int32_t *>(c)).load(std::memory_order_acquire);
}
int32_t video_fill() { return load_counter(video_counter()); }
int32_t audio_fill() { return load_counter(audio_counter()); }

int32_t parse_next() {
  Decoder *d = engine_decoder();
  if (!d || !d->frame_store_ready()) return 0;
  if (!d->find_picture() || d->end_of_data()) return 0;
  d->parse_picture_header();
  return d->picture().picture_coding_type;
}
void decode_parsed() {
  if (Decoder *d = engine_decoder()) d->decode_picture();
}
int32_t second_field_pending() {
  Decoder *d = engine_decoder();
  return d && d->expecting_second_field() ? 1 : 0;
}
int32_t showing_repeat() {
  Decoder *d = engine_decoder();
  return d && d->showing_repeat() ? 1 : 0;
}
int32_t stream_vbv_bytes() {
  Decoder *d = engine_decoder();
  if (!d) return 0;
  return play::vbv_bytes(d->sequence().vbv_buffer_size_value, d->sequence().vbv_buffer_size_extension);
}

}  // namespace

int32_t shown_fields() {
  Decoder *d = engine_decoder();
  return d ? d->shown_fields() : 2;
}

int64_t shown_time_fields() {
  Decoder *d = engine_decoder();
  return d ? d->shown_time_fields() : -1;
}

namespace {

const LoopPort kProduction = {video_fill,           audio_fill,       parse_next,    decode_parsed,
                              second_field_pending, stream_vbv_bytes, showing_repeat};
const LoopPort *g_port = &kProduction;

}  // namespace

const LoopPort &loop_port() { return *g_port; }
void set_loop_port(const LoopPort *port) { g_port = port ? port : &kProduction; }

}  // namespace kestrum::play
