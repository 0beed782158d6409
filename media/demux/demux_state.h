// What the demultiplexer keeps between parse steps: the cursor over the
// block in hand (with the tail of the previous block, so that a field may
// straddle two blocks), the facts gathered from pack headers, the aging
// counters of the seen lists, the subpicture assembly and the
// transport-stream converter.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace dravik {

class TsConverter;

/// Bytes of the previous block kept in front of the block in hand. Fields
/// read through the cursor are at most this long.
constexpr int32_t kCarryBytes = 32;
/// Largest payload stored from one packet outside transport streams; longer
/// packets are treated as damage and the parser resynchronises.
constexpr int32_t kMaxPacketPayload = 8192;
/// Rebuilt transport-stream packets are cut to at most this many bytes.
constexpr int32_t kTsPieceBytes = 61440;
/// Largest subpicture unit a host buffer has to take.
constexpr int32_t kMaxSpuUnit = 53220;
constexpr int32_t kSpuAssemblyBytes = 0x10000;

struct DemuxState {
  DemuxState();
  ~DemuxState();
  DemuxState(const DemuxState &) = delete;
  DemuxState &operator=(const DemuxState &) = delete;

  // Cursor: byte offset into the parse block; negative offsets reach into
  // carry, which holds the last kCarryBytes bytes before the block.
  int64_t pos = 0;
  uint8_t carry[kCarryBytes] = {};
  // Bytes of the blocks loaded and left behind since counting began (the
  // opening analysis measures pack distances with it).
  int64_t loaded_bytes = 0;
  // A search for the next start code gives up once loaded_bytes reaches
  // this (the opening analysis sets it; play steps search to the end).
  int64_t scan_limit = INT64_MAX;

  // Pack data.
  uint32_t scr_half = 0;  // SCR / 2 of the last pack header while capturing
  int32_t mux_rate = 0;   // of the last MPEG-2 pack, 50-byte units
  bool system_header_seen = false;
  bool pci_seen = false;
  bool dsi_seen = false;
  bool angle_aware = false;

  // Aging counters of the seen lists, by id (0 = listed without counter).
  uint8_t video_age[256] = {};
  uint8_t audio_age[256] = {};
  uint8_t spu_age[32] = {};

  // Subpicture unit being assembled for the host buffer.
  std::unique_ptr<uint8_t[]> spu_assembly;
  int32_t spu_fill = 0;

  // Transport streams are converted to packets before parsing.
  bool ts_mode = false;
  std::unique_ptr<TsConverter> ts;

  // Packets dropped because their ring had no room for them whole.
  int64_t video_dropped = 0;
  int64_t audio_dropped = 0;
  // When each reader last pulled (ms tick); a recently active reader is
  // waited for instead of losing bytes it is about to take.
  std::atomic<uint32_t> video_read_ms{0};
  std::atomic<uint32_t> audio_read_ms{0};
  std::atomic<bool> video_reader_seen{false};
  std::atomic<bool> audio_reader_seen{false};
  // Which thread each reader last pulled from: a reader never waits for
  // itself.
  std::atomic<uintptr_t> video_reader_thread{0};
  std::atomic<uintptr_t> audio_reader_thread{0};
  // When a ring became too full for the next pack while its reader was not
  // pulling (ms tick, 0 = not stalled): the other reader waits a bounded
  // time for it before the ring's packets are dropped.
  std::atomic<uint32_t> video_stall_ms{0};
  std::atomic<uint32_t> audio_stall_ms{0};
};

}  // namespace dravik
