// The audio engine's one global state and the operations its files share.
// Each group of fields is owned by the step that writes it (see the
// comments); the engine thread and the device's completion path touch only
// the fields marked as shared, under `queue_lock` or as atomics.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "audio/audio_api.h"
#include "audio/output/audio_device.h"
#include "audio/output/speaker_placement.h"
#include "platform/change_count.h"
#include "platform/event.h"
#include "platform/lock.h"
#include "platform/wait_flag.h"

namespace lunaret {

enum class SourceKind : int32_t {
  no_audio = AUDIO_SOURCE_NO_AUDIO,
  mpeg_audio = AUDIO_SOURCE_MPEG_AUDIO,
  ac3 = AUDIO_SOURCE_AC3,
  lpcm = AUDIO_SOURCE_LPCM,
  avi_audio = AUDIO_SOURCE_AVI_AUDIO,
  push_pcm = AUDIO_SOURCE_PUSH_PCM,
};

// Output buffers: 40 slots of 49,152 bytes in one area; a fill is given
// 36,864 bytes as its nominal size (eight Layer II frames of stereo PCM).
constexpr int kBufferCount = 40;
constexpr int kSlotBytes = 49152;
constexpr int kSlotValues = kSlotBytes / 2;
constexpr int kNominalBlockBytes = 36864;
constexpr int kSpdifBlockBytes = 6144;
constexpr int kFillQueueSize = 128;
constexpr int kQueueCapDefault = 10;
constexpr int kQueueMax = 40;
constexpr int kFramesPerFillMax = 8;
constexpr int kRawBlockBytes = 2048;
// Bounds of the waits on the engine thread: a synchronous decode waits this
// long for a fill to end, AudioWaitRead this long for a read; a quiesce
// sleeps in rounds of this until the fill in progress ends.
constexpr uint32_t kDecodeSyncBoundMs = 2000;
constexpr uint32_t kWaitReadBoundMs = 1000;
constexpr uint32_t kQuiesceRoundMs = 1000;

// Echo line: 9 slots of one Layer II frame of stereo samples.
constexpr int kEchoSlots = 9;
constexpr int kEchoChunkValues = 2304;

// Speaker presets 0..16.
constexpr int kPresetCount = 17;

// AC-3 decoded for a speaker layout: L, C, R, Ls, Rs, LFE.
constexpr int32_t kAc3PlacedChannels = 6;

constexpr uint32_t kDefaultSyncWord = 0x0FFF;
constexpr int kDefaultSyncBits = 12;

/// What the open-time probe of a stream learns.
struct SourceFormat {
  int32_t layer = 0;       // MPEG layer 1..3; 0 for other kinds
  int32_t rate_index = 0;  // MPEG sampling-frequency index
  int32_t rate = 0;        // Hz
  int32_t channels = 0;    // of the stream
  int32_t mode = 0;        // MPEG header mode (0 stereo .. 3 single channel)
  int32_t bit_rate = 0;    // kbit/s
  int32_t bits = 16;       // bits per sample of LPCM / PCM sources
  // Channels of a decoded block when they differ from the stream's (AC-3
  // and LPCM fold to stereo); 0: the stream's.
  int32_t block_channels = 0;
  int32_t decoded_channels() const { return block_channels ? block_channels : channels; }
};

/// One block fill: how many 16-bit values (all channels) it produced and
/// whether the source still delivers.
struct FillResult {
  int32_t values = 0;
  bool ok = false;
};

class Engine;

/// The per-kind part of the engine: how a kind opens, learns its format,
/// fills a block and resets. Every entry is set (kinds without a decoder
/// yet use ones that report the end of the stream).
struct SourceOps {
  /// At source open (AudioOpenFile / AudioOpenStream). false fails the open.
  bool (*open)(Engine &e);
  /// At output preparation: finds the stream's format. false: no stream.
  bool (*prepare)(Engine &e, SourceFormat &info);
  /// Decodes up to `frames` frames into dst (capacity in 16-bit values),
  /// arranged for the channel and rate modes.
  FillResult (*fill)(Engine &e, int16_t *dst, int32_t capacity, int32_t frames);
  /// Forgets decoder state after a reposition, flush or mode change;
  /// `reader` also restarts the input reader and the sync word.
  void (*reset)(Engine &e, bool reader);
  /// At AudioClose.
  void (*close)(Engine &e);
};

/// Builds the decoders' process-wide state. The engine calls it before it
/// starts its thread, so that the decoders outlive the engine at exit.
void init_sources();

/// The operations for a kind (tests may override one, see below).
const SourceOps &source_ops(SourceKind kind);
/// Replaces the operations of one kind (null restores). Tests use it to
/// feed the engine a known signal; only while no output is prepared.
void set_source_ops(SourceKind kind, const SourceOps *ops);

/// Output format chosen at preparation, with the derived figures.
struct OutputFormat {
  PcmFormat pcm;
  int32_t bytes_per_sample = 2;
  int32_t nominal_block = kNominalBlockBytes;
  float ms_per_sample = 0;
  float ms_per_byte = 0;
  // Channels of a decoded block (1 or 2; 6 for AC-3 decoded for a
  // multichannel layout); a multichannel device has more, and each block is
  // placed over them before it is written.
  int32_t block_channels = 2;
  // A speaker layout is in use: blocks go through the placement.
  bool placed = false;
  // The device takes AC-3 bursts (format 146): blocks are written as made.
  bool spdif = false;
  // Frames per fill a multichannel layout asks for; 0 keeps the engine's.
  int32_t frames_per_fill = 0;
  bool valid = false;
};

/// Playback ring for the scope: which header was written in which order.
struct PlaybackRing {
  std::array<AudioWaveHeader *, kBufferCount> slot{};
  int write_index = 0;
  int64_t bytes_written = 0;
  int played_index = 0;
  int64_t bytes_played = 0;
};

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(const Engine &) = delete;
  Engine &operator=(const Engine &) = delete;

