// VideoCommand: the settings table (works whether or not a file is open),
// then, while a file is open, the stream table. A code that the settings
// table finishes returns there; the others fall through.
#include <algorithm>
#include <array>
#include <cstring>

#include "components/glyvex/glyvex.h"
#include "platform/clock.h"
#include "video/engine/engine.h"
#include "video/engine/play/audio_sync.h"
#ifdef KESTRUM_HAVE_SDL
#include "video/engine/window/window_display.h"
#endif
#include "video/engine/output_link.h"

namespace kestrum {

namespace {

// AudioCommand codes.
constexpr int32_t kAudioEndOfStream = 1;
constexpr int32_t kAudioCopyRaw = 9;
constexpr int32_t kAudioResume = 21;
constexpr int32_t kAudioRestart = 22;
constexpr int32_t kAudioBenchmark = 25;
// Budget for the queued refills when play starts.
constexpr int32_t kStartRefillBudgetMs = 60;
// Command 72: the end is near when fewer bytes than this remain.
constexpr int32_t kEndMargin = 2048;
// Volume step of commands 13/14 per channel word.
constexpr int32_t kVolumeStep = 512;
// Command 18: pictures decoded and presented at most.
constexpr int32_t kBenchmarkPictures = 130;
// Added to the benchmark's picture count when a processor variant is on.
constexpr int32_t kBenchmarkVariantBonus = 20;
// Commands 3/4 lower the tint by this much.
constexpr int32_t kTintStep = 4;

// Settings and stream codes accepted; codes 141 to 144 are not.
constexpr bool accepted(int32_t cmd) { return cmd >= 0 && cmd <= kLastCommand && (cmd < 141 || cmd > 144); }

// The surface-format preference list of command 66: nine indexes into the
// display's YUV format list, in the order tried.
int32_t g_format_preferences[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
// DVD attribute copies (commands 94, 96): zero while not playing a DVD title.
uint8_t g_dvd_audio_attributes[8 * 8] = {};
uint8_t g_dvd_spu_attributes[32 * 6] = {};

// Each code of the display, subpicture and DVD layers with its role: a GET
// code returns the stored value of its SET partner; a SET code (and a lone
// code) stores arg and returns the old value.
constexpr int32_t kCmdNextIntra = 84;

enum class ValueRole : uint8_t { none, get, set, lone };

constexpr std::array<ValueRole, kLastCommand + 1> make_value_roles() {
  std::array<ValueRole, kLastCommand + 1> r{};
  constexpr int32_t lone[] = {17, 20, 24, 33, 39, 45, 60, 69, 75, 84, 86, 101, 132, 151, 158, 161, 171, 183};
  constexpr int32_t pairs[][2] = {{37, 38},   {50, 51},   {54, 55},   {58, 59},   {63, 64},   {77, 78},
                                  {90, 91},   {99, 100},  {105, 106}, {108, 109}, {110, 111}, {114, 115},
                                  {116, 117}, {118, 119}, {120, 121}, {122, 123}, {124, 125}, {126, 127},
                                  {145, 146}, {149, 150}, {152, 153}, {154, 155}, {156, 157}, {163, 164},
                                  {169, 170}, {174, 175}, {185, 186}};
  for (int32_t c : lone) r[static_cast<size_t>(c)] = ValueRole::lone;
  for (const auto &p : pairs) {
    r[static_cast<size_t>(p[0])] = ValueRole::get;
    r[static_cast<size_t>(p[1])] = ValueRole::set;
  }
  return r;
}
constexpr auto kValueRoles = make_value_roles();

template <class T>
T *as_ptr(intptr_t arg) {
  return reinterpret_cast<T *>(arg);
}

void fill_state_record(KestrumStateRecord *r) {
  Engine &e = engine();
  const EngineState &s = e.state;
  std::memset(r, 0, sizeof *r);
  r->open = static_cast<uint8_t>(s.open.load());
  r->playing = static_cast<uint8_t>(s.open && !s.stopped);
  r->closing = static_cast<uint8_t>(s.closing.load());
  r->audio_present = static_cast<uint8_t>(s.audio_present);
  r->video_window = e.display.window();
  r->window_proc = nullptr;
  r->audio_rate_mode = s.audio_rate_mode;
  r->channel_mode = s.channel_mode;
  r->real_time = static_cast<uint8_t>(s.real_time);
  r->audio_open = static_cast<uint8_t>(s.audio_open);
  r->audio_paused = static_cast<uint8_t>(s.audio_paused);
  r->monochrome = static_cast<uint8_t>(!s.colour_mode);
  r->mono_tint_cb = static_cast<uint8_t>(s.mono_tint_cb);
  r->mono_tint_cr = static_cast<uint8_t>(s.mono_tint_cr);
  r->coefficient_limit = static_cast<uint8_t>(s.coefficient_limit);
  r->overlay_in_use = s.source_tag == KESTRUM_AVI_SOURCE_TAG ? 1 : 0;
  r->direct_presentation = 0;
  r->full_screen = static_cast<uint8_t>(s.full_screen);
  r->zero = 0;
  r->open_mode = static_cast<uint8_t>(s.open_mode);
}

// Restores the settings a state record carries. The play flags follow the
// record only as far as they are safe: a record that says "closed" or
// "stopped" stops playback; it never opens a file or starts a play.
void restore_state_record(const KestrumStateRecord *r) {
  EngineState &s = engine().state;
  s.audio_rate_mode = r->audio_rate_mode;
  if (r->channel_mode >= 0 && r->channel_mode <= 3) s.channel_mode = r->channel_mode;
  s.real_time = r->real_time;
  s.audio_paused = r->audio_paused;
  s.colour_mode = r->monochrome ? 0 : 1;
  s.mono_tint_cb = r->mono_tint_cb;
  s.mono_tint_cr = r->mono_tint_cr;
  s.coefficient_limit = r->coefficient_limit & 0x3F;
  decoder().set_coefficient_limit(s.coefficient_limit);
  if (s.open && !s.stopped && !r->playing) engine_halt();
}

int32_t benchmark(KestrumBenchmarkRecord *out) {
  Engine &e = engine();
  EngineState &s = e.state;
  if (!out || !s.stopped || s.open_mode != static_cast<int32_t>(OpenMode::video)) return 0;
  KestrumBenchmarkRecord r{};
  const int64_t freq = platform::perf_frequency();
  auto ms = [freq](int64_t ticks) { return static_cast<int32_t>(ticks * 1000 / freq); };
  int64_t decode_ticks = 0;
  int64_t present_ticks = 0;
  const int64_t begin = platform::perf_counter();
  {
    platform::Lock lock(e.engine_lock);
    for (int32_t i = 0; i < kBenchmarkPictures; ++i) {
      const int64_t t0 = platform::perf_counter();
      if (!decode_next_picture()) break;
      const int64_t t1 = platform::perf_counter();
      present_current();
      const int64_t t2 = platform::perf_counter();
      decode_ticks += t1 - t0;
      present_ticks += t2 - t1;
      ++r.pictures;
    }
  }
  r.elapsed_ms = ms(platform::perf_counter() - begin);
  // The decoder pulls its input inside each step; reading is not timed
  // apart from decoding here, so it counts as 0.
  r.decode_ms = ms(decode_ticks);
  r.read_ms = 0;
  r.present_ms = ms(present_ticks);
  if (s.variant) r.pictures += kBenchmarkVariantBonus;
  int32_t audio_bench[5] = {-1, 0, 0, 0, 0};
  if (s.audio_open) audio().command(kAudioBenchmark, reinterpret_cast<intptr_t>(audio_bench));
  std::memcpy(r.audio, audio_bench, sizeof r.audio);
  *out = r;
  return 1;
}

void start_audio_for_play() {
  EngineState &s = engine().state;
  if (!s.audio_open) return;
  s.audio_running = audio().play();
  play::restart_audio_sync();
  if (s.open_mode == static_cast<int32_t>(OpenMode::audio_only)) {
    audio().command(kAudioResume, 0);
    media().run_callbacks(kRunAllCallbacks);
    audio().command(kAudioRestart, 0);
  } else {
    media().run_callbacks(kStartRefillBudgetMs);
  }
}

int32_t at_end() {
  EngineState &s = engine().state;
  if (s.audio_running) return audio().command(kAudioEndOfStream, 0) ? 1 : 0;
  if (s.end_of_stream) return 1;
  // Near the end of the source, but the decoder may still hold whole
  // pictures it has read: the end is reached once it has drained its input.
  const int32_t position = current_position();
  return (static_cast<int64_t>(position) + kEndMargin > s.total_length && decoder().end_of_data()) ? 1 : 0;
}

// The settings table. Returns true when the code is finished here.
bool settings_command(int32_t cmd, intptr_t arg, intptr_t &result) {
  Engine &e = engine();
  EngineState &s = e.state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case 12:
      if (value >= 0 && value <= 3) {
        s.channel_mode = value;
        result = 1;
      }
      return !(value >= 0 && value <= 3);
    case 19:
      if (arg) fill_state_record(as_ptr<KestrumStateRecord>(arg));
      result = 0;
      return true;
    case 46:
      s.caption_on = value ? 1 : 0;
      result = s.caption_on;
      return false;
    case 47:
      if (arg) {
        s.caption_text.fill(0);
        std::strncpy(s.caption_text.data(), as_ptr<const char>(arg), kCaptionSize - 1);
      }
      result = 1;
      return true;
    case 56:
      result = s.background_mode;
      return true;
    case 57:
      result = s.background_mode;
      s.background_mode = value;
      return false;
    case 61:
      result = s.pixel_layout;
      return true;
    case 62:
      result = s.pixel_layout;
      s.pixel_layout = value;
      return true;
    case 65:
      result = 0;  // no overlay or hardware presentation
      return true;
    case 66:
      result = reinterpret_cast<intptr_t>(g_format_preferences);
      return true;
    case 67:
      s.brightness = static_cast<int8_t>(value & 0xFF);
      output_set_brightness(value);
      result = 0;
      return true;
    case 68:
      result = (s.open && !s.stopped) ? 1 : 0;
      return true;
    case 70:
      if (arg) restore_state_record(as_ptr<const KestrumStateRecord>(arg));
      result = 0;
      return true;
    case 79:
      s.host_window = arg;
      result = 0;
      return true;
    case 80:
      s.host_command = arg;
      result = 0;
      return true;
    case 81:
      result = s.keep_aspect;
      return true;
    case 82:
      result = s.keep_aspect;
      s.keep_aspect = value ? 1 : 0;
      return true;
    case 83:
    case 85:
      result = s.variant == cmd ? 1 : 0;
      if (value) {
        s.variant = cmd;
      } else if (s.variant == cmd) {
        s.variant = 0;
      }
      decoder().set_variant(s.variant);
      return true;
    case 92:
      GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
      result = 0;
      return true;
    case 93:
    case 95:
      result = -1;
      return true;
    case 94:
      result = reinterpret_cast<intptr_t>(g_dvd_audio_attributes);
      return true;
    case 96:
      result = reinterpret_cast<intptr_t>(g_dvd_spu_attributes);
      return true;
    case 97:
      result = s.open_count;
      return true;
    case 98:
      result = s.spu_draw_mode;
      s.spu_draw_mode = value ? 1 : 0;
      return true;
    case 102:
      result = s.close_hides_only;
      s.close_hides_only = value;
      return true;
    case 103:
    case 159:
      result = reinterpret_cast<intptr_t>(frame_copy_routine(cmd == 159));
      return true;
    case 104:
      result = s.depth_preference;
      s.depth_preference = value;
      return true;
    case 107:
      result = s.depth_preference;
      return true;
    case 112:
      result = s.frame_hook;
      return true;
    case 113: {
      platform::Lock lock(e.engine_lock);
      result = s.frame_hook;
      s.frame_hook = arg;
      return true;
    }
    case 128:
      result = s.open ? s.full_screen : 0;
      return true;
    case 129:
      result = s.on_top;
      return true;
    case 130:
#ifdef KESTRUM_HAVE_SDL
      // The same path as the window's T key: state, stacking, settings file.
      result = window::set_on_top(value);
#else
      result = s.on_top;
      s.on_top = value ? 1 : 0;
      write_on_top_setting(s.on_top);
#endif
      return true;
    case 133:
      if (arg != KESTRUM_PELL_MARKER) s.post_frame_callback = reinterpret_cast<KestrumPostFrameCallback>(arg);
      result = 0;
      return true;
    case 134:
      result = 0;  // no overlay picture library
      return true;
    case 135:
      result = s.total_length;
      s.total_length = value;
      return true;
    case 136:
      result = 0;  // no full-screen background window
      return true;
    case 137:
      result = s.aspect_factor;
      return true;
    case 138:
      result = s.aspect_factor;
      s.aspect_factor = value;
      return true;
    case 139:
      result = s.source_tag;
      return true;
    case 140:
      result = s.converter_column;
      s.converter_column = value ? 1 : 0;
      return true;
    case 147:
      result = s.mpeg2_play_loop;
      s.mpeg2_play_loop = value ? 1 : 0;
      return true;
    case 160:
      result = 0;  // no DVD navigation library
      return true;
    case 168:
      result = reinterpret_cast<intptr_t>(s.path.c_str());
      return true;
    case 176:
      result = s.scan_step;
      s.scan_step = value;
      return true;
    case 177:
      result = s.scan_step;
      return true;
    case 178:
      result = s.play_mode;
      if (s.stopped || !s.open) {
        if (value >= 0 && value <= 2) s.play_mode = value;
      }
      return true;
    case 179:
      result = s.play_mode;
      return true;
    case 180:
      result = s.slow_factor;
      return true;
    case 181:
      result = s.slow_factor;
      s.slow_factor = value;
      return true;
    default:
      break;
  }
  switch (kValueRoles[static_cast<size_t>(cmd)]) {
    case ValueRole::get:
      result = s.stored[static_cast<size_t>(cmd + 1)];
      return true;
    case ValueRole::set:
    case ValueRole::lone:
      result = s.stored[static_cast<size_t>(cmd)];
      s.stored[static_cast<size_t>(cmd)] = arg;
      return true;
    case ValueRole::none:
      break;
  }
  return false;
}

intptr_t stream_command(int32_t cmd, intptr_t arg, intptr_t result) {
  Engine &e = engine();
  EngineState &s = e.state;
  const int32_t value = static_cast<int32_t>(arg);
  switch (cmd) {
    case 0:
      engine_set_colour_mode(!s.colour_mode);
      engine_refresh();
      return 0;
    case 1:
      s.audio_rate_mode = 1;
      audio().set_rate_mode(1);
      return 0;
    case 2:
      s.audio_rate_mode = value;
      audio().set_rate_mode(value);
      return 0;
    case 3:
      return engine_set_mono_tint(s.mono_tint_cb - kTintStep, s.mono_tint_cr);
    case 4:
      return engine_set_mono_tint(s.mono_tint_cb, s.mono_tint_cr - kTintStep);
    case 5:
    case 6:
      s.full_screen = cmd == 5 ? 1 : 0;
#ifdef KESTRUM_HAVE_SDL
      if (e.display.driver() == &kWindowDisplayDriver) {
        platform::Lock lock(e.engine_lock);
        window::set_full_screen(cmd == 5);
      }
#endif
      return 1;
    case 7:
      if (!s.audio_open) return 0;
      s.busy.fetch_add(1);
      s.audio_paused = !s.audio_paused;
      audio().set_pause(s.audio_paused);
      s.busy.fetch_sub(1);
      return 1;
    case 8:
      s.end_callback = nullptr;
      if (s.audio_running) audio().stop();
      s.audio_running = 0;
      engine_halt();
      return 1;
    case 9:
    case 31:
    case 32:
      if (!s.stopped) return 0;
      if (cmd == 32) {
        s.end_callback = reinterpret_cast<KestrumEndCallback>(arg);
        if (s.end_callback) s.end_callback();
      }
      if (cmd == 31) {
        s.audio_running = 0;
      } else if (s.play_mode == static_cast<int32_t>(PlayMode::normal)) {
        start_audio_for_play();
      }
      return engine_run();
    case 10:
    case 11:
      return engine_seek(value, 1);
    case 12:
      audio().set_channel_mode(value);
      return 1;
    case 13:
    case 14: {
      const uint32_t v = audio().get_volume();
      const int32_t step = cmd == 13 ? kVolumeStep : -kVolumeStep;
      const int32_t left = std::clamp(static_cast<int32_t>(v & 0xFFFF) + step, 0, 0xFFFF);
      const int32_t right = std::clamp(static_cast<int32_t>(v >> 16) + step, 0, 0xFFFF);
      audio().set_volume(static_cast<uint32_t>(left) | (static_cast<uint32_t>(right) << 16));
      return 1;
    }
    case 15:
      return engine_scan_on();
    case 16:
      return engine_step();
    case 18:
      return benchmark(as_ptr<KestrumBenchmarkRecord>(arg));
    case 21:
      if (arg) *as_ptr<int32_t>(arg) = s.total_length;
      return 0;
    case 22:
    case 52: {
      StreamParams p;
      decoder().params(&p);
      if (arg) *as_ptr<int32_t>(arg) = p.vertical_size;
      return p.horizontal_size;
    }
    case 23:
    case 184: {
      KestrumPicture pic{};
      if (!decoder().current_picture(&pic)) return 0;
      e.plane_record.y = const_cast<uint8_t *>(pic.y);
      e.plane_record.cb = const_cast<uint8_t *>(pic.cb);
      e.plane_record.cr = const_cast<uint8_t *>(pic.cr);
      e.plane_record.y_pitch = pic.y_pitch;
      e.plane_record.cb_pitch = pic.c_pitch;
      e.plane_record.cr_pitch = pic.c_pitch;
      if (cmd == 23 && arg) *as_ptr<void *>(arg) = e.plane_record.y;
      return reinterpret_cast<intptr_t>(&e.plane_record);
    }
    case 25:
      if (arg) *as_ptr<int32_t>(arg) = 0;
      return 0;
    case 26:
      return 0;
    case 27:
      if (arg) std::memset(as_ptr<void>(arg), 0, 16);
      return 0;
    case 28:
      s.refresh_forbidden = 1;
      return 0;
    case 29:
      s.refresh_forbidden = 0;
      return 0;
    case 30:
      return s.total_length;
    case 34:
      return s.is_elementary;
    case 35:
    case 40:
      s.mark_a = value;
      return arg;
    case 36:
    case 41:
      s.mark_b = value;
      return arg;
    case 42: {
      const intptr_t copied = audio().command(kAudioCopyRaw, arg);
      if (copied <= 0) return -1;
      return current_position() - s.mark_a;
    }
    case 43:
      s.remembered_position = current_position();
      engine_seek(s.mark_a, 0);
      return 1;
    case 44:
      engine_seek(s.remembered_position, 0);
      return 1;
    case 46:
      return result;
    case 57: {
      // The borders take the new colour at once: the current picture is
      // shown again, or, while it is held (or none is decoded yet), the
      // window redraws what it last showed.
      platform::Lock lock(e.engine_lock);
      const int64_t before = e.display.presented();
      if (!s.picture_held) present_current();
      if (e.display.presented() == before) e.display.repaint();
      return result;
    }
#ifdef KESTRUM_HAVE_SDL
    case 48:
    case 182:
      if (e.display.driver() != &kWindowDisplayDriver || !s.caption_on) return 0;
      {
        platform::Lock lock(e.engine_lock);
        window::set_caption_line(cmd == 48 ? 0 : 1, as_ptr<const char>(arg));
      }
      engine_refresh();
      return 1;
    case 49:
      return e.display.driver() == &kWindowDisplayDriver ? window::caption_drawable() : 0;
#else
    case 48:
    case 182:
    case 49:
      return 0;  // no surface to draw a caption on
#endif
    case 53: {
      StreamParams p;
      decoder().params(&p);
      return p.frame_rate_code;
    }
    case 71: {
      if (!s.stopped) return 0;
      platform::Lock lock(e.engine_lock);
      if (!decode_next_picture()) return 0;
      StreamParams p;
      decoder().params(&p);
      return p.picture_coding_type != 3 ? 1 : 0;
    }
    case 72:
      return at_end();
    case 73:
      return 0;
    case 74: {
      platform::Lock lock(e.engine_lock);
      present_current();
      return 1;
    }
    case 76: {
      if (!s.stopped) return 0;
      platform::Lock lock(e.engine_lock);
      return decode_next_picture();
    }
    case 87:
    case 88:
    case 89:
      return 0;  // no presentation plug-in
    case 131:
      if (!s.audio_open && s.audio_present && s.source_tag != -1) {
        audio().open_stream(s.source_tag);
        s.audio_open = audio().open_output(e.display.window()) ? 1 : 0;
      }
      return s.audio_open;
    case 148:
      return (s.stopped && (!s.audio_running || audio().command(kAudioEndOfStream, 0))) ? 1 : 0;
    case 162:
      s.stored[162] = arg;
      return 1;
    case 165:
      return s.stored[162] ? 1 : 0;
    case 166:
      return s.wide == 1 ? 1 : 0;
    case 167:
      if (value == 0 || value == 1) s.wide = value;
      return 0;
    case 172:
      s.picture_held = 1;
      return 1;
    case 173:
      s.picture_held = 0;
      GlyvexRedraw(e.display.window(), e.display.width(), e.display.height(), 0, nullptr);
      if (s.post_frame_callback) s.post_frame_callback(e.display.window(), 0);
      return 1;
    default:
      return result;
  }
}

}  // namespace

intptr_t engine_command(int32_t cmd, intptr_t arg) {
  if (!accepted(cmd)) return 0;
  EngineState &s = engine().state;
  intptr_t result = 0;
  // On to the next I picture; without a video stream open the code only
  // keeps its value.
  if (cmd == kCmdNextIntra && s.open && s.open_mode == static_cast<int32_t>(OpenMode::video)) {
    return engine_next_intra();
  }
  if (cmd >= 12 && settings_command(cmd, arg, result)) return result;
  if (!s.open || cmd > 184) return result;
  return stream_command(cmd, arg, result);
}

}  // namespace kestrum
