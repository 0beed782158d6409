// The engine's single process-wide state and the operations the exports
// call. Flags the playback thread shares with the callers are atomics (read
// and written with relaxed order: each is a lone word whose value, not its
// ordering against other memory, matters; engine_lock orders the rest).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/change_count.h"
#include "platform/event.h"
#include "platform/hold_count.h"
#include "platform/lock.h"
#include "platform/wait_flag.h"
#include "video/engine/display.h"
#include "video/engine/ports.h"
#include "video/video_api.h"

namespace kestrum {

/// Default caption text and its storage size.
inline constexpr char kDefaultCaption[] = "Kestrum";
inline constexpr size_t kCaptionSize = 64;
/// Longest title kept from VideoOpen.
inline constexpr size_t kTitleSize = 128;
/// Sentinel of audioRateMode: choose the rate mode when a file is opened.
inline constexpr int32_t kRateModeChooseAtOpen = 100;
/// aspectFactor when the picture size is unknown: 4:3 x 256 rounded up
/// (what a 352 x 288 VCD picture gives).
inline constexpr int32_t kDefaultAspectFactor = 312;
/// Budget handed to SysRunCallbacks to drain every queued audio refill.
inline constexpr int32_t kRunAllCallbacks = 0x7FFFFFF;
/// Highest code VideoCommand knows.
inline constexpr int32_t kLastCommand = VCMD_MIX_SUBPICTURE;

enum class OpenMode : int32_t { video = 0, audio_only = 2 };
enum class PlayMode : int32_t { normal = 0, fast = 1, slow = 2 };

// The play state, in one record per stage; each stage writes its own
// record (others may read it). Field names follow the interface's names.
// Fields the playback thread shares with the callers are atomics.

/// The open source: what is open, how, and how long it is.
struct SourceRecord {
  std::atomic<int32_t> open{0};
  std::atomic<int32_t> closing{0};
  std::atomic<int32_t> open_mode{0};
  int32_t source_tag = -1;
  int32_t is_elementary = 0;
  int32_t total_length = 0;
  int32_t audio_present = 0;  // the source carries sound
  int32_t open_count = 0;
  uint32_t start = 0;  // start argument of the current open
  std::string title;
  std::string path;
};

/// Transport and pacing: what the playback thread is doing and how it paces.
struct PlaybackRecord {
  std::atomic<int32_t> stopped{0};
  std::atomic<int32_t> scan{0};
  std::atomic<int32_t> idle{1};
  platform::WaitFlag stepping;  // raised while the thread works, `idle` lowered
  // Moves on after every play step of the thread and whenever it goes
  // idle: who waits for pictures, an end or a stop sleeps on it.
  platform::ChangeCount changes;
  std::atomic<int32_t> abort{0};
  platform::HoldCount busy;           // interface calls working on the stream
  platform::FlagWord end_of_stream;   // the last play ended at the end
  std::atomic<int32_t> real_time{1};  // pace pictures by the clock
  std::atomic<int32_t> play_mode{0};
  std::atomic<int32_t> mpeg2_play_loop{1};
  /// Called before each picture the thread presents: load it once into a
  /// local and call that (a stop may clear it in between).
  std::atomic<KestrumEndCallback> end_callback{nullptr};
  int32_t scan_step = 1;
  int32_t slow_factor = 1;
  int32_t mark_a = 0;
  int32_t mark_b = 0;
  int32_t remembered_position = 0;
};

/// The link to the audio engine.
struct AudioLinkRecord {
  std::atomic<int32_t> audio_open{0};     // the audio engine is open
  std::atomic<int32_t> audio_running{0};  // the audio engine plays
  std::atomic<int32_t> audio_paused{0};   // read by the playback thread
  // A stop the window asked for while engine_lock was held: stopping waits
  // for the sound's fill thread, so it is made once the lock is free.
  std::atomic<int32_t> stop_asked{0};
  int32_t audio_rate_mode = kRateModeChooseAtOpen;
  int32_t channel_mode = 2;
};

/// Decoding and the picture handed on: decoder settings, colour conversion,
/// the frame hook and the held picture.
struct PictureRecord {
  int32_t coefficient_limit = 0;
  int32_t variant = 0;  // 0, 83 or 85
  int32_t colour_mode = 1;
  int32_t mono_tint_cb = 128;
  int32_t mono_tint_cr = 128;
  int32_t brightness = 0;
  int32_t pixel_layout = 0;
  int32_t converter_column = 0;
  intptr_t frame_hook = 0;
  int32_t frame_hook_suspended = 0;
  KestrumPostFrameCallback post_frame_callback = nullptr;
  int32_t picture_held = 0;
};

/// Presentation: the window, its caption, aspect and stacking (the window
/// reads these under engine_lock).
struct PresentationRecord {
  std::atomic<int32_t> relayout{0};
  int32_t caption_on = 1;
  std::array<char, kCaptionSize> caption_text{};
  int32_t aspect_factor = kDefaultAspectFactor;
  int32_t keep_aspect = 1;
  int32_t wide = 0;  // displayAspect: 0 = 4:3, 1 = 16:9
  int32_t background_mode = 1;
  int32_t full_screen = 0;
  int32_t on_top = 0;
  int32_t refresh_forbidden = 0;
  int32_t close_hides_only = 0;
  int32_t depth_preference = 0;
  int32_t spu_draw_mode = 0;
  intptr_t host_window = 0;
  intptr_t host_command = 0;
};

struct EngineState {
  SourceRecord source;
  PlaybackRecord playback;
  AudioLinkRecord audio_link;
  PictureRecord picture;
  PresentationRecord presentation;
  // Values of the display, subpicture and DVD layers kept for their codes.
  std::array<intptr_t, kLastCommand + 1> stored{};
};

/// Everything the library keeps for the process.
struct Engine {
  EngineState state;
  platform::CriticalSection engine_lock;
  platform::Event wake{false, false};  // auto-reset, initially clear
  Display display;
  KestrumPlaneRecord plane_record{};
  void *startup_result = nullptr;
  bool started_up = false;
};

/// The process's engine, built on first use together with its playback
/// thread (once per process).
Engine &engine();

/// Number of playback threads this process has started (1 after the first
/// use; a second start-up must not add one).
int32_t playback_threads_started();

// Operations behind the exports (each in the file named after its area).
int32_t engine_open(const KestrumHostDisplay *display, const char *path, const char *title, uint32_t start,
                    bool reopen);
int32_t engine_close(int32_t hide, bool keep_display);
/// How engine_open_source opens: as a system stream (VideoOpenSource), or
/// as a bare video stream without audio (VideoOpenVideoElementary).
enum class SourceForm : uint8_t { system, video_elementary };
int32_t engine_open_source(const char *path, SourceForm form);
int32_t engine_close_source();
int32_t engine_open_audio_only(const KestrumHostDisplay *display, const char *path, uint32_t start);
int32_t engine_close_audio_only();
int32_t engine_reopen_audio_only(const char *path, uint32_t start);
int32_t engine_run();
int32_t engine_halt();
int32_t engine_step();
int32_t engine_seek(int32_t pos, int32_t origin);
/// VCMD_SEEK_TIME: to the first picture that starts at or after `ms` of
/// display time. The new byte position, or 0 when refused.
int32_t engine_seek_time(int32_t ms);
/// VCMD_PICTURE_TIME: display time (ms) of the picture on screen, or -1.
int32_t engine_picture_time();
/// VCMD_NEXT_INTRA: on to the next I picture and show it. 1/0.
int32_t engine_next_intra();
void engine_reset_state();
void *engine_startup();
int32_t engine_shutdown();
int32_t engine_scan_on();
int32_t engine_scan_off();
void engine_refresh();
void engine_set_colour_mode(int32_t colour);
int32_t engine_set_mono_tint(int32_t cb, int32_t cr);
intptr_t engine_command(int32_t cmd, intptr_t arg);
int32_t engine_bit_rate();

/// Waits (10 x 30 ms at most) for the playback thread to go idle. Returns
/// true when it did; otherwise it has been asked to stop and will finish
/// its step on its own.
bool wait_for_idle();
/// Decodes the next picture under engine_lock. 1/0.
int32_t decode_next_picture();
/// Makes the decoder's current picture the one the frame-copy routines see.
void publish_current();
/// Presents the decoder's current picture (under engine_lock).
void present_current();
/// Audio-only play (re)starts with full buffers: the device waits paused
/// while every queued refill runs.
void start_audio_device_filled();
/// After a seek has moved the source (engine_lock released): the sound
/// drops what belonged to the old place and counts its sync afresh.
void flush_audio_after_seek();
/// Stops the sound if the window asked for it (engine_lock free).
void stop_sound_if_asked();
/// Current byte position of the source (SysSeek(0, 1)).
int32_t current_position();
/// Settings file access for the on-top state.
int32_t read_on_top_setting();
void write_on_top_setting(int32_t on);

}  // namespace kestrum
