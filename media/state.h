// The library's one state record per process: the open source, the two
// rings, the block in hand, stream selection, the callback queue, the
// hooks hosts install and the values SysControl stores.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/blocks/angle_reader.h"
#include "media/blocks/read_ahead.h"
#include "media/demux/demux_state.h"
#include "media/demux/stream_sink.h"
#include "media/extract/extract_state.h"
#include "media/media_api.h"
#include "media/rings/callback_queue.h"
#include "media/rings/ring.h"
#include "media/source/disc_file.h"
#include "media/source/disc_lookup.h"
#include "platform/event.h"
#include "platform/lock.h"

namespace dravik {

constexpr int32_t kBlockBytes = 0x10000;
constexpr uint32_t kVideoRingBytes = 0x200000;
constexpr uint32_t kAudioRingBytes = 0x20000;
constexpr int32_t kRawSectorBytes = 2352;
constexpr int32_t kCdxaDataStart = 44;
constexpr int32_t kDvdSectorBytes = 2048;

/// Which opener the next SysOpen uses (decided by the last probe).
enum class Opener { mpeg, avi, plugin };

enum class SourceType { none, file, cd_track, dvb, avi, plugin };

struct SectorAccess {
  bool on = false;
  int32_t drive = -1;
  int32_t first_sector = 0;
  int32_t sectors = 0;
};

struct Source {
  int32_t handle = -1;  // the value callers see (descriptor or reserved)
  int fd = -1;          // the descriptor behind file-backed sources
  SourceType type = SourceType::none;
  int64_t size = 0;          // bytes, or scaled units for big joined sets
  int32_t data_start = 0;    // 44 for raw-sector files
  int64_t position = 0;      // where the next block read starts
  int64_t lowest_start = 0;  // set by a Video CD entry point
  int32_t sector_scale = 0;  // position units per 2048-byte sector, or 0
  bool raw_sector = false;   // RIFF CDXA file of raw 2352-byte sectors
  bool dvd = false;          // .VOB file or joined title set
  bool joined = false;
  bool nav_pack = false;    // a navigation pack was found at open
  bool align_next = false;  // next DVD read aligns down to 2048
  SectorAccess sectors;
  int32_t track_first = 0;  // CD track source: sector range
  int32_t track_end = 0;
  int32_t drive = -1;  // CD-ROM drive of the source, -1 none
  std::string path;
  std::shared_ptr<const DiscFile> disc;  // a file of a mapped drive, read by sectors
};

/// The 64 KiB block the demultiplexer parses, with zeroed padding after it
/// so that a word read at the very end stays inside the allocation.
struct ParseBuffer {
  ParseBuffer() : bytes(new uint8_t[kBlockBytes + 16]()) {}
  std::unique_ptr<uint8_t[]> bytes;
  int32_t valid_bytes = 0;
  int64_t source_pos = 0;  // where the block in hand was read from
};

/// Ids of one kind with an aging counter each.
struct SeenList {
  int32_t count = 0;
  int32_t ids[32] = {};
  int32_t age[32] = {};
  bool contains(int32_t id) const {
    for (int32_t i = 0; i < count; ++i)
      if (ids[i] == id) return true;
    return false;
  }
};

struct IdList {
  int32_t count = 0;
  int32_t ids[32] = {};
  void set_one(int32_t id) { ids[0] = id, count = 1; }
  void append(int32_t id) {
    if (count < 32) ids[count++] = id;
  }
};

/// The two rings and their counters: written by the parse step, read by
/// the engines through the read exports and the live level addresses.
struct Rings {
  Ring video{kVideoRingBytes};
  Ring audio{kAudioRingBytes};
  int64_t picture_mark = -1;  // ring offset, -1 none
  // Copies of the ring levels whose addresses the engines keep.
  int32_t video_avail_stored = 0;
  int32_t audio_avail_stored = 0;
  int32_t video_packets = 0;
  int32_t audio_packets = 0;
  int32_t spu_packets = 0;
  int64_t raw_bytes = 0;  // delivered in a raw elementary mode
  std::atomic<int32_t> video_target{0};
  std::atomic<int32_t> audio_target{0};
  // Set whenever a reader takes bytes out of a ring: a reader blocked on
  // the other, full ring waits on it instead of polling.
  platform::Event room_made;
};

/// Which streams the source carries and which are taken.
struct Selection {
  int32_t video_id = -1;
  int32_t audio_id = -1;
  int32_t spu_id = -1;
  SeenList video_seen;
  SeenList audio_seen;
  SeenList spu_seen_ages;  // ages of the subpicture numbers below
  DravikSpuTable spu_seen = {};
  IdList audio_prefer;
  IdList spu_prefer;
  int32_t angle = 0;
  int32_t angle_count = 0;
};

/// Values SysControl stores for later opens and parse steps.
struct Settings {
  int32_t reserved42 = 0;
  int32_t audio_header_word = 0;
  bool cdxa_direct = true;
  bool drive_param_set = false;
  int32_t drive_param = 0;
  bool wait_system_header = false;
  int32_t ts_divisor = 0;
  bool no_probe = false;
  int32_t segment_start = 0;
  int32_t segment_end = 0;
  std::string output_dir;
  int32_t extract_mode = 0;
  void *spu_buffer = nullptr;
  DravikSpuCallback spu_callback = nullptr;
  bool spu_enabled = false;
  int32_t vcd_kind = 0;
  uint32_t b_hook_time = 0;
};

/// What hosts install: file tables, the probe hook, plug-ins, the
/// extraction writer and name hook, and the subpicture sinks.
struct Hooks {
  const FileIoTable *io_a = nullptr;
  const FileIoTable *io_b = nullptr;
  const FileIoTableC *io_c = nullptr;
  DravikProbeHook probe_hook = nullptr;
  std::vector<SourcePlugin *> plugins;
  SourcePlugin *active_plugin = nullptr;
  ExtractWriter writer = nullptr;
  DravikNameHook name_hook = nullptr;
  std::vector<std::unique_ptr<SinkObject>> sinks;
};

struct State {
  State();
  ~State();
  State(const State &) = delete;
  State &operator=(const State &) = delete;

  platform::CriticalSection parse_lock;
  platform::CriticalSection io_lock;

  // Finding and opening the source.
  Source source;
  Opener next_opener = Opener::mpeg;
  VideoTsListing listing;
  int32_t raw_mode = 0;  // 1 bare video, 2 bare audio
  std::atomic<int32_t> path_mode{0};
  std::atomic<bool> end{false};

  // Parsing: the block in hand and what the parse step keeps between steps.
  ParseBuffer parse;
  DemuxState demux;
  bool mpeg2 = false;
  bool scr_capture = false;
  int32_t byte_rate = 0;
  bool rate_valid = false;

  Rings rings;
  Selection select;
  AngleNav nav;
  CallbackQueue queue;
  Settings settings;
  Hooks hooks;
  ExtractState extract;
  SegmentState segment;

  // Read-ahead (declared last: its thread stops before the rest goes).
  int32_t block_count = 1;
  ReadAhead read_ahead;
};

/// The process's state, built on first use.
State &global_state();

/// Publishes the ring levels into the stored counters; returns video's.
int32_t store_video_avail(State &s);
int32_t store_audio_avail(State &s);

}  // namespace dravik