  // --- Source (caller's thread) ---
  SourceKind kind = SourceKind::mpeg_audio;
  int32_t stream_id = -1;   // what SysReadStream reads
  int32_t source_tag = -1;  // CTL_SOURCE_HANDLE at open, -1 after a reset
  bool file_mode = false;   // opened by path (or reset by AudioResetStream)
  bool audio_file = false;  // a bare audio elementary file
  uint32_t sync_word = kDefaultSyncWord;
  int32_t sync_bits = kDefaultSyncBits;
  std::string path;  // the file AudioOpenFile opened; any length
  SourceFormat info;
  bool info_valid = false;

  // --- Modes (caller's thread; read by fills) ---
  int32_t rate_mode_requested = AUDIO_RATE_NORMAL;
  int32_t rate_mode_active = AUDIO_RATE_NORMAL;
  std::atomic<int32_t> channel_mode{AUDIO_CHANNEL_STEREO};
  bool mono_out() const { return channel_mode != AUDIO_CHANNEL_STEREO; }
  int32_t hint = 0;
  int32_t frames_per_fill = 1;
  int32_t frames_per_fill_work = 1;
  int32_t flush_limit = 0;
  int32_t ac3_mode = 0;
  bool force16 = false;  // set by synchronous decodes: no 8-bit conversion

  // --- Output (caller's thread) ---
  bool opened = false;
  bool device_usable = false;
  bool playing = false;
  int32_t paused = 0;
  void *owner = nullptr;
  OutputFormat out;
  // Replaced only under device_mutex, so that the clock (read from other
  // threads without the export lock) never sees a device being closed.
  std::unique_ptr<AudioDevice> device;
  mutable std::mutex device_mutex;
  bool volume_set = false;
  uint32_t volume = 0;
  int32_t last_stall_position = -1;  // AUDIO_CMD_POSITION_STALLED

  // --- Buffers ---
  // kBufferCount slots from calloc: its fresh pages stay untouched (and
  // out of the resident set) until a fill writes them.
  struct FreeArea {
    void operator()(int16_t *p) const { std::free(p); }
  };
  std::unique_ptr<int16_t[], FreeArea> pcm_area;
  std::array<AudioWaveHeader, kBufferCount> headers{};
  int16_t *slot(int i) { return pcm_area.get() + static_cast<size_t>(i) * kSlotValues; }
  int header_index(const AudioWaveHeader *h) const;

  // --- Shared with the engine thread and the completion path ---
  platform::CriticalSection queue_lock;  // fill queue write side, at_device
  std::array<AudioWaveHeader *, kFillQueueSize> fill_queue{};
  int fill_write = 0;                 // under queue_lock
  int fill_read = 0;                  // engine thread only
  std::atomic<int32_t> at_device{0};  // changed under queue_lock, read anywhere
  // Each header is in one place at a time; this stops a header that is
  // already waiting or at the device from being queued twice.
  enum class Where : uint8_t { idle, queued, at_device };
  std::array<Where, kBufferCount> where{};  // under queue_lock
  PlaybackRing ring;                        // under queue_lock

