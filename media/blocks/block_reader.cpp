#include "media/blocks/block_reader.h"

#include <cstring>

#include "media/demux/byte_cursor.h"
#include "media/demux/demux.h"
#include "media/demux/transport_stream.h"
#include "media/state.h"

namespace dravik {

void set_block_count(State &s, int32_t count) {
  s.read_ahead.set_count(s, count);
  s.block_count = s.read_ahead.count();
}

int32_t take_next_block(State &s, uint8_t *dst) {
  int64_t pos = 0;
  int32_t n = s.read_ahead.take(s, dst, &pos);
  if (n < 0) n = 0;
  s.parse.source_pos = pos;
  return n;
}

int32_t load_parse_block(State &s) {
  ParseBuffer &p = s.parse;
  int32_t n = s.demux.ts_mode && s.demux.ts ? s.demux.ts->next_parse_block(s, p.bytes.get())
                                            : take_next_block(s, p.bytes.get());
  if (n < 0) n = 0;
  if (n > kBlockBytes) n = kBlockBytes;
  // Zero the tail so that a read past the valid bytes sees 0.
  std::memset(p.bytes.get() + n, 0, static_cast<size_t>(kBlockBytes + 16 - n));
  p.valid_bytes = n;
  cursor_rewind(s);
  if (n == 0) s.end.store(true);
  return n;
}

void wake_block_reader(State &s) { s.read_ahead.wake(); }

void stop_block_reader_for_seek(State &s) { s.read_ahead.stop_for_seek(s); }

void wait_block_reader_idle(State &s) { s.read_ahead.wait_idle(); }

void stop_block_reader_for_close(State &s) {
  s.read_ahead.stop_for_close(s);
  s.block_count = 1;
  release_parser(s);
}

}  // namespace dravik
