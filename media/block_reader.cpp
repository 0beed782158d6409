#include "media/block_reader.h"

#include <cstring>

#include "media/source.h"
#include "media/state.h"

namespace dravik {

void set_block_count(State &s, int32_t count) { s.block_count = count < 1 ? 1 : count; }

int32_t take_next_block(State &s, uint8_t *dst) {
  platform::Lock lock(s.io_lock);
  return read_source_block(s, dst);
}

int32_t load_parse_block(State &s) {
  ParseBuffer &p = s.parse;
  int32_t n = take_next_block(s, p.bytes.get());
  if (n < 0) n = 0;
  // Zero the tail so that the last partial word and the padding read as 0.
  std::memset(p.bytes.get() + n, 0, kBlockBytes + 16 - n);
  p.valid_bytes = n;
  p.valid_words = (n + 3) / 4;
  p.word_index = 0;
  p.bit_offset = 0;
  if (n == 0) s.end.store(true);
  return n;
}

void wake_block_reader(State &) {}

void stop_block_reader_for_seek(State &) {}

void wait_block_reader_idle(State &) {}

void stop_block_reader_for_close(State &s) { s.block_count = 1; }

}  // namespace dravik
