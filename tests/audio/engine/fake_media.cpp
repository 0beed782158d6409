#include "tests/audio/engine/fake_media.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace lunaret_test {

namespace {

FakeMedia g_fake;

int32_t f_probe(const char *path, int32_t *length) {
  g_fake.probed_path = path;
  if (length) *length = static_cast<int32_t>(g_fake.bytes.size());
  return g_fake.probe_result;
}
int32_t f_avi_probe(const char *, int32_t *) { return g_fake.avi_probe_result; }
int32_t f_open(const char *path, uint32_t start) {
  g_fake.opened_path = path;
  g_fake.opened_start = start;
  g_fake.pos = 0;
  return g_fake.open_result;
}
int32_t f_close() {
  ++g_fake.closes;
  return 0;
}
int32_t f_seek(int32_t pos, int32_t origin) {
  size_t base = origin == 1 ? g_fake.pos : origin == 2 ? g_fake.bytes.size() : 0;
  int64_t p = static_cast<int64_t>(base) + pos;
  if (p < 0 || p > static_cast<int64_t>(g_fake.bytes.size())) return -1;
  g_fake.pos = static_cast<size_t>(p);
  return static_cast<int32_t>(p);
}
int32_t f_flush(int32_t which) {
  g_fake.flushes.push_back(which);
  if (which == 10 || which == 1 || which == 20) {
    std::lock_guard<std::mutex> lock(g_fake.m);
    g_fake.queue.clear();
  }
  return which;
}
void f_queue(lunaret::MediaCallbackFn fn, void *item) {
  std::lock_guard<std::mutex> lock(g_fake.m);
  g_fake.queue.emplace_back(fn, item);
}
int32_t f_reserved42() { return 0; }
int32_t f_avail() { return static_cast<int32_t>(g_fake.bytes.size() - g_fake.pos); }
int32_t f_read(void *buf, int32_t len) {
  size_t n = std::min<size_t>(static_cast<size_t>(len), g_fake.bytes.size() - g_fake.pos);
  if (n) std::memcpy(buf, g_fake.bytes.data() + g_fake.pos, n);
  g_fake.pos += n;
  return static_cast<int32_t>(n);
}
int32_t f_read_stream(int32_t, void *buf, int32_t len) { return f_read(buf, len); }
intptr_t f_control(int32_t cmd, intptr_t) {
  switch (cmd) {
    case CTL_AUDIO_HEADER:
      if (g_fake.header_word >= 0) return g_fake.header_word;
      return g_fake.bytes.size() >= 2 ? (g_fake.bytes[0] << 8) | g_fake.bytes[1] : 0;
    case CTL_AUDIO_COUNT:
      return g_fake.audio_count;
    case CTL_AUDIO_CURRENT:
      return g_fake.audio_current;
    case CTL_BYTE_RATE:
      return g_fake.byte_rate;
    case CTL_SOURCE_HANDLE:
      return g_fake.source_handle;
    case CTL_PLUGIN_ACTIVE:
      return g_fake.plugin;
    default:
      return 0;
  }
}

const lunaret::MediaLink kFakeLink = {
    f_probe, f_avi_probe,  f_open,  f_close, f_seek,        f_flush,
    f_queue, f_reserved42, f_avail, f_read,  f_read_stream, f_control,
};

}  // namespace

FakeMedia &fake_media() { return g_fake; }

void FakeMedia::install() {
  probe_result = 2;
  avi_probe_result = 3;
  open_result = 7;
  audio_count = 1;
  audio_current = -1;
  header_word = -1;
  source_handle = 7;
  plugin = 0;
  bytes.clear();
  pos = 0;
  probed_path.clear();
  opened_path.clear();
  closes = 0;
  flushes.clear();
  {
    std::lock_guard<std::mutex> lock(m);
    queue.clear();
  }
  lunaret::set_media_link(&kFakeLink);
}

void FakeMedia::uninstall() { lunaret::set_media_link(nullptr); }

bool FakeMedia::load(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  pos = 0;
  return true;
}

int FakeMedia::run_callbacks() {
  std::vector<std::pair<lunaret::MediaCallbackFn, void *>> batch;
  {
    std::lock_guard<std::mutex> lock(m);
    batch.swap(queue);
  }
  for (auto &[fn, item] : batch) fn(item);
  return static_cast<int>(batch.size());
}

size_t FakeMedia::queued() {
  std::lock_guard<std::mutex> lock(m);
  return queue.size();
}

bool FakeMedia::serve_to_end(uint32_t bound_ms) {
  lunaret::Engine &e = lunaret::engine();
  return serve_until([&] { return AudioCommand(AUDIO_CMD_END_OF_STREAM, 0) && lunaret::flow_settled(e); },
                     bound_ms);
}

}  // namespace lunaret_test
