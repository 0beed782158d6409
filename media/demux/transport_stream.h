// Transport streams are turned into a program-stream-like run of packets
// before parsing: 188-byte packets are resynchronised on their 0x47 sync
// bytes, the program association and program map tables name the video and
// audio PIDs, each PID's payload is gathered, complete PES packets are cut
// from the first video and the first audio PID (split into pieces of at most
// 61440 bytes) and the rebuilt packets are handed out as 64 KiB parse blocks.
#pragma once

#include <cstdint>
#include <memory>

namespace dravik {

struct State;

/// True when the block looks like a transport stream: some byte in the
/// first (n - 564) bytes is 0x47 and so is every 188th byte after it.
bool looks_like_transport_stream(const uint8_t *data, int32_t n);

class TsConverter {
 public:
  TsConverter();
  ~TsConverter();
  TsConverter(const TsConverter &) = delete;
  TsConverter &operator=(const TsConverter &) = delete;

  /// Forget partial data after the source moved (the PID lists stay).
  void reset();
  /// The next parse block of rebuilt packets into dst (64 KiB); -> bytes,
  /// 0 when the source and the converter are exhausted.
  int32_t next_parse_block(State &s, uint8_t *dst);
  /// Converts one block of transport-stream bytes.
  void feed(const uint8_t *data, int32_t n);
  /// Flushes what is left at the end of the source.
  void finish();

  /// Piecewise rates (50-byte units per second) of the video and audio PID.
  int32_t video_rate() const { return video_rate_; }
  int32_t audio_rate() const { return audio_rate_; }
  int32_t staged() const { return staged_end_ - staged_begin_; }
  /// Bytes dropped because a PID buffer or the staging area was full.
  int64_t dropped() const { return dropped_; }

  struct PidBuffer;

 private:
  void packet(const uint8_t *p);
  void parse_pat(const uint8_t *payload, int32_t n, bool unit_start);
  void parse_pmt(const uint8_t *payload, int32_t n, bool unit_start);
  void append(PidBuffer &b, const uint8_t *data, int32_t n);
  void cut(PidBuffer &b, bool final);
  void emit(PidBuffer &b, const uint8_t *data, int32_t n, bool with_header);
  void stage(const uint8_t *data, int32_t n);

  static constexpr int32_t kMaxPids = 32;
  int32_t pmt_pids_[kMaxPids] = {};
  int32_t pmt_count_ = 0;
  int32_t video_pids_[kMaxPids] = {};
  int32_t video_count_ = 0;
  int32_t audio_pids_[kMaxPids] = {};
  int32_t audio_count_ = 0;
  int32_t video_rate_ = 0;
  int32_t audio_rate_ = 0;

  std::unique_ptr<uint8_t[]> window_;  // unsynchronised leftovers + a block
  int32_t window_fill_ = 0;
  std::unique_ptr<PidBuffer> video_;
  std::unique_ptr<PidBuffer> audio_;
  std::unique_ptr<uint8_t[]> staging_;
  int32_t staged_begin_ = 0;
  int32_t staged_end_ = 0;
  std::unique_ptr<uint8_t[]> raw_;  // a source block being converted
  bool source_done_ = false;
  int64_t dropped_ = 0;
};

}  // namespace dravik