  std::atomic<bool> stopping{false};
  platform::WaitFlag busy;     // the thread is inside a fill
  platform::WaitFlag in_fill;  // someone decodes: the thread or a synchronous call
  std::atomic<bool> end_of_stream{false};
  std::atomic<bool> input_ended{false};
  std::atomic<bool> starving{false};
  std::atomic<int32_t> queue_cap{kQueueCapDefault};
  std::atomic<int32_t> queue_limit{kQueueCapDefault};
  std::atomic<int32_t> written{0};

  // Moves on whenever the thread ends a round of fills and whenever the
  // device gives a buffer back: who waits for the output to drain (or for
  // any step of the flow) sleeps on it and looks again.
  platform::ChangeCount progress;
  platform::Event wake{false, false};     // auto-reset
  platform::Event read_gate{true, true};  // manual-reset, set

  // --- Post-processing ---
  std::array<std::array<int16_t, kEchoChunkValues>, kEchoSlots> echo_line{};
  int32_t echo_read = 0;
  int32_t echo_write = 0;
  int32_t capture_fd = -1;
  int64_t capture_bytes = 0;
  const AudioCaptureWriter *capture_writer = nullptr;
  std::atomic<bool> capture_writing{false};
  bool capture_failed = false;
  uint32_t capture_channels = 2;  // what the capture's header says
  uint32_t capture_rate = 44100;

  // --- Timing run: time spent inside media-layer reads ---
  std::atomic<int64_t> read_ticks{0};

  // --- Values kept for the multichannel, AC-3 and equaliser commands ---
  int32_t passthrough = 0;
  int32_t multichannel = 0;
  int32_t alt_table = 0;
  int32_t preset = 8;
  AudioSpeakerLayout edit_layout{{0, 1, 0, 0, 2, 3, 0, 0, 0}};
  AudioSpeakerLayout active_layout{{0, 1, 0, 0, 2, 3, 0, 0, 0}};
  // What the last decoded block came from, for the placement.
  int32_t place_code = kCodeStereo;
  bool place_lfe = false;
  Placement placement;
  // The placement reads a block from here (allocated once).
  std::unique_ptr<int16_t[]> place_scratch;
  std::array<int32_t, 10> eq_values{};
  int32_t eq_enable = 0;
  bool capabilities_probed = false;
  int32_t max_channels = 2;
  int32_t layout_mask = 0xF8;
  int32_t spdif_usable = 0;
  // What the probe found per table and preset: usable, and the extensible
  // channel mask the device took (0 when plain PCM of that count is taken).
  std::array<std::array<bool, kPresetCount>, 2> layout_usable{};
  std::array<std::array<uint32_t, kPresetCount>, 2> layout_mask_found{};

  // --- The equaliser: lives exactly as long as a real device ---
  alignas(16) std::array<unsigned char, 64> eq_block{};
  std::atomic<void *> eq_object{nullptr};

  // --- The engine thread ---
  void start_thread();
  void stop_thread();

 private:
  void thread_main();
  struct ThreadState;
  std::unique_ptr<ThreadState> thread_;
};

/// The process's engine, created (with its thread) on first use.
Engine &engine();

// Shared steps (engine_flow.cpp, lifecycle.cpp, decode_block.cpp).

/// Dravik's callback for a queued header: into the fill queue.
void buffer_ready(void *header);
/// The device's done notification.
void device_done(void *context, AudioWaveHeader *header);
/// Wakes the thread no more and waits until it is outside a fill.
void quiesce(Engine &e);
/// Nothing in flight: the device holds no buffer, no fill runs and none
/// waits. With the end of the stream reached, the output has drained.
bool flow_settled(Engine &e);
/// Empties the fill queue and forgets where every header was (after the
/// device returned them all).
void forget_buffers(Engine &e);
/// Hands every header to Dravik's callback queue.
void queue_all_buffers(Engine &e);

/// The source kind decision from the media layer's state.
SourceKind decide_kind(Engine &e);
/// One block into dst (capacity kSlotValues): fill, echo, capture, 8-bit.
FillResult decode_block(Engine &e, int16_t *dst);
/// Resets decoder state, the echo line and (reader) the input reader.
void reset_decoding(Engine &e, bool reader);

