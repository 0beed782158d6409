// The parse step and the opening analysis. Nothing is demultiplexed ahead
// of demand: each step parses packs of the block in hand until the reader
// that runs it has something new, and stops early where the other reader
// needs the lock.
#include "media/demux/demux.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/demux/byte_cursor.h"
#include "media/demux/pack_parser.h"
#include "media/demux/stream_select.h"
#include "media/demux/transport_stream.h"
#include "media/source/export_size.h"
#include "media/source/source.h"
#include "media/state.h"
#include "platform/clock.h"

namespace dravik {

namespace {

constexpr uint8_t kPackStartCode[4] = {0x00, 0x00, 0x01, 0xBA};
constexpr uint8_t kPrefix[3] = {0x00, 0x00, 0x01};
constexpr uint32_t kPackStart = 0x000001BA;
constexpr uint32_t kProgramEnd = 0x000001B9;
constexpr int32_t kDefaultByteRate = 0x2B000;  // 176128 bytes/s
constexpr uint32_t kAnalysisVideoLimit = 0x1FF000;
constexpr uint32_t kAnalysisAudioLimit = 0x1F000;
// The analysis looks at no more than this much of the source: a source
// without packs (or a disc of zeros) is not scanned to its end at open.
constexpr int64_t kAnalysisScanLimit = 16 << 20;
// A reader that pulled within this time counts as active: a step does not
// fill its ring past the point where a pack might no longer fit, but waits.
constexpr uint32_t kReaderActiveMs = 1000;

bool is_packet_start(uint32_t code) { return (code >> 8) == 1 && (code & 0xFF) >= 0xBC; }

// The cursor to the next pack start (or, for rebuilt transport-stream
// packets, the next packet start). -> false at the end of data.
bool scan_next(State &s) {
  if (!s.demux.ts_mode) return cursor_find(s, kPackStartCode, 4);
  for (;;) {
    if (!cursor_find(s, kPrefix, 3)) return false;
    if (is_packet_start(cursor_peek32(s))) return true;
    if (s.end.load(std::memory_order_relaxed)) return false;
    cursor_skip(s, 3);
  }
}

PackResult parse_unit(State &s) { return s.demux.ts_mode ? parse_mpeg2_packet(s) : parse_pack(s); }

uintptr_t this_thread_tag() {
  thread_local char tag;
  return reinterpret_cast<uintptr_t>(&tag);
}

// True when the reader who pulled lately from another thread than this one
// (one thread that pulls both cannot drain a ring while it waits).
bool reader_active(const DemuxState &d, StepReader who) {
  const bool seen = who == StepReader::video ? d.video_reader_seen.load() : d.audio_reader_seen.load();
  if (!seen) return false;
  const uintptr_t thread =
      who == StepReader::video ? d.video_reader_thread.load() : d.audio_reader_thread.load();
  if (thread == this_thread_tag()) return false;
  const uint32_t last = who == StepReader::video ? d.video_read_ms.load() : d.audio_read_ms.load();
  return platform::tick_ms() - last < kReaderActiveMs;
}

// Room a pack may need in a ring: a pack holds a few packets of at most
// 8192 bytes each; a rebuilt transport-stream packet up to 61440.
uint32_t pack_headroom(const State &s) { return s.demux.ts_mode ? kTsPieceBytes + 64 : 0x4000; }

// True when the next pack might not fit into the other ring and its reader
// is expected to make room: it pulled lately from another thread, or it
// has not yet had kReaderActiveMs to turn up since the ring filled (a reader
// that is just starting). Past that, the full ring's packets are dropped
// whole (see store_video) and this reader goes on.
bool must_wait(State &s, StepReader who) {
  DemuxState &d = s.demux;
  const StepReader other = who == StepReader::video ? StepReader::audio : StepReader::video;
  const Ring &ring = other == StepReader::video ? s.rings.video : s.rings.audio;
  std::atomic<uint32_t> &stall = other == StepReader::video ? d.video_stall_ms : d.audio_stall_ms;
  if (ring_room(ring) >= pack_headroom(s)) {
    stall.store(0);
    return false;
  }
  const uintptr_t thread =
      other == StepReader::video ? d.video_reader_thread.load() : d.audio_reader_thread.load();
  if (thread == this_thread_tag()) return false;  // one thread pulling both
  if (reader_active(d, other)) return true;
  const uint32_t now = platform::tick_ms() | 1;
  uint32_t since = stall.load();
  if (since == 0) {
    stall.store(now);
    since = now;
  }
  return now - since < kReaderActiveMs;
}

// Rate from the pack headers of the block in hand: the median of the rates
// between neighbouring packs. A muxer's start-up jump of the clock between
// two packs (a Video CD's first block holds one) moves the median by one
// place instead of pulling the whole estimate down.
int32_t rate_from_block(const State &s) {
  const uint8_t *b = s.parse.bytes.get();
  const int32_t n = s.parse.valid_bytes;
  std::vector<int64_t> rates;
  int32_t prev = -1;
  for (int32_t i = 0; i + 14 <= n;) {
    const void *hit = memmem(b + i, static_cast<size_t>(n - i), kPackStartCode, 4);
    if (!hit) break;
    const int32_t at = static_cast<int32_t>(static_cast<const uint8_t *>(hit) - b);
    if (at + 14 > n) break;
    if (prev >= 0) {
      const int64_t scr_diff = static_cast<int64_t>(pack_scr_half(b + at)) - pack_scr_half(b + prev);
      if (scr_diff > 0) rates.push_back(static_cast<int64_t>(at - prev) * 45000 / scr_diff);
    }
    prev = at;
    i = at + 4;
  }
  if (rates.empty()) return 0;
  auto middle = rates.begin() + static_cast<std::ptrdiff_t>(rates.size() / 2);
  std::nth_element(rates.begin(), middle, rates.end());
  return *middle > 0 && *middle < INT32_MAX ? static_cast<int32_t>(*middle) : 0;
}

// A declared mux rate is a ceiling. One this many times above the rate the
// clock references show over the whole source is a placeholder (a muxer
// that did not know its streams' rates), not the stream's rate.
constexpr int64_t kMuxRatePlaceholderFactor = 4;
// Sources shorter than this are measured by their first packs alone.
constexpr int64_t kWholeRateMinBytes = 256 << 10;
constexpr int64_t kWholeRateTail = 64 << 10;

// The byte rate from the first pack with a clock reference to the last pack
// of the source's final block; 0 when it cannot be measured (raw sectors,
// short sources, clock references that do not advance). Leaves the parser
// anywhere: the caller seeks back.
int32_t whole_source_rate(State &s, int64_t first_off, uint32_t first_scr) {
  const Source &src = s.source;
  if (first_off < 0 || src.raw_sector || src.sector_scale || src.size < kWholeRateMinBytes) return 0;
  const int64_t at = seek_source(s, src.size - kWholeRateTail, 0);
  if (at < 0) return 0;
  const uint8_t *b = s.parse.bytes.get();
  for (int32_t i = s.parse.valid_bytes - 14; i >= 0; --i) {
    if (std::memcmp(b + i, kPackStartCode, 4) != 0) continue;
    const int64_t last_off = at + i;
    const uint32_t last_scr = pack_scr_half(b + i);
    if (last_scr <= first_scr || last_off <= first_off) return 0;
    const int64_t rate = (last_off - first_off) * 45000 / (last_scr - first_scr);
    return rate > 0 && rate < INT32_MAX ? static_cast<int32_t>(rate) : 0;
  }
  return 0;
}

void clear_rings(State &s) {
  s.rings.video.clear();
  s.rings.audio.clear();
  s.rings.picture_mark = -1;
  s.rings.video_packets = s.rings.audio_packets = s.rings.spu_packets = 0;
  store_video_avail(s);
  store_audio_avail(s);
}

}  // namespace

void note_reader_active(State &s, StepReader who) {
  DemuxState &d = s.demux;
  if (who == StepReader::video) {
    d.video_read_ms.store(platform::tick_ms());
    d.video_reader_thread.store(this_thread_tag());
    d.video_reader_seen.store(true);
  } else {
    d.audio_read_ms.store(platform::tick_ms());
    d.audio_reader_thread.store(this_thread_tag());
    d.audio_reader_seen.store(true);
  }
}

// A program end code under the cursor ends the step; it is consumed, so
// that the next step goes on with the pack after it.
bool at_program_end(State &s) {
  if (s.demux.ts_mode || cursor_peek32(s) != kProgramEnd) return false;
  cursor_skip(s, 4);
  return true;
}

StepResult parse_step(State &s, StepReader who) {
  if (s.end.load()) return StepResult::none;
  if (at_program_end(s)) return StepResult::none;
  if (!scan_next(s)) return StepResult::none;
  for (;;) {
    if (must_wait(s, who)) return StepResult::blocked;
    const PackResult r = parse_unit(s);
    if (who == StepReader::video) {
      if (r.video) return StepResult::progress;
      if (s.rings.audio_target.load(std::memory_order_acquire) > 0) return StepResult::progress;
    } else {
      if (r.audio) return StepResult::progress;
      const int32_t target = s.rings.video_target.load(std::memory_order_acquire);
      if (target > 0 && s.rings.video.available() >= static_cast<uint32_t>(target))
        return StepResult::progress;
    }
    if (s.end.load()) return StepResult::none;
    const uint32_t next = cursor_peek32(s);
    if (s.demux.ts_mode ? is_packet_start(next) : next == kPackStart) continue;
    if (at_program_end(s)) return StepResult::none;
    if (!scan_next(s)) return StepResult::none;
  }
}

bool enter_transport_mode_if_needed(State &s) {
  if (!looks_like_transport_stream(s.parse.bytes.get(), s.parse.valid_bytes)) return false;
  const int64_t start = s.parse.source_pos;
  s.demux.ts_mode = true;
  s.demux.ts = std::make_unique<TsConverter>();
  seek_source(s, start, 0);
  return true;
}

bool parse_next_unit(State &s) {
  if (s.end.load()) return false;
  if (at_program_end(s)) return true;
  if (!scan_next(s)) {
    s.end.store(true);
    return false;
  }
  parse_unit(s);
  return true;
}

void opening_analysis(State &s) {
  DemuxState &d = s.demux;
  d.video_reader_seen.store(false);
  d.audio_reader_seen.store(false);
  d.system_header_seen = d.pci_seen = d.dsi_seen = d.angle_aware = false;
  d.mux_rate = 0;
  d.scr_half = 0;
  d.video_dropped = d.audio_dropped = 0;
  s.mpeg2 = false;
  s.byte_rate = 0;
  s.rate_valid = false;
  clear_seen(s);
  const int64_t start = s.parse.source_pos;
  // Each phase counts from 0: a search that finds nothing stops there
  // instead of reading a source without packs to its end.
  d.scan_limit = kAnalysisScanLimit;

  // 1. A transport stream is converted from its first block on.
  enter_transport_mode_if_needed(s);
  // 2. Optionally parse until a system header has been seen.
  if (s.settings.wait_system_header) {
    d.loaded_bytes = 0;
    while (!d.system_header_seen && !s.end.load() && d.loaded_bytes < kAnalysisScanLimit) {
      if (parse_step(s, StepReader::video) != StepResult::progress) break;
    }
  }
  // 3. Parse packs until two distinct SCRs are known and both kinds of
  // stream have turned up (or a ring limit or the end is reached).
  clear_rings(s);
  d.loaded_bytes = 0;
  s.scr_capture = true;
  int64_t first_off = -1, last_off = -1;
  uint32_t first_scr = 0, last_scr = 0;
  bool two = d.ts_mode;  // rebuilt packets carry no pack headers
  while (s.rings.video.available() < kAnalysisVideoLimit && s.rings.audio.available() < kAnalysisAudioLimit &&
         d.loaded_bytes < kAnalysisScanLimit) {
    if (!scan_next(s)) break;
    const int64_t off = d.loaded_bytes + d.pos;
    parse_unit(s);
    if (!d.ts_mode) {
      const uint32_t scr = d.scr_half;
      if (first_off < 0) {
        if (scr != 0) first_scr = scr, first_off = off;
      } else if (!two) {
        last_scr = scr, last_off = off;
        two = scr != first_scr && off != first_off;
      }
    }
    if (!two) continue;
    if ((s.select.video_seen.count > 0 && s.select.audio_seen.count > 0) ||
        (s.rings.video.available() > 0 && s.rings.audio.available() > 0))
      break;
    if (s.end.load()) break;
  }
  // 4. The byte rate.
  const int32_t mux = d.ts_mode && d.ts ? d.ts->video_rate() + d.ts->audio_rate() : d.mux_rate;
  if (mux > 0) {
    int64_t rate = static_cast<int64_t>(mux) * 50;
    if (s.source.sector_scale) rate = rate * s.source.sector_scale / 2048;
    if (s.settings.ts_divisor > 0) rate = s.source.size / s.settings.ts_divisor;
    s.byte_rate = saturate_int32(rate);
    s.rate_valid = true;
    if (!d.ts_mode && s.settings.ts_divisor <= 0) {
      s.read_ahead.hold(true);
      const int32_t measured = whole_source_rate(s, first_off < 0 ? -1 : start + first_off, first_scr);
      s.read_ahead.hold(false);
      if (measured > 0 && s.byte_rate / kMuxRatePlaceholderFactor > measured) s.byte_rate = measured;
    }
  } else {
    int64_t rate = 0;
    if (two && first_off >= 0 && last_scr > first_scr && last_off > first_off)
      rate = (last_off - first_off) * 45000 / (last_scr - first_scr);
    s.byte_rate = rate > 0 && rate < INT32_MAX ? static_cast<int32_t>(rate) : kDefaultByteRate;
    s.rate_valid = s.select.video_seen.count > 1 || s.select.audio_seen.count > 1 ||
                   s.select.spu_seen.count > 0 || d.pci_seen || d.dsi_seen;
    if (!d.ts_mode) {
      const int32_t refined = rate_from_block(s);
      if (refined > 0) s.byte_rate = refined;
    }
  }
  s.scr_capture = false;
  d.scan_limit = INT64_MAX;
  // 5. Back to the start for the readers.
  s.read_ahead.hold(true);
  seek_source(s, start, 0);
  s.read_ahead.hold(false);
  if (s.read_ahead.count() > 1) {
    s.read_ahead.wake();
    if (s.source.size > 0x100000) s.read_ahead.startup_fill(s);
  }
}

void reset_parser(State &s) {
  DemuxState &d = s.demux;
  cursor_rewind(s);
  d.spu_fill = 0;
  for (auto &sink : s.hooks.sinks) sink->fill = 0;
  if (d.ts) d.ts->reset();
}

void release_parser(State &s) {
  s.demux.ts_mode = false;
  s.demux.ts.reset();
}

}  // namespace dravik
