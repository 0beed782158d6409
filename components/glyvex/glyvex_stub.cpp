// Stand-in body of the subpicture decoder: accepts every call, keeps the
// delivery buffer the media layer fills, and draws nothing.
#include "components/glyvex/glyvex.h"

namespace {

alignas(16) unsigned char g_unit_buffer[GLYVEX_UNIT_BUFFER_SIZE + 16];

void unit_ready(intptr_t) {}

}  // namespace

extern "C" {

void GlyvexGetEntries(intptr_t *buffer, intptr_t *unit_ready_out) {
  if (buffer) *buffer = reinterpret_cast<intptr_t>(g_unit_buffer);
  if (unit_ready_out) *unit_ready_out = reinterpret_cast<intptr_t>(&unit_ready);
}

void GlyvexSetTitle(const void *) {}
void GlyvexShutdown(void) {}
void GlyvexRedraw(void *, int32_t, int32_t, int32_t, const int32_t *) {}
int32_t GlyvexMix(uint8_t *, uint8_t *, uint8_t *, int32_t, int32_t, int32_t, int32_t) { return 0; }
void GlyvexRestore(void) {}
void GlyvexPlayState(int32_t) {}

}  // extern "C"
