#include "video/engine/source_buffer.h"

#include "media/media_api.h"
#include "video/engine/ports.h"

namespace kestrum {

namespace {

struct Pending {
  const void *data = nullptr;
  int32_t size = 0;
};
thread_local Pending g_pending;

}  // namespace

ScopedSourceBuffer::ScopedSourceBuffer(const void *buffer, int32_t size) { g_pending = {buffer, size}; }
ScopedSourceBuffer::~ScopedSourceBuffer() { g_pending = {}; }

int32_t probe_source(const char *path, int32_t *length) {
  if (g_pending.data) return SysProbeBuffer(g_pending.data, g_pending.size, length);
  return media().probe(path, length);
}

int32_t open_source(const char *path, uint32_t start) {
  if (g_pending.data) return SysOpenBuffer(g_pending.data, g_pending.size, start);
  return media().open(path, start);
}

}  // namespace kestrum