/// Chooses the output format for the stream: 16-bit PCM of its channels,
/// or a multichannel layout the device takes. Plain output asks no device.
bool choose_output_format(Engine &e, bool stereo, int32_t rate);
/// AC-3 pass-through: the burst format when the device takes it.
bool choose_spdif_format(Engine &e);
/// Before a device opens: keeps the chosen format when the device takes it,
/// else falls back to 8 bits. false when the device takes neither.
bool fit_output_to_device(Engine &e);
/// Opens the device for the chosen format with the completion callback
/// and re-applies the volume. false when it cannot be opened.
bool open_device(Engine &e);
/// Resets, unprepares and closes an open device.
void close_device(Engine &e);
/// Start of output (AudioPlay, AUDIO_CMD_OUTPUT_START). -> 1 if the device is open.
int32_t start_output(Engine &e);
/// The mode change: quiesces, stores the new value through `store`, and
/// re-initialises decoding and output for it.
void reinit_output(Engine &e, void (*store)(Engine &, int32_t), int32_t value);
/// Probes the device's channel and S/PDIF capabilities once.
void probe_capabilities(Engine &e);

/// Capture (WAV) steps.
void capture_start(Engine &e, int32_t fd);
void capture_append(Engine &e, const void *data, int32_t bytes);
/// -> 1, or 0 when a write of the capture failed.
int32_t capture_finish(Engine &e);
/// Channels of the blocks DecodeBlock hands over (after placement).
int32_t block_out_channels(const Engine &e);
bool write_wav_header(Engine &e, int32_t fd, uint32_t data_bytes);
bool finish_wav_header(Engine &e, int32_t fd, uint32_t data_bytes);

/// The equaliser: built after a real device open, gone at its close;
/// applied to a block before it is written (16-bit output) or before the
/// 8-bit conversion. AUDIO_CMD_SET_EQUALISER and AUDIO_CMD_SET_EQ_ENABLE reach it through the update calls.
void equaliser_create(Engine &e);
void equaliser_destroy(Engine &e);
void equalise_block(Engine &e, int16_t *data, int32_t values);
void equaliser_update_gains(Engine &e);
void equaliser_update_enable(Engine &e);

/// Places a block of block_channels-channel values over the layout's
/// channels in place. -> values.
int32_t place_channels(Engine &e, int16_t *data, int32_t values);
/// Most 16-bit values a fill may produce so that the placed block still
/// fits its slot.
int32_t fill_capacity(const Engine &e);
/// Every media-layer read of a decoder (timed, and gated while starving).
int32_t engine_read(Engine &e, void *dst, int32_t len);
/// The per-kind operations of the other kinds (source_*.cpp).
const SourceOps &ac3_source_ops();
const SourceOps &lpcm_source_ops();

/// Echo step over a block of values.
void apply_echo(Engine &e, int16_t *data, int32_t values);

int32_t get_play_time(Engine &e);
uint32_t get_volume(Engine &e);
uint32_t set_volume(Engine &e, uint32_t volume);
/// 1 if the device offers 22.05 or 44.1 kHz output.
int32_t device_usable();
/// AUDIO_CMD_RATE_SUPPORTED and AUDIO_CMD_RATE_CHANNELS.
int32_t rate_supported(int32_t rate);
int32_t rate_channels(int32_t rate);

// Lifecycle (lifecycle.cpp), one per export.
int32_t open_file(Engine &e, const char *path);
int32_t open_stream(Engine &e, int32_t tag);
int32_t open_output(Engine &e, void *owner);
int32_t close_all(Engine &e);
int32_t reset_stream(Engine &e);
void flush(Engine &e);
void halt(Engine &e);
int32_t set_pause(Engine &e, int32_t on);
void set_channel_mode(Engine &e, int32_t mode);
void set_rate_mode(Engine &e, int32_t mode);
int32_t play(Engine &e);
int32_t stop(Engine &e);
int32_t stop_output(Engine &e);
int32_t wait_read(Engine &e);
/// One synchronous block for a caller (AUDIO_CMD_DECODE_BLOCK, AUDIO_CMD_DECODE_TO_FILE): 16-bit output,
/// into buffer 0's slot. Sets end_of_stream when it fails.
FillResult decode_sync(Engine &e);
int32_t get_bit_rate(Engine &e);
int32_t get_scope(Engine &e, AudioScopePair *out, int32_t count);
intptr_t audio_command(Engine &e, int32_t cmd, intptr_t arg);
int32_t timing_run(Engine &e, AudioTimingRun *out);

}  // namespace lunaret
