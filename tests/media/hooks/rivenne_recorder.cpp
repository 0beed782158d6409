// A DVB library double for the tests: it serves the file named through
// ordinal 1 like the real one and records every notification, with the
// bytes of each reported block, for RecorderEvents to hand out.
#include "tests/media/hooks/rivenne_recorder.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "components/rivenne/capture.h"
#include "components/rivenne/rivenne.h"

namespace {

std::mutex g_lock;
std::vector<RecorderEvent> g_events;
rivenne::Capture g_capture;
int32_t g_mix = 3;

intptr_t call(intptr_t param) {
  g_capture.name(reinterpret_cast<const char *>(param));
  return 1;
}
int32_t info(int32_t which) {
  if (which == RIVENNE_INFO_SIZE) return static_cast<int32_t>(g_capture.size());
  if (which == RIVENNE_INFO_KIND) return g_capture.kind();
  return g_mix;
}
int32_t open_stream() { return g_capture.open() ? 1 : 0; }
int32_t read_stream(void *buf, int32_t len) { return g_capture.read(buf, len); }
int32_t seek_stream(int32_t pos, int32_t origin) { return static_cast<int32_t>(g_capture.seek(pos, origin)); }
int32_t close_stream() {
  g_capture.close();
  return 1;
}
void notify(int32_t code, const void *pointer, intptr_t value) {
  std::lock_guard<std::mutex> lock(g_lock);
  RecorderEvent e;
  e.code = code;
  e.value = value;
  if (code == RIVENNE_NOTE_OPEN && pointer) e.text = static_cast<const char *>(pointer);
  if (code == RIVENNE_NOTE_SEEK && pointer) {
    const auto *note = static_cast<const RivenneSeekNote *>(pointer);
    e.pos = note->pos;
    e.origin = note->origin;
  }
  if (code == RIVENNE_NOTE_BLOCK && pointer && value > 0) {
    const auto *p = static_cast<const uint8_t *>(pointer);
    e.bytes.assign(p, p + value);
  }
  g_events.push_back(std::move(e));
}
intptr_t call2(intptr_t) { return 0; }

}  // namespace

extern "C" __attribute__((visibility("default"))) void *RivenneProc(int32_t ordinal) {
  switch (ordinal) {
    case RIVENNE_ORD_CALL:
      return reinterpret_cast<void *>(&call);
    case RIVENNE_ORD_INFO:
      return reinterpret_cast<void *>(&info);
    case RIVENNE_ORD_OPEN:
      return reinterpret_cast<void *>(&open_stream);
    case RIVENNE_ORD_READ:
      return reinterpret_cast<void *>(&read_stream);
    case RIVENNE_ORD_SEEK:
      return reinterpret_cast<void *>(&seek_stream);
    case RIVENNE_ORD_CLOSE:
      return reinterpret_cast<void *>(&close_stream);
    case RIVENNE_ORD_NOTIFY:
      return reinterpret_cast<void *>(&notify);
    case RIVENNE_ORD_CALL2:
      return reinterpret_cast<void *>(&call2);
    default:
      return nullptr;
  }
}

extern "C" __attribute__((visibility("default"))) std::vector<RecorderEvent> *RecorderEvents() {
  return &g_events;
}
