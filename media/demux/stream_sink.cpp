#include "media/demux/stream_sink.h"

namespace dravik {

namespace {

int32_t sink_number(StreamSink *self) { return static_cast<SinkObject *>(self)->number; }

void sink_set_target(StreamSink *self, intptr_t user, void *target, StreamSinkCallback callback) {
  auto *s = static_cast<SinkObject *>(self);
  s->user = user;
  s->target = target;
  s->callback = callback;
}

constexpr StreamSinkTable kSinkTable = {sink_number, sink_set_target};

}  // namespace

SinkObject::SinkObject(int32_t n) : StreamSink{&kSinkTable}, number(n), assembly(new uint8_t[0x10000]) {}

}  // namespace dravik
